#!/usr/bin/env python3
"""Writes the installer script for one release server and one release key.

The script template in script/ carries three placeholders: the release server
origin, the pinned release key's modulus and the installer's version. This tool
fills them in, refuses a text that Windows PowerShell 5.1 could misread (a byte
above 127, a carriage return, a byte-order mark), and writes the finished
script, optionally with a C++ source that embeds its exact bytes.
"""
import argparse
import base64
import re
import sys
from pathlib import Path

ORIGIN_RE = re.compile(r"^https://[A-Za-z0-9](?:[A-Za-z0-9.-]*[A-Za-z0-9])?(?::[0-9]{1,5})?$")


def read_version(header: Path) -> str:
    text = header.read_text(encoding="ascii")
    parts = []
    for name in ("MAJOR", "MINOR", "PATCH"):
        m = re.search(r"#define\s+VTF_VERSION_%s\s+(\d+)" % name, text)
        if not m:
            raise ValueError(f"{header}: VTF_VERSION_{name} not found")
        parts.append(m.group(1))
    return ".".join(parts)


def read_release_key(path: Path) -> str:
    """The public key file holds the 4096-bit modulus as 684 Base64 characters."""
    text = path.read_text(encoding="ascii").strip()
    if not re.fullmatch(r"[A-Za-z0-9+/]{682}==|[A-Za-z0-9+/]{683}=|[A-Za-z0-9+/]{684}", text) or len(text) != 684:
        raise ValueError(f"{path}: expected the modulus as 684 Base64 characters")
    modulus = base64.b64decode(text, validate=True)
    if len(modulus) != 512 or modulus[0] < 0x80:
        raise ValueError(f"{path}: the modulus is not a 4096-bit number")
    return text


def check_script_bytes(data: bytes, name: str) -> None:
    if data.startswith(b"\xef\xbb\xbf"):
        raise ValueError(f"{name}: starts with a byte-order mark")
    for offset, byte in enumerate(data):
        if byte > 127:
            raise ValueError(f"{name}: byte {byte:#x} above 127 at offset {offset}")
        if byte == 13:
            raise ValueError(f"{name}: carriage return at offset {offset}")


def render(template: bytes, origin: str, key: str, version: str) -> bytes:
    check_script_bytes(template, "template")
    if not ORIGIN_RE.match(origin):
        raise ValueError(f"origin must be https:// and a host name (loopback tests may add a port): {origin!r}")
    text = template.decode("ascii")
    for placeholder, value in (("__VTF_RELEASE_ORIGIN__", origin),
                               ("__VTF_RELEASE_KEY_MODULUS__", key),
                               ("__VTF_VERSION__", version)):
        if placeholder not in text:
            raise ValueError(f"template lacks {placeholder}")
        text = text.replace(placeholder, value)
    leftover = re.search(r"__VTF_[A-Z_]+__", text)
    if leftover:
        raise ValueError(f"unknown placeholder {leftover.group(0)}")
    data = text.encode("ascii")
    check_script_bytes(data, "script")
    return data


def cpp_source(data: bytes) -> str:
    lines = ["// Generated from script/installer.ps1 by tools/embed_script.py. Do not edit.",
             '#include "session/installer_script.h"', "",
             "const unsigned char kInstallerScript[] = {"]
    for i in range(0, len(data), 16):
        lines.append("  " + ", ".join(f"0x{b:02x}" for b in data[i:i + 16]) + ",")
    lines += ["};", f"const unsigned long kInstallerScriptSize = {len(data)}UL;", ""]
    return "\n".join(lines)


def write_if_changed(path: Path, data: bytes) -> None:
    if path.exists() and path.read_bytes() == data:
        return
    path.parent.mkdir(parents=True, exist_ok=True)
    tmp = path.with_name(path.name + ".tmp")
    tmp.write_bytes(data)
    tmp.replace(path)


def main(argv=None) -> int:
    root = Path(__file__).resolve().parent.parent
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--template", type=Path, default=root / "script" / "installer.ps1")
    ap.add_argument("--version-header", type=Path, default=root / "res" / "version.h")
    ap.add_argument("--origin", required=True)
    ap.add_argument("--release-key", type=Path, required=True, help="public key file from velmo-release keygen")
    ap.add_argument("--out-script", type=Path, required=True)
    ap.add_argument("--out-cpp", type=Path)
    args = ap.parse_args(argv)
    try:
        data = render(args.template.read_bytes(), args.origin, read_release_key(args.release_key),
                      read_version(args.version_header))
    except (OSError, ValueError) as err:
        print(f"embed_script: {err}", file=sys.stderr)
        return 1
    write_if_changed(args.out_script, data)
    if args.out_cpp:
        write_if_changed(args.out_cpp, cpp_source(data).encode("ascii"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
