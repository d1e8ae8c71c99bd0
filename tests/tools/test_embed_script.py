"""The build step that writes the installer script for one server and key:
what it fills in, and the texts and settings it refuses."""
import base64
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SOURCE = Path(os.environ.get("VTF_SOURCE_DIR") or Path(__file__).resolve().parents[2])
sys.path.insert(0, str(SOURCE / "tools"))

import embed_script  # noqa: E402

TEMPLATE = (b"$origin = '__VTF_RELEASE_ORIGIN__'\n$key = '__VTF_RELEASE_KEY_MODULUS__'\n"
            b"$version = '__VTF_VERSION__'\n")
MODULUS = bytes([0xC5]) + bytes(range(256)) + bytes(range(255))  # 512 bytes, top bit set
KEY = base64.b64encode(MODULUS).decode()


class Render(unittest.TestCase):
    def test_fills_every_placeholder(self):
        data = embed_script.render(TEMPLATE, "https://releases.example.com", KEY, "0.19.21")
        self.assertEqual(data, ("$origin = 'https://releases.example.com'\n$key = '" + KEY +
                                "'\n$version = '0.19.21'\n").encode())

    def test_refuses_what_windows_powershell_would_misread_or_what_is_unfinished(self):
        cases = [
            ("a byte above 127", TEMPLATE + "# caf\u00e9\n".encode("utf-8"), "above 127"),
            ("a carriage return", TEMPLATE.replace(b"\n", b"\r\n", 1), "carriage return"),
            ("a byte-order mark", b"\xef\xbb\xbf" + TEMPLATE, "byte-order mark"),
            ("an unknown placeholder", TEMPLATE + b"$x = '__VTF_OTHER__'\n", "__VTF_OTHER__"),
            ("a missing placeholder", TEMPLATE.replace(b"__VTF_VERSION__", b"1"), "__VTF_VERSION__"),
        ]
        for label, template, message in cases:
            with self.subTest(label):
                with self.assertRaisesRegex(ValueError, message):
                    embed_script.render(template, "https://releases.example.com", KEY, "0.19.21")

    def test_origin_is_https_and_a_host(self):
        for origin in ("https://releases.example.com", "https://127.0.0.1:8443"):
            with self.subTest(origin):
                self.assertIn(origin.encode(), embed_script.render(TEMPLATE, origin, KEY, "0.19.21"))
        for origin in ("http://releases.example.com", "https://releases.example.com/",
                       "https://releases.example.com/api", "https://", "https://user@host",
                       "https://host'; Remove-Item x; '"):
            with self.subTest(origin):
                with self.assertRaisesRegex(ValueError, "origin"):
                    embed_script.render(TEMPLATE, origin, KEY, "0.19.21")


class ReleaseKeyFile(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp(prefix="vtf-embed-"))

    def tearDown(self):
        for p in self.dir.iterdir():
            p.unlink()
        self.dir.rmdir()

    def write(self, text: str) -> Path:
        path = self.dir / "key.pub"
        path.write_text(text, encoding="ascii")
        return path

    def test_reads_the_modulus_line(self):
        self.assertEqual(embed_script.read_release_key(self.write(KEY + "\n")), KEY)

    def test_refuses_anything_but_a_4096_bit_modulus(self):
        small_top = base64.b64encode(bytes([0x45]) + MODULUS[1:]).decode()
        cases = {
            "one character short": KEY[:-1],
            "not Base64": KEY[:-2] + "!!",
            "a 2048-bit modulus": base64.b64encode(MODULUS[:256]).decode(),
            "a 512-byte number below 2^4095": small_top,
            "empty": "",
        }
        for label, text in cases.items():
            with self.subTest(label):
                with self.assertRaises(ValueError):
                    embed_script.read_release_key(self.write(text))

    def test_command_line_writes_nothing_when_it_refuses(self):
        out = self.dir / "script.ps1"
        done = subprocess.run([sys.executable, str(SOURCE / "tools" / "embed_script.py"),
                               "--origin", "http://insecure.example", "--release-key", str(self.write(KEY)),
                               "--out-script", str(out)], capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 1)
        self.assertIn("origin", done.stderr)
        self.assertFalse(out.exists())


if __name__ == "__main__":
    unittest.main()
