"""Reading a 64-bit Windows executable (PE32+) with the standard library:
headers, the import table and the resource tree, and the version record.

    image = PeImage.load(path)
    image.imports()                   {"KERNEL32.dll": ["CreateMutexW", ...], ...}
    image.resource(14, 1)             bytes of group icon 1 (first language)
    image.resources()                 {(type, name, language): bytes}
    parse_version_info(data)          the VS_VERSIONINFO tree as nested dicts
"""
import struct
from dataclasses import dataclass
from pathlib import Path

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24


@dataclass
class Section:
    name: str
    virtual_address: int
    virtual_size: int
    raw_offset: int
    raw_size: int


class PeImage:
    def __init__(self, data: bytes):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, count, self.timestamp, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        self.magic = struct.unpack_from("<H", data, optional)[0]
        if self.magic != 0x20B:
            raise ValueError("not a PE32+ image")
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        self.checksum = struct.unpack_from("<I", data, optional + 64)[0]
        directories = optional + 112
        directory_count = struct.unpack_from("<I", data, optional + 108)[0]
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i)
                            for i in range(directory_count)]
        self.sections = []
        table = optional + optional_size
        for i in range(count):
            name, vsize, vaddr, rsize, roffset = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append(Section(name.rstrip(b"\0").decode("ascii", "replace"),
                                         vaddr, vsize, roffset, rsize))

    @classmethod
    def load(cls, path) -> "PeImage":
        return cls(Path(path).read_bytes())

    def offset(self, rva: int) -> int:
        for s in self.sections:
            if s.virtual_address <= rva < s.virtual_address + max(s.virtual_size, s.raw_size):
                return s.raw_offset + rva - s.virtual_address
        raise ValueError(f"RVA {rva:#x} is in no section")

    def c_string(self, rva: int) -> str:
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def imports(self) -> dict:
        """DLL name -> imported function names (or "#ordinal")."""
        rva, size = self.directories[1]
        result = {}
        if not rva:
            return result
        position = self.offset(rva)
        while True:
            lookup, _, _, name_rva, thunk = struct.unpack_from("<IIIII", self.data, position)
            if not name_rva:
                return result
            names = []
            entry = self.offset(lookup or thunk)
            while True:
                value = struct.unpack_from("<Q", self.data, entry)[0]
                if not value:
                    break
                if value & (1 << 63):
                    names.append(f"#{value & 0xFFFF}")
                else:
                    names.append(self.c_string((value & 0x7FFFFFFF) + 2))
                entry += 8
            result[self.c_string(name_rva)] = names
            position += 20

    def resources(self) -> dict:
        """(type, name, language) -> data; names and types that are strings stay strings."""
        rva, _ = self.directories[2]
        if not rva:
            return {}
        base = self.offset(rva)
        found = {}

        def entries(table):
            named, numbered = struct.unpack_from("<HH", self.data, base + table + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, base + table + 16 + 8 * i)
                if ident & 0x80000000:
                    at = base + (ident & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    ident = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield ident, target

        for type_id, type_target in entries(0):
            for name_id, name_target in entries(type_target & 0x7FFFFFFF):
                for language, leaf in entries(name_target & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(data_rva)
                    found[(type_id, name_id, language)] = self.data[start:start + size]
        return found

    def resource(self, type_id, name_id) -> bytes:
        for (t, n, _), data in sorted(self.resources().items(), key=lambda item: str(item[0])):
            if t == type_id and n == name_id:
                return data
        raise KeyError(f"no resource of type {type_id} named {name_id}")


def parse_version_info(data: bytes, offset=0):
    """One VS_VERSIONINFO-style block: {"key", "value", "children"}.
    Text values (type 1) are decoded; binary values stay bytes."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_start = offset + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    position = _align4(key_end + 2)
    if value_type == 1:
        value_bytes = data[position:position + 2 * value_length]
        value = value_bytes.decode("utf-16-le").rstrip("\0")
        position += 2 * value_length
    else:
        value = data[position:position + value_length]
        position += value_length
    children = []
    position = _align4(position)
    while position < end:
        child, size = parse_version_info(data, position)
        children.append(child)
        position = _align4(position + size)
    return {"key": key, "value": value, "children": children}, length


def _align4(n: int) -> int:
    return (n + 3) & ~3
