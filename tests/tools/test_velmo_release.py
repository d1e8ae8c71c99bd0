"""velmo-release keygen and sign: the files they write, checked with openssl,
and the one-line refusals of bad input that leave no file behind."""
import base64
import hashlib
import json
import os
import stat
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from support import release_keys

TOOL = None
PREFIX = release_keys.SIGNED_PREFIX
ORIGIN = "https://releases.test.example"


def run_tool(*args, timeout=120):
    return subprocess.run([str(TOOL), *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True, timeout=timeout, check=False)


def setUpModule():
    global TOOL
    TOOL = release_keys.tool_path()
    if not TOOL.is_file():
        raise AssertionError(f"{TOOL} is not built")


class KeygenTest(unittest.TestCase):
    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="vtf-keygen-"))
        self.addCleanup(lambda: subprocess.run(["rm", "-rf", str(self.work)], check=False))

    def test_writes_an_owner_only_private_key_and_the_pinned_modulus(self):
        base = self.work / "release"
        done = run_tool("keygen", "--out", base)
        self.assertEqual(done.returncode, 0, done.stderr)
        pem, pub = self.work / "release.pem", self.work / "release.pub"
        self.assertEqual(stat.S_IMODE(pem.stat().st_mode), 0o600)
        self.assertEqual(sorted(p.name for p in self.work.iterdir()), ["release.pem", "release.pub"])

        text = pub.read_bytes()
        self.assertEqual(len(text), 685)
        self.assertTrue(text.endswith(b"\n") and b"\n" not in text[:-1])
        self.assertEqual(base64.b64decode(text[:-1], validate=True), release_keys.modulus_bytes(pem))

        described = subprocess.run(["openssl", "pkey", "-in", str(pem), "-noout", "-text"],
                                   stdout=subprocess.PIPE, text=True, check=True).stdout
        self.assertIn("Private-Key: (4096 bit", described)
        self.assertIn("publicExponent: 65537", described)

        # The build reads the public file as it is.
        script = release_keys.build_script(ORIGIN, pub, self.work / "installer.ps1")
        self.assertIn(text[:-1].decode(), script.read_text())

    def test_never_writes_over_an_existing_file(self):
        for existing in ("release.pem", "release.pub"):
            with self.subTest(existing=existing):
                for p in self.work.iterdir():
                    p.unlink()
                (self.work / existing).write_text("keep me\n")
                done = run_tool("keygen", "--out", self.work / "release")
                self.assertEqual(done.returncode, 1)
                self.assertEqual(done.stderr.count("\n"), 1, done.stderr)
                self.assertIn("refusing to overwrite existing file", done.stderr)
                self.assertIn(existing, done.stderr)
                self.assertEqual((self.work / existing).read_text(), "keep me\n")
                self.assertEqual([p.name for p in self.work.iterdir()], [existing])

    def test_a_missing_folder_is_reported_and_nothing_is_written(self):
        done = run_tool("keygen", "--out", self.work / "absent" / "release")
        self.assertEqual(done.returncode, 1)
        self.assertRegex(done.stderr, r"^velmo-release keygen: cannot write .*release\.pem: No such file or directory\n$")
        self.assertEqual(list(self.work.iterdir()), [])


class SignTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = Path(tempfile.mkdtemp(prefix="vtf-sign-"))
        cls.key, cls.pub = release_keys.make_key_pair(cls.work / "keys", "release")
        cls.public_pem = release_keys.public_pem(cls.key, cls.work / "keys" / "release-public.pem")
        cls.package = cls.work / "package.zip"
        cls.package.write_bytes(os.urandom(3000))

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["rm", "-rf", str(cls.work)], check=False)

    def setUp(self):
        self.out_dir = Path(tempfile.mkdtemp(dir=self.work))
        self.out = self.out_dir / "manifest.json"

    def sign(self, *extra, key=None, package=None, version="0.20.0"):
        return run_tool("sign", "--key", key or self.key, "--package", package or self.package,
                        "--version", version, "--origin", ORIGIN, "--out", self.out, *extra)

    def test_manifest_carries_signed_claims_that_openssl_verifies(self):
        before = int(time.time())
        done = self.sign()
        after = int(time.time())
        self.assertEqual(done.returncode, 0, done.stderr)
        manifest = json.loads(self.out.read_text(encoding="utf-8"))
        envelope = manifest["signedRelease"]
        self.assertEqual(envelope["format"], "velmo-release-signature-v1")
        self.assertEqual(envelope["keyId"], "velmo-release-2026-09")
        payload = base64.b64decode(envelope["payload"], validate=True)
        signature = base64.b64decode(envelope["signature"], validate=True)
        self.assertEqual(len(signature), 512)
        self.assertTrue(release_keys.verify_message(self.public_pem, PREFIX + payload, signature, self.work))
        self.assertFalse(release_keys.verify_message(self.public_pem, PREFIX[:-1] + payload, signature, self.work))

        claims = json.loads(payload.decode("utf-8"))
        data = self.package.read_bytes()
        self.assertEqual({k: v for k, v in claims.items() if k not in ("issuedAt", "expiresAt")}, {
            "product": "VELMO_TALLOWFIN_AI", "channel": "beta", "version": "0.20.0",
            "downloadUrl": ORIGIN + "/api/releases/download/0.20.0?channel=beta",
            "executableName": "VELMO_Tallowfin.exe", "sha256": hashlib.sha256(data).hexdigest(),
            "sizeBytes": len(data)})
        self.assertTrue(before <= claims["issuedAt"] <= after)
        self.assertEqual(claims["expiresAt"] - claims["issuedAt"], 30 * 86400)

        self.assertEqual(manifest["status"], "ready")
        for name in ("product", "channel", "version", "downloadUrl", "sha256", "executableName", "sizeBytes"):
            self.assertEqual(manifest[name], claims[name], name)
            self.assertIs(type(manifest[name]), type(claims[name]), name)
        self.assertEqual(sorted(p.name for p in self.out_dir.iterdir()), ["manifest.json"])

    def test_validity_options(self):
        for options, seconds in ((["--valid-days", "90"], 7776000), (["--valid-days", "1"], 86400),
                                 (["--valid-for", "7776000"], 7776000), (["--valid-for", "600"], 600)):
            with self.subTest(options=options):
                done = self.sign(*options)
                self.assertEqual(done.returncode, 0, done.stderr)
                envelope = json.loads(self.out.read_text())["signedRelease"]
                claims = json.loads(base64.b64decode(envelope["payload"]))
                self.assertEqual(claims["expiresAt"] - claims["issuedAt"], seconds)

    def test_a_new_manifest_replaces_the_old_one_whole(self):
        self.out.write_text("old manifest\n")
        self.assertEqual(self.sign(version="0.20.1").returncode, 0)
        self.assertEqual(json.loads(self.out.read_text())["version"], "0.20.1")
        self.assertEqual(sorted(p.name for p in self.out_dir.iterdir()), ["manifest.json"])

    def test_bad_input_gets_one_line_naming_it_and_no_manifest(self):
        keys = self.work / "keys"
        small, _ = release_keys.make_key_pair(keys, "rsa2048", bits=2048)
        exponent3, _ = release_keys.make_key_pair(keys, "exponent3", exponent=3)
        ec_key = keys / "ec.pem"
        subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256",
                        "-out", str(ec_key)], check=True, capture_output=True)
        encrypted = keys / "encrypted.pem"
        subprocess.run(["openssl", "pkey", "-in", str(self.key), "-aes256", "-passout", "pass:secret",
                        "-out", str(encrypted)], check=True, capture_output=True)
        empty = self.work / "empty.zip"
        empty.write_bytes(b"")
        huge = self.work / "huge.zip"
        with open(huge, "wb") as f:
            f.truncate(2000000001)  # sparse: refused from its size alone
        self.addCleanup(huge.unlink)

        cases = [
            ("a missing key file", dict(key=keys / "absent.pem"), "cannot read private key"),
            ("a folder as key file", dict(key=keys), "not a regular file"),
            ("the public key file as private key", dict(key=self.pub), "not an unencrypted PEM private key"),
            ("an encrypted private key", dict(key=encrypted), "not an unencrypted PEM private key"),
            ("a 2048-bit RSA key", dict(key=small), "is not a 4096-bit RSA key with exponent 65537"),
            ("a 4096-bit RSA key with exponent 3", dict(key=exponent3),
             "is not a 4096-bit RSA key with exponent 65537"),
            ("an EC key", dict(key=ec_key), "is not a 4096-bit RSA key with exponent 65537"),
            ("a missing package", dict(package=self.work / "absent.zip"), "cannot read package"),
            ("an empty package", dict(package=empty), "is empty (0 bytes)"),
            ("a package over 2000000000 bytes", dict(package=huge), "is larger than 2000000000 bytes"),
            ("version 1.0", dict(version="1.0"), "is not three groups of 1 to 4 digits"),
            ("version 1.2.3.4", dict(version="1.2.3.4"), "is not three groups of 1 to 4 digits"),
            ("version 10000.0.0", dict(version="10000.0.0"), "is not three groups of 1 to 4 digits"),
            ("version v1.2.3", dict(version="v1.2.3"), "is not three groups of 1 to 4 digits"),
            ("version with a line feed", dict(version="1.2.3\n"), "is not three groups of 1 to 4 digits"),
            ("91 days", dict(extra=["--valid-days", "91"]), "over the limit of 90 days"),
            ("7776001 seconds", dict(extra=["--valid-for", "7776001"]), "over the limit of 90 days"),
            ("0 days", dict(extra=["--valid-days", "0"]), "must be a whole number from 1"),
            ("a validity that is no number", dict(extra=["--valid-for", "1h"]), "must be a whole number from 1"),
            ("both validity options", dict(extra=["--valid-days", "1", "--valid-for", "60"]), "not both"),
            ("an unknown option", dict(extra=["--channel", "stable"]), "unknown option --channel"),
        ]
        for name, change, expected in cases:
            with self.subTest(name):
                args = ["sign", "--key", change.get("key", self.key), "--package", change.get("package", self.package),
                        "--version", change.get("version", "0.20.0"), "--origin", ORIGIN, "--out", self.out,
                        *change.get("extra", [])]
                done = run_tool(*args)
                self.assertEqual(done.returncode, 1, name)
                self.assertEqual(done.stdout, "")
                self.assertEqual(done.stderr.count("\n"), 1, done.stderr)
                self.assertTrue(done.stderr.startswith("velmo-release sign: "), done.stderr)
                self.assertIn(expected, done.stderr)
                self.assertEqual(list(self.out_dir.iterdir()), [], "no file may be left")

    def test_origin_must_be_https_and_a_host(self):
        for origin in ("http://releases.test.example", "https://releases.test.example/api", "releases.test.example",
                       "https://", "https://host name"):
            with self.subTest(origin=origin):
                done = run_tool("sign", "--key", self.key, "--package", self.package, "--version", "0.20.0",
                                "--origin", origin, "--out", self.out)
                self.assertEqual(done.returncode, 1)
                self.assertIn("is not https:// and a host name", done.stderr)
                self.assertFalse(self.out.exists())

    def test_a_failed_sign_keeps_the_previous_manifest(self):
        self.out.write_text("published manifest\n")
        done = self.sign(version="1.0")
        self.assertEqual(done.returncode, 1)
        self.assertEqual(self.out.read_text(), "published manifest\n")
        self.assertEqual(sorted(p.name for p in self.out_dir.iterdir()), ["manifest.json"])


if __name__ == "__main__":
    unittest.main()
