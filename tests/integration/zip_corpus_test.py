#!/usr/bin/env python3
"""tavrin-tool extract against archives that other tools write, made here at test time:
Python's zipfile, Info-ZIP zip (ZIP64 forced, self-extracting stubs, encryption) and bsdtar,
more than 65,535 entries with and without ZIP64, and archives that lose data. Whatever
unpacks must be what Python's zipfile reads from the same archive; whatever is broken must
fail and say why, with no file of a failed entry left behind.
Usage: zip_corpus_test.py TAVRIN_TOOL"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

TOOL = sys.argv[1]
results = {"passed": 0, "failed": 0}
STUB = b"MZ" + b"\x90" * 4094  # what a self-extracting program puts before the archive


def check(name, expected, actual):
    if expected == actual:
        results["passed"] += 1
    else:
        results["failed"] += 1
        print(f"FAILED: {name}\n  expected: {summary(expected)}\n  actual:   {summary(actual)}")


def summary(value):
    """Trees by their names and sizes, anything else cut short."""
    if isinstance(value, dict) and len(value) > 0:
        names = sorted(value)
        shown = {n: len(value[n]) for n in names[:5]}
        return f"{len(names)} files, first {shown}"
    text = repr(value)
    return text if len(text) < 400 else text[:400] + "..."


def extract(archive, folder):
    run = subprocess.run([TOOL, "extract", archive, folder], capture_output=True, text=True)
    return run.returncode, run.stderr


def tree(folder):
    files = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            files[os.path.relpath(path, folder).replace(os.sep, "/")] = open(path, "rb").read()
    return files


def second_opinion(archive):
    """The files Python's zipfile reads from the archive (stub and all)."""
    with zipfile.ZipFile(archive) as z:
        return {i.filename.removeprefix("./"): z.read(i) for i in z.infolist()
                if not i.filename.endswith("/")}


def source_tree(work):
    src = os.path.join(work, "src")
    os.makedirs(os.path.join(src, "bin"), exist_ok=True)
    with open(os.path.join(src, "bin", "game.exe"), "wb") as f:
        f.write(os.urandom(300000))
    with open(os.path.join(src, "readme.txt"), "w") as f:
        f.write("hello\n" * 1000)
    return src


def many_entries(path, count):
    """Python's zipfile writes the ZIP64 end records past 65,535 entries."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for i in range(count):
            z.writestr(f"d{i // 1000:03}/f{i:05}", str(i))


def without_zip64_end(path):
    """The same archive with only the classic end record, its count wrapped to 16 bits, as
    writers that know no ZIP64 leave it."""
    data = open(path, "rb").read()
    end = data.rindex(b"PK\x05\x06")
    locator = data.rindex(b"PK\x06\x07", 0, end)
    record = data.rindex(b"PK\x06\x06", 0, locator)
    count, size, offset = struct.unpack("<QQQ", data[record + 32:record + 56])
    classic = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count & 0xFFFF, count & 0xFFFF,
                          size, offset, 0)
    open(path, "wb").write(data[:record] + classic)


def with_stub(path, adjust):
    data = open(path, "rb").read()
    open(path, "wb").write(STUB + data)
    if adjust:
        subprocess.run(["zip", "-qA", path], check=True)


def zip_tool(path, work, *options):
    subprocess.run(["zip", "-qr", *options, path, "."], cwd=source_tree(work), check=True)


def directory_not_there(path):
    """An end record that declares three entries whose directory is not there."""
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("a.txt", b"a" * 100)
    data = bytearray(open(path, "rb").read())
    end = data.rindex(b"PK\x05\x06")
    cd_offset = struct.unpack("<I", data[end + 16:end + 20])[0]
    data[cd_offset:end] = b"\0" * (end - cd_offset)
    data[end + 8:end + 12] = struct.pack("<HH", 3, 3)
    open(path, "wb").write(bytes(data))


def unix_file_with_folder_bit(path):
    with zipfile.ZipFile(path, "w") as z:
        info = zipfile.ZipInfo("data.bin")
        info.create_system = 3
        info.external_attr = (0o100644 << 16) | 0x10
        z.writestr(info, b"bytes that must not be lost")


def folder_with_data(path):
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("ok.txt", b"ok")
        z.writestr(zipfile.ZipInfo("folder/"), b"bytes of a folder")


BIG = (4 << 30) + (1 << 20)  # past what 32 bits can count
BIG_TAIL = b"the end of a big entry"


def big_entry(path):
    """One deflated entry of 4 GiB and a little more: zeros, then a marker."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        with z.open("big.bin", "w", force_zip64=True) as f:
            zeros = bytes(1 << 24)
            left = BIG - len(BIG_TAIL)
            while left > 0:
                f.write(zeros[:min(left, len(zeros))])
                left -= min(left, len(zeros))
            f.write(BIG_TAIL)


