#!/usr/bin/env python3
"""Writes the seed archives of the zip_reader fuzz target into corpus/zip_reader.

Ordinary packages come from Python's zipfile; the hostile ones are put together byte by
byte, so every header field can be set to what a damaged or malicious package would hold.
Every seed stays under 64 KiB. Run it again after changing it; the output is committed.
"""
import io
import os
import struct
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "zip_reader")
DOS_TIME, DOS_DATE = 0x6000, 0x5A8C  # 2025-04-12 12:00:00
LIMIT = 64 * 1024


def deflate(data):
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def entry(name, content=b"", method=8, **fields):
    """One entry for raw(): the fields of both headers, each of which may be overridden."""
    packed = deflate(content) if method == 8 else content
    e = dict(name=name.encode() if isinstance(name, str) else name, data=packed, method=method,
             crc=zlib.crc32(content), csize=len(packed), usize=len(content), flags=0,
             version_made=20, external=0, local_extra=b"", central_extra=b"")
    e.update(fields)
    if "data" in fields and "csize" not in fields:
        e["csize"] = len(e["data"])
    return e


def raw(entries, comment=b"", prefix=b"", end=None):
    """The archive: local headers with their data, the central directory, the end record.
    `end` overrides fields of the end record."""
    out = bytearray(prefix)
    offsets = []
    for e in entries:
        offsets.append(len(out))
        local_name = e.get("local_name", e["name"])
        out += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, e["flags"], e["method"], DOS_TIME,
                           DOS_DATE, e["crc"], e.get("local_csize", e["csize"]),
                           e.get("local_usize", e["usize"]), len(local_name), len(e["local_extra"]))
        out += local_name + e["local_extra"] + e["data"]
    directory = len(out)
    for e, offset in zip(entries, offsets):
        out += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, e["version_made"], 20, e["flags"],
                           e["method"], DOS_TIME, DOS_DATE, e["crc"], e["csize"], e["usize"],
                           len(e["name"]), len(e["central_extra"]), 0, 0, 0, e["external"],
                           e.get("offset", offset))
        out += e["name"] + e["central_extra"]
    fields = dict(disk=0, cd_disk=0, here=len(entries), total=len(entries),
                  size=len(out) - directory, offset=directory)
    fields.update(end or {})
    out += struct.pack("<IHHHHIIH", 0x06054B50, fields["disk"], fields["cd_disk"], fields["here"],
                       fields["total"], fields["size"], fields["offset"], len(comment))
    return bytes(out + comment)


def with_zipfile(build):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        build(archive)
    return buffer.getvalue()


def info(name, method=zipfile.ZIP_DEFLATED):
    # A fixed time, so that the seeds come out the same on every run.
    made = zipfile.ZipInfo(name, date_time=(2025, 4, 12, 12, 0, 0))
    made.compress_type = method
    return made


def unix_info(name, mode):
    made = info(name)
    made.create_system = 3
    made.external_attr = mode << 16
    return made


def package(archive):
    archive.writestr(info("Game/", zipfile.ZIP_STORED), b"")
    archive.writestr(info("Game/tavrin.exe"), b"MZ" + bytes(range(256)) * 40)
    archive.writestr(info("Game/readme.txt", zipfile.ZIP_STORED), b"stored text\r\n")
    archive.writestr(info("Update/update.exe"), b"updater")


def unix_package(archive):
    archive.writestr(unix_info("bin/", 0o040755), b"")
    archive.writestr(unix_info("bin/run.sh", 0o100755), b"#!/bin/sh\necho run\n")
    archive.writestr(unix_info("bin/secret", 0o100600), b"s")
    archive.writestr(unix_info("bin/odd", 0o107777), b"all bits")


def symlink_package(archive):
    # A link pointing out of the folder, then a file through it, then a file beside it.
    archive.writestr(unix_info("link", 0o120777), b"../../../../outside")
    archive.writestr(unix_info("link/escaped.txt", 0o100644), b"through the link")
    archive.writestr(unix_info("plain.txt", 0o100644), b"ok")


