"""Hand-made ZIP archives for the archive validation tests.

The writer lays out local headers, data and the central directory itself, so a
test can give an entry any name (backslashes, control characters, superscript
digits), any external attributes and any declared uncompressed size. Only the
central directory is read by the code under test, so an entry can claim two
gigabytes while carrying one byte of data.
"""
import struct
import zlib
from typing import Iterable, NamedTuple, Optional

# Unix mode in the high half, MS-DOS attributes in the low half.
REGULAR_FILE = 0o100644 << 16
DIRECTORY = (0o040755 << 16) | 0x10
SYMLINK = 0o120777 << 16

REQUIRED_FILES = (
    "release.json",
    "integrity_manifest.json",
    "app/main.py",
    "app/runtime.py",
    "config.json",
    "installer/Install-VelmoTallowfin.ps1",
    "VELMO_Tallowfin.exe",
)


class Entry(NamedTuple):
    name: str
    data: bytes = b"x"
    external_attr: Optional[int] = None
    declared_size: Optional[int] = None


def file(name: str, data: bytes = b"x", attr: Optional[int] = None, size: Optional[int] = None) -> Entry:
    return Entry(name, data, attr, size)


def directory(name: str) -> Entry:
    return Entry(name if name.endswith("/") else name + "/", b"", DIRECTORY, None)


def package_entries(root: str = "root", skip: Iterable[str] = ()) -> list:
    """The required files under one root folder, one byte each."""
    skipped = set(skip)
    return [file(f"{root}/{path}") for path in REQUIRED_FILES if path not in skipped]


def build_zip(entries: Iterable[Entry]) -> bytes:
    """The bytes of a stored (uncompressed) ZIP holding the entries in order."""
    body = bytearray()
    directory_records = bytearray()
    count = 0
    for entry in entries:
        name = entry.name.encode("utf-8")
        flags = 0 if entry.name.isascii() else 0x800  # bit 11: the name is UTF-8
        attr = entry.external_attr
        if attr is None:
            attr = DIRECTORY if entry.name.endswith("/") else REGULAR_FILE
        crc = zlib.crc32(entry.data)
        declared = len(entry.data) if entry.declared_size is None else entry.declared_size
        offset = len(body)
        body += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, 0, 0, 0x21,
                            crc, len(entry.data), declared, len(name), 0)
        body += name + entry.data
        directory_records += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (3 << 8) | 20, 20, flags,
                                         0, 0, 0x21, crc, len(entry.data), declared, len(name),
                                         0, 0, 0, 0, attr & 0xFFFFFFFF, offset)
        directory_records += name
        count += 1
    if count > 0xFFFF:
        raise ValueError("more entries than a plain ZIP directory counts")
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(directory_records), len(body), 0)
    return bytes(body + directory_records + end)


def write_zip(path, entries: Iterable[Entry]) -> None:
    with open(path, "wb") as out:
        out.write(build_zip(entries))
