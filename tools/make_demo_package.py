#!/usr/bin/env python3
"""Builds the demo release package: a ZIP archive with one root folder.

The files come from demo/package/. The tool sets the release version in
"release.json", adds the executable (a minimal 64-bit Windows program that
exits with code 0, standing in for the application's launcher) and writes
"integrity_manifest.json" with the SHA-256 digest of every other file. The
archive holds file entries only, in a fixed order with fixed dates and
attributes, so the same version always gives the same bytes.

Prints one JSON line with the archive's path, size and SHA-256 digest.
"""
import argparse
import hashlib
import io
import json
import re
import struct
import sys
import zipfile
from pathlib import Path

from embed_script import read_version

ROOT = Path(__file__).resolve().parent.parent
SOURCE_TREE = ROOT / "demo" / "package"
VERSION_RE = re.compile(r"^\d{1,4}(?:\.\d{1,4}){2}$")
ZIP_DATE = (1980, 1, 1, 0, 0, 0)


def launcher_exe() -> bytes:
    """A PE32+ GUI program of 1024 bytes whose only work is ExitProcess(0)."""
    text_rva, import_rva, ilt_rva, iat_rva, hint_rva, dll_rva = 0x1000, 0x1040, 0x1070, 0x1080, 0x1090, 0x10A0
    call_end = text_rva + 12
    code = b"\x48\x83\xec\x28" + b"\x31\xc9" + b"\xff\x15" + struct.pack("<i", iat_rva - call_end) + b"\xcc"
    section = bytearray(0x200)
    section[0:len(code)] = code
    section[0x40:0x54] = struct.pack("<IIIII", ilt_rva, 0, 0, dll_rva, iat_rva)
    section[0x70:0x80] = struct.pack("<QQ", hint_rva, 0)
    section[0x80:0x90] = struct.pack("<QQ", hint_rva, 0)
    section[0x90:0x9E] = struct.pack("<H", 0) + b"ExitProcess\0"
    section[0xA0:0xAD] = b"KERNEL32.dll\0"

    dos = bytearray(0x40)
    dos[0:2] = b"MZ"
    dos[0x3C:0x40] = struct.pack("<I", 0x40)
    # Executable, large-address aware, no relocations (loaded at its own base).
    coff = b"PE\0\0" + struct.pack("<HHIIIHH", 0x8664, 1, 0, 0, 0, 240, 0x0023)
    directories = [(0, 0)] * 16
    directories[1] = (import_rva, 40)
    directories[12] = (iat_rva, 16)
    optional = struct.pack("<HBBIIIIIQIIHHHHHHIIIIHHQQQQII", 0x20B, 14, 0, 0x200, 0, 0, text_rva, text_rva,
                           0x140000000, 0x1000, 0x200, 6, 0, 0, 0, 6, 0, 0, 0x2000, 0x200, 0,
                           2, 0x8100, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    optional += b"".join(struct.pack("<II", rva, size) for rva, size in directories)
    header = b".text\0\0\0" + struct.pack("<IIIIIIHHI", 0xB0, text_rva, 0x200, 0x200, 0, 0, 0, 0, 0x60000020)
    headers = bytes(dos) + coff + optional + header
    return headers.ljust(0x200, b"\0") + bytes(section)


def package_files(version: str) -> dict:
    """Relative path (with the root folder) to file bytes, for every file of the package."""
    roots = [p for p in SOURCE_TREE.iterdir() if p.is_dir()]
    if len(roots) != 1:
        raise ValueError(f"{SOURCE_TREE} must hold exactly one root folder")
    root = roots[0]
    files = {}
    for path in sorted(root.rglob("*")):
        rel = path.relative_to(root).as_posix()
        if path.is_file() and "__pycache__" not in rel.split("/") and not path.name.startswith("."):
            files[rel] = path.read_bytes()
    release = json.loads(files["release.json"])
    release["version"] = version
    files["release.json"] = (json.dumps(release, indent=2) + "\n").encode("utf-8")
    files[release["executableName"]] = launcher_exe()
    checked = [{"path": rel, "size": len(data), "sha256": hashlib.sha256(data).hexdigest()}
               for rel, data in sorted(files.items()) if rel != "integrity_manifest.json"]
    manifest = {"algorithm": "sha256", "files": checked}
    files["integrity_manifest.json"] = (json.dumps(manifest, indent=2) + "\n").encode("utf-8")
    return {f"{root.name}/{rel}": data for rel, data in sorted(files.items())}


def build_package(version: str) -> bytes:
    if not VERSION_RE.match(version):
        raise ValueError(f"version must look like 1.2.3: {version!r}")
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for name, data in package_files(version).items():
            info = zipfile.ZipInfo(name, ZIP_DATE)
            info.create_system = 3
            mode = 0o100755 if name.endswith(".exe") else 0o100644
            info.external_attr = mode << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    return out.getvalue()


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("version", nargs="?", help="release version (default: the installer's, from res/version.h)")
    ap.add_argument("--out", type=Path, help="archive to write (default: VELMO_Tallowfin-VERSION.zip)")
    args = ap.parse_args(argv)
    try:
        version = args.version or read_version(ROOT / "res" / "version.h")
        data = build_package(version)
    except (OSError, ValueError, KeyError) as err:
        print(f"make_demo_package: {err}", file=sys.stderr)
        return 1
    out = args.out or Path(f"VELMO_Tallowfin-{version}.zip")
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_bytes(data)
    print(json.dumps({"path": str(out), "version": version, "sizeBytes": len(data),
                      "sha256": hashlib.sha256(data).hexdigest()}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