def streamed_package():
    # Written to a stream that cannot seek: each entry gets a data descriptor after its data.
    class Unseekable(io.RawIOBase):
        def __init__(self):
            self.data = bytearray()

        def writable(self):
            return True

        def write(self, b):
            self.data += b
            return len(b)

    stream = Unseekable()
    with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as archive:
        with archive.open("streamed.txt", "w") as f:
            f.write(b"streamed " * 100)
        with archive.open("second.txt", "w") as f:
            f.write(b"two")
    return bytes(stream.data)


def timestamp_extra(flags, *times, length=None):
    body = bytes([flags]) + b"".join(struct.pack("<i", t) for t in times)
    return b"UT" + struct.pack("<H", len(body) if length is None else length) + body


def zip64_extra(*values):
    body = b"".join(struct.pack("<Q", v) for v in values)
    return struct.pack("<HH", 1, len(body)) + body


def zip64_end_wrapping():
    """A zip64 end record whose directory offset and size add up to 2^64: minizip's check
    that the directory lies before the record passes, and it then reads at 2^64 - 1."""
    prefix = b"PK\x03\x04"
    size = 5
    record = struct.pack("<IQHHIIQQQQ", 0x06064B50, 44, 45, 45, 0, 0, 1, 1, size, 2**64 - size)
    locator = struct.pack("<IIQI", 0x07064B50, 0, len(prefix), 1)
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 1, 1, 0, 0, 0)
    return prefix + record + locator + end


