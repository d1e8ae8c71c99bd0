"""velmo-release verify: the installer's rules, held to the same table of
manifests as the installer script, plus the package checks and bad input."""
import os
import subprocess
import tempfile
import unittest
from pathlib import Path

from support import release_cases, release_keys

TOOL = None
RULE_MESSAGES = [
    "Trusted release signature missing", "Invalid release signature encoding", "Invalid release signature length",
    "Release signature verification failed", "Wrong release product or channel", "Release downgrade refused",
    "Invalid signed release target", "Invalid signed numeric field", "Invalid signed package size",
    "Release signature expired or PC clock incorrect", "Release metadata differs from signed payload",
    "Release size differs from signed payload", "Release actual version differs from signed payload",
]


def run_tool(*args):
    return subprocess.run([str(TOOL), *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, timeout=120, check=False)


def setUpModule():
    global TOOL
    TOOL = release_keys.tool_path()
    if not TOOL.is_file():
        raise AssertionError(f"{TOOL} is not built")


class VerifyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="vtf-verify-"))
        cls.index = release_cases.write_cases(cls.work / "cases")
        cls.package = cls.work / "package.zip"
        cls.package.write_bytes(os.urandom(5000))

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["rm", "-rf", str(cls.work)], check=False)

    def verify(self, manifest, *extra, key=None):
        return run_tool("verify", "--key", key or self.index["publicKey"], "--origin", self.index["origin"],
                        *extra, manifest)

    def case_file(self, name):
        return next(c["file"] for c in self.index["cases"] if c["name"] == name)

    def test_every_case_of_the_table(self):
        self.assertGreater(len(self.index["cases"]), 100)
        for case in self.index["cases"]:
            with self.subTest(case["name"]):
                done = self.verify(case["file"], "--at", self.index["now"])
                if case["expect"] == release_cases.ACCEPT:
                    self.assertEqual(done.returncode, 0, done.stderr)
                    self.assertRegex(done.stdout, r"^OK: .*\n$")
                    continue
                self.assertEqual(done.returncode, 1, done.stdout)
                self.assertEqual(done.stdout, "")
                self.assertEqual(done.stderr.count("\n"), 1, done.stderr)
                if case["expect"] == release_cases.PLATFORM_ERROR:
                    self.assertFalse(any(m in done.stderr for m in RULE_MESSAGES), done.stderr)
                else:
                    self.assertTrue(done.stderr.endswith(" refused: " + case["expect"] + "\n"), done.stderr)

    def test_minimum_version_option(self):
        manifest = self.case_file("version 0.20.0")
        self.assertEqual(self.verify(manifest, "--at", self.index["now"], "--minimum-version", "0.20.0").returncode, 0)
        done = self.verify(manifest, "--at", self.index["now"], "--minimum-version", "0.20.1")
        self.assertTrue(done.stderr.endswith("refused: Release downgrade refused\n"), done.stderr)

    def sign(self, out, package=None):
        done = run_tool("sign", "--key", self.index["privateKey"], "--package", package or self.package,
                        "--version", "0.20.2", "--origin", self.index["origin"], "--valid-for", "3600", "--out", out)
        self.assertEqual(done.returncode, 0, done.stderr)
        return out

    def test_a_signed_manifest_on_the_real_clock_then_past_its_expiry(self):
        manifest = self.sign(self.work / "fresh.json")
        done = self.verify(manifest, "--package", self.package)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("release 0.20.2 (5000 bytes)", done.stdout)
        self.assertIn("the package matches", done.stdout)
        done = self.verify(manifest, "--at", "32503680000")
        self.assertTrue(done.stderr.endswith("refused: Release signature expired or PC clock incorrect\n"))

    def test_package_size_then_digest(self):
        manifest = self.sign(self.work / "package-check.json")
        data = self.package.read_bytes()
        longer = self.work / "longer.zip"
        longer.write_bytes(data + b"\0")
        changed = self.work / "changed.zip"
        changed.write_bytes(data[:2500] + bytes([data[2500] ^ 1]) + data[2501:])
        empty = self.work / "empty.zip"
        empty.write_bytes(b"")
        for package, message in ((longer, "Package size mismatch"), (empty, "Package size mismatch"),
                                 (changed, "Package SHA-256 mismatch")):
            with self.subTest(package=package.name):
                done = self.verify(manifest, "--package", package)
                self.assertEqual(done.returncode, 1)
                self.assertTrue(done.stderr.endswith("refused: " + message + "\n"), done.stderr)
        # A manifest that fails its own rules is reported before the package is looked at.
        done = self.verify(self.case_file("sizeBytes 0"), "--at", self.index["now"], "--package", longer)
        self.assertTrue(done.stderr.endswith("refused: Invalid signed package size\n"), done.stderr)

    def test_bad_input_gets_one_line_naming_it(self):
        good = self.case_file("a manifest that keeps every rule (no actualVersion)")
        not_json = self.work / "not-json.json"
        not_json.write_text("{\"status\": \"ready\",}")
        duplicate = self.work / "duplicate.json"
        duplicate.write_text('{"status": "ready", "Status": "ready"}')
        too_large = self.work / "large.json"
        too_large.write_text(" " * 128001 + "{}")
        bom = self.work / "bom.json"
        bom.write_bytes(b"\xef\xbb\xbf" + Path(good).read_bytes())
        latin1 = self.work / "latin1.json"
        latin1.write_bytes(b'{"status": "r\xe9ady"}')
        cases = [
            ("a missing manifest", [self.work / "absent.json"], "cannot read manifest"),
            ("a folder as manifest", [self.work], "not a regular file"),
            ("a manifest that is not JSON", [not_json], "invalid JSON in the manifest"),
            ("a manifest with a name twice", [duplicate], "member name 'Status' appears twice"),
            ("a manifest over 128000 bytes", [too_large], "is larger than 128000 bytes"),
            ("a manifest that starts with a byte-order mark", [bom], "invalid JSON in the manifest at byte 0"),
            ("a manifest that is not UTF-8", [latin1], "the manifest is not valid UTF-8"),
            ("the private key as --key", ["--key", self.index["privateKey"], good],
             "is not a 4096-bit RSA modulus as 684 Base64 characters"),
            ("a missing key", ["--key", self.work / "absent.pub", good], "cannot read public key"),
            ("a bad minimum version", ["--minimum-version", "0.19", good], "minimum version '0.19'"),
            ("an origin with a path", ["--origin", "https://host/api", good], "is not https:// and a host name"),
            ("two manifests", [good, good], "give exactly one manifest file"),
            ("a missing package", ["--at", self.index["now"], "--package", self.work / "absent.zip", good],
             "cannot read package"),
        ]
        for name, args, expected in cases:
            with self.subTest(name):
                key_given = "--key" in args
                base = ["verify"] + ([] if key_given else ["--key", self.index["publicKey"]])
                if "--origin" not in args:
                    base += ["--origin", self.index["origin"]]
                done = run_tool(*base, *args)
                self.assertEqual(done.returncode, 1)
                self.assertEqual(done.stderr.count("\n"), 1, done.stderr)
                self.assertTrue(done.stderr.startswith("velmo-release verify: "), done.stderr)
                self.assertIn(expected, done.stderr)


if __name__ == "__main__":
    unittest.main()
