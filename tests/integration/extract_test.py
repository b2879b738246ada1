#!/usr/bin/env python3
"""tavrin-tool extract on archives made here with Python's zipfile and Info-ZIP zip:
stored and deflated entries, folders, "UT" times, Unix and DOS attributes, read-only old
copies, empty and damaged archives, hostile names. Usage: extract_test.py TAVRIN_TOOL"""
import os
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

TOOL = sys.argv[1]
results = {"passed": 0, "failed": 0}


def check(name, expected, actual):
    if expected == actual:
        results["passed"] += 1
    else:
        results["failed"] += 1
        print(f"FAILED: {name}\n  expected: {expected!r}\n  actual:   {actual!r}")


def extract(archive, folder):
    return subprocess.run([TOOL, "extract", archive, folder], capture_output=True).returncode


def unix_entry(name, mode):
    info = zipfile.ZipInfo(name, date_time=(2020, 5, 17, 10, 20, 30))
    info.create_system = 3
    info.external_attr = mode << 16
    return info


def ut_block(mtime, atime):
    return b"UT" + struct.pack("<HBii", 9, 0x03, mtime, atime)


work = tempfile.mkdtemp()
try:
    # Stored and deflated entries, a folder entry, nested folders, Unix permissions.
    good = os.path.join(work, "good.zip")
    payload = os.urandom(200000)
    with zipfile.ZipFile(good, "w") as z:
        z.writestr(unix_entry("bin/", 0o40755), b"")
        z.writestr(unix_entry("bin/update", 0o100755), b"#!/bin/sh\necho updated\n",
                   compress_type=zipfile.ZIP_STORED)
        z.writestr(unix_entry("data/deep/blob.bin", 0o100644), payload,
                   compress_type=zipfile.ZIP_DEFLATED)
        z.writestr(unix_entry("readonly.txt", 0o100444), b"fixed")
        info = unix_entry("stamped.txt", 0o100644)
        info.extra = ut_block(1_500_000_000, 1_400_000_000)
        z.writestr(info, b"time")
    out = os.path.join(work, "out")
    check("good archive", 0, extract(good, out))
    check("deflated bytes", payload, open(os.path.join(out, "data/deep/blob.bin"), "rb").read())
    mode = os.stat(os.path.join(out, "bin/update")).st_mode
    check("executable stays executable", True, bool(mode & stat.S_IXUSR))
    mode = os.stat(os.path.join(out, "readonly.txt")).st_mode
    check("read-only has no write bits", 0, mode & 0o222)
    st = os.stat(os.path.join(out, "stamped.txt"))
    check("UT modification time", 1_500_000_000, int(st.st_mtime))
    check("UT access time", 1_400_000_000, int(st.st_atime))
    dos = os.stat(os.path.join(out, "bin/update")).st_mtime
    check("DOS time without zone", 1589710830, int(dos))

    # Extracting again over read-only copies replaces them.
    check("over read-only copies", 0, extract(good, out))
    check("read-only copy replaced", b"fixed", open(os.path.join(out, "readonly.txt"), "rb").read())

    # A Windows-made entry without Unix bits comes out read-only (the FAT attribute).
    dosmade = os.path.join(work, "dos.zip")
    with zipfile.ZipFile(dosmade, "w") as z:
        info = zipfile.ZipInfo("win.txt", date_time=(2021, 1, 2, 3, 4, 6))
        info.create_system = 0
        info.external_attr = 0x20
        z.writestr(info, b"windows")
    check("DOS-made archive", 0, extract(dosmade, os.path.join(work, "dos")))
    check("DOS-made entry is read-only", 0, os.stat(os.path.join(work, "dos/win.txt")).st_mode & 0o222)

    # Info-ZIP's own archive, with its folders and UT blocks.
    if shutil.which("zip"):
        src = os.path.join(work, "src")
        os.makedirs(os.path.join(src, "sub"))
        with open(os.path.join(src, "sub", "a.txt"), "w") as f:
            f.write("info-zip")
        os.utime(os.path.join(src, "sub", "a.txt"), (1_600_000_000, 1_600_000_000))
        infozip = os.path.join(work, "infozip.zip")
        subprocess.run(["zip", "-qr", infozip, "."], cwd=src, check=True)
        check("Info-ZIP archive", 0, extract(infozip, os.path.join(work, "iz")))
        path = os.path.join(work, "iz/sub/a.txt")
        check("Info-ZIP content", "info-zip", open(path).read())
        check("Info-ZIP UT time", 1_600_000_000, int(os.stat(path).st_mtime))

    # Hostile names: nothing is written outside the folder.
    for name in ["../escape.txt", "/abs.txt", "a/../../escape2.txt", "C:evil.txt"]:
        bad = os.path.join(work, "bad.zip")
        with zipfile.ZipFile(bad, "w") as z:
            z.writestr(zipfile.ZipInfo(name), b"evil")
        target = os.path.join(work, "hostile")
        check(f"hostile name {name}", 1, extract(bad, target))
    check("nothing escaped", False, os.path.exists(os.path.join(work, "escape.txt")))
    check("nothing escaped (2)", False, os.path.exists(os.path.join(work, "escape2.txt")))

    # A link entry is never created as a link.
    link = os.path.join(work, "link.zip")
    with zipfile.ZipFile(link, "w") as z:
        z.writestr(unix_entry("ln", 0o120777), b"/etc/passwd")
    check("link archive", 0, extract(link, os.path.join(work, "ln")))
    check("link entry is a plain file", False, os.path.islink(os.path.join(work, "ln/ln")))

    # A folder holding a link that points outside: writing through it is refused.
    trap = os.path.join(work, "trap")
    os.makedirs(trap)
    os.symlink(work, os.path.join(trap, "sub"))
    through = os.path.join(work, "through.zip")
    with zipfile.ZipFile(through, "w") as z:
        z.writestr("sub/planted.txt", b"x")
    check("through a link", 1, extract(through, trap))
    check("nothing planted", False, os.path.exists(os.path.join(work, "planted.txt")))

    # Damaged data: a flipped byte inside a deflated entry fails (CRC or inflate).
    damaged = os.path.join(work, "damaged.zip")
    with zipfile.ZipFile(damaged, "w") as z:
        z.writestr("big.bin", os.urandom(100000), compress_type=zipfile.ZIP_STORED)
    data = bytearray(open(damaged, "rb").read())
    data[5000] ^= 0xFF
    open(damaged, "wb").write(bytes(data))
    check("damaged entry", 1, extract(damaged, os.path.join(work, "dmg")))

    # Not archives at all, an empty one, a truncated one, a missing one.
    empty = os.path.join(work, "empty.zip")
    zipfile.ZipFile(empty, "w").close()
    check("empty archive", 1, extract(empty, os.path.join(work, "e")))
    junk = os.path.join(work, "junk.zip")
    open(junk, "wb").write(os.urandom(5000))
    check("not an archive", 1, extract(junk, os.path.join(work, "j")))
    truncated = os.path.join(work, "truncated.zip")
    open(truncated, "wb").write(open(good, "rb").read()[:-30])
    check("truncated archive", 1, extract(truncated, os.path.join(work, "t")))
    check("missing archive", 1, extract(os.path.join(work, "none.zip"), os.path.join(work, "m")))
    long_name = os.path.join(work, "long.zip")
    with zipfile.ZipFile(long_name, "w") as z:
        z.writestr("x" * 300, b"long")
    check("name of 300 bytes", 1, extract(long_name, os.path.join(work, "l")))
finally:
    shutil.rmtree(work, ignore_errors=True)

print(f"{results['passed']} passed, {results['failed']} failed")
sys.exit(0 if results["failed"] == 0 else 1)