def seeds():
    normal = with_zipfile(package)
    yield "package.zip", normal
    yield "unix_modes.zip", with_zipfile(unix_package)
    yield "symlink.zip", with_zipfile(symlink_package)
    yield "data_descriptors.zip", streamed_package()
    yield "comment.zip", raw([entry("a.txt", b"hello")], comment=b"an archive comment")
    yield "prefix.zip", raw([entry("a.txt", b"hello")], prefix=b"MZ self-extractor stub " * 10)
    yield "folders.zip", raw([entry("dir/", method=0, external=0x10),
                              entry("dir/sub/", method=0),
                              entry("ro.txt", b"read only", external=0x01),
                              entry("hidden.txt", b"h", external=0x22)])
    yield "timestamps.zip", raw([
        entry("t1.txt", b"1", local_extra=timestamp_extra(7, 1700000000, 1600000000, 1500000000)),
        entry("t2.txt", b"2", local_extra=timestamp_extra(1, -1)),
        entry("t3.txt", b"3", local_extra=timestamp_extra(7, 5, length=300)),
        entry("t4.txt", b"4", local_extra=b"XY\x01\x01" + bytes(257) + timestamp_extra(2, 7)),
        entry("t5.txt", b"5", local_extra=b"UT\x00\x00"),
    ])

    # Names that would leave the folder.
    for seed, name in [("dotdot", "../x"), ("absolute", "/abs"), ("drive", "C:x"),
                       ("backslashes", "a\\..\\b"), ("nested", "a/b/../../../x"),
                       ("trailing_dotdot", "a/.."), ("drive_backslash", "C:\\x"),
                       ("unc", "\\\\server\\share\\x")]:
        yield f"traversal_{seed}.zip", raw([entry("first.txt", b"1"), entry(name, b"evil")])
    # The central record's name is safe, the local header's is not.
    yield "traversal_local_name.zip", raw([entry("safe.txt", b"x", local_name=b"../xxxxx")])

    yield "truncated.zip", normal[: len(normal) // 2]
    yield "truncated_end_record.zip", normal[:-5]
    bad_crc = entry("crc.txt", b"checked content " * 20)
    bad_crc["crc"] ^= 0x5A5A5A5A
    yield "bad_crc.zip", raw([bad_crc])
    stored_crc = entry("crc.bin", b"stored content " * 20, method=0)
    stored_crc["crc"] ^= 1
    yield "bad_crc_stored.zip", raw([stored_crc])
    damaged = entry("damaged.txt", b"will not inflate " * 50)
    damaged["data"] = damaged["data"][:10] + b"\xff" * 8 + damaged["data"][18:]
    yield "bad_deflate.zip", raw([damaged])

    yield "end_outside.zip", raw([entry("a.txt", b"a")], end=dict(offset=0x7FFFFFF0))
    yield "end_size_outside.zip", raw([entry("a.txt", b"a")], end=dict(size=0xFFFFFF00))
    yield "end_counts_differ.zip", raw([entry("a.txt", b"a")], end=dict(here=1, total=3))
    yield "end_other_disk.zip", raw([entry("a.txt", b"a")], end=dict(disk=1, cd_disk=1))
    yield "end_count_large.zip", raw([entry("a.txt", b"a")], end=dict(here=65535, total=65535))
    yield "entry_offset_outside.zip", raw([entry("a.txt", b"a", offset=0x7FFFFFFF)])

    yield "huge_sizes.zip", raw([entry("big.bin", b"small", method=0, usize=0xFFFFFFFF,
                                       local_usize=0xFFFFFFFF)])
    yield "huge_compressed_size.zip", raw([entry("big.bin", b"small", csize=0x7FFFFFFF,
                                                 local_csize=0x7FFFFFFF)])
    yield "sizes_disagree.zip", raw([entry("d.bin", b"abc" * 30, local_csize=7, local_usize=9)])
    # Zip64 fields in the extra blocks: sizes and an offset near 2^64.
    yield "zip64_sizes.zip", raw([entry("z.bin", b"z64", method=0, csize=0xFFFFFFFF,
                                        usize=0xFFFFFFFF, local_csize=0xFFFFFFFF,
                                        local_usize=0xFFFFFFFF,
                                        central_extra=zip64_extra(1 << 62, 1 << 62),
                                        local_extra=zip64_extra(1 << 62, 1 << 62))])
    yield "zip64_offset.zip", raw([entry("z.bin", b"z64", method=0, offset=0xFFFFFFFF,
                                         central_extra=zip64_extra(0xFFFFFFFFFFFFFFFF))])
    yield "zip64_end_wraps.zip", zip64_end_wrapping()
    yield "zip64_python.zip", with_zipfile(
        lambda a: a.open(zipfile.ZipInfo("forced.txt"), "w", force_zip64=True).close())

    yield "name_259.zip", raw([entry("n" * 255 + ".txt", b"fits")])
    yield "name_260.zip", raw([entry("n" * 256 + ".txt", b"too long")])
    yield "name_long_folder.zip", raw([entry("d" * 200 + "/" + "f" * 100, b"long path")])
    yield "name_empty.zip", raw([entry("", b"nameless")])
    yield "name_nul.zip", raw([entry(b"a\x00b.txt", b"nul")])
    yield "name_high_bytes.zip", raw([entry(b"\xc4\xe3\xba\xc3/\xff\xfe.txt", b"gbk")])

    yield "empty.zip", with_zipfile(lambda a: None)
    yield "empty_with_prefix.zip", raw([], prefix=b"PK not really")
    yield "no_end_record.zip", normal[: normal.rfind(b"PK\x05\x06")]

    # 16 MiB of zeros in about 16 KiB: each input still unpacks in a moment.
    yield "bomb.zip", raw([entry("zeros.bin", bytes(16 << 20))])
    # Many central records on one local entry: the same data unpacked again and again.
    shared = entry("shared.bin", bytes(1 << 20))
    # (The copies' names are as long as the local header's, which minizip compares.)
    yield "overlapping.zip", raw([shared] + [dict(shared, name=f"copy{i:02}.bin".encode(), offset=0)
                                             for i in range(20)])
    yield "duplicate_names.zip", raw([entry("same.txt", b"first"), entry("same.txt", b"second")])
    yield "file_then_folder.zip", raw([entry("a", b"file"), entry("a/b", b"below a file")])
    yield "encrypted_flag.zip", raw([entry("e.txt", b"secret", flags=1)])
    yield "method_bzip2.zip", raw([entry("b.txt", b"bz", method=12)])
    yield "not_deflate_data.zip", raw([entry("m.txt", b"deflated", data=b"not deflate data")])


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, data in seeds():
        assert len(data) <= LIMIT, f"{name} is {len(data)} bytes"
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