def damaged_second(path):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        z.writestr("first.txt", b"first")
        z.writestr("second.bin", os.urandom(50000))
    data = bytearray(open(path, "rb").read())
    data[30000] ^= 0xFF
    open(path, "wb").write(bytes(data))


def quick_folder(fallback):
    """Memory-backed scratch space for the archives of many small files, when there is room:
    on a disk, making and deleting 200,000 files takes most of this test's time."""
    shm = "/dev/shm"
    if os.path.isdir(shm) and os.access(shm, os.W_OK) and shutil.disk_usage(shm).free > (2 << 30):
        return tempfile.mkdtemp(dir=shm)
    return fallback


work = tempfile.mkdtemp()
quick = quick_folder(work)
try:
    have_zip = shutil.which("zip") is not None
    have_bsdtar = shutil.which("bsdtar") is not None
    # name, how it is made, None when it unpacks as Python reads it, else what the error says
    cases = [
        ("70,000 entries, ZIP64", lambda p: many_entries(p, 70000), None),
        ("70,000 entries, 16-bit count", lambda p: (many_entries(p, 70000),
                                                    without_zip64_end(p)), None),
        ("65,536 entries, count 0", lambda p: (many_entries(p, 65536),
                                               without_zip64_end(p)), None),
        ("a Unix file whose DOS byte has the folder bit", unix_file_with_folder_bit, None),
        ("a directory that is not there", directory_not_there, "contradict"),
        ("a folder entry with data", folder_with_data, "folder carries data"),
        ("damaged second entry", damaged_second, "damaged"),
    ]
    if have_zip:
        cases += [
            ("Info-ZIP, ZIP64 forced", lambda p: zip_tool(p, work, "-fz"), None),
            ("Info-ZIP after a stub", lambda p: (zip_tool(p, work), with_stub(p, False)), None),
            ("Info-ZIP after a stub, offsets adjusted",
             lambda p: (zip_tool(p, work), with_stub(p, True)), None),
            ("Info-ZIP ZIP64 after a stub",
             lambda p: (zip_tool(p, work, "-fz"), with_stub(p, False)), None),
            ("Info-ZIP encrypted", lambda p: zip_tool(p, work, "-P", "secret"),
             "encrypted entries are not supported"),
        ]
    if have_bsdtar:
        cases.append(("bsdtar", lambda p: subprocess.run(
            ["bsdtar", "-a", "-cf", p, "."], cwd=source_tree(work), check=True), None))

    for number, (name, make, error) in enumerate(cases):
        archive = os.path.join(quick, f"case{number}.zip")
        make(archive)
        out = os.path.join(quick, f"out{number}")
        status, stderr = extract(archive, out)
        if error is None:
            check(f"{name}: unpacks", (0, ""), (status, stderr))
            check(f"{name}: the files Python reads", second_opinion(archive), tree(out))
        else:
            check(f"{name}: fails", 1, status)
            check(f"{name}: says why", True, error in stderr)
        shutil.rmtree(out, ignore_errors=True)
        os.remove(archive)

    # An entry of more than 4 GiB comes out whole (where the disk has room for it twice).
    if shutil.disk_usage(work).free > 3 * BIG:
        archive = os.path.join(work, "big.zip")
        big_entry(archive)
        out = os.path.join(work, "big")
        status, stderr = extract(archive, out)
        check("4 GiB entry: unpacks", (0, ""), (status, stderr))
        path = os.path.join(out, "big.bin")
        size = os.path.getsize(path) if os.path.exists(path) else 0
        check("4 GiB entry: its whole size", BIG, size)
        with open(path, "rb") as f:
            f.seek(BIG - len(BIG_TAIL))
            check("4 GiB entry: its last bytes", BIG_TAIL, f.read())
        shutil.rmtree(out, ignore_errors=True)
        os.remove(archive)
    else:
        print("skipped the 4 GiB entry: not enough free disk space")

    # A failed unpacking says what it wrote, and leaves no file of the entry it failed on.
    out = os.path.join(work, "partial")
    archive = os.path.join(work, "partial.zip")
    damaged_second(archive)
    status, stderr = extract(archive, out)
    check("partial: the complete file stays", {"first.txt": b"first"}, tree(out))
    check("partial: says so", True, "incomplete" in stderr and "first.txt" in stderr)
finally:
    shutil.rmtree(work, ignore_errors=True)
    shutil.rmtree(quick, ignore_errors=True)

print(f"{results['passed']} passed, {results['failed']} failed")
sys.exit(0 if results["failed"] == 0 else 1)
