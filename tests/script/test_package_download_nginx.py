"""Receive-VelmoPackage against nginx serving the release folder over loopback TLS.

Packages of 1, 33554432, 33554433 bytes and one of just over 100 MiB are
downloaded by one PowerShell process; each must arrive byte for byte, and
nginx's access log must show exactly the expected ranges in order, each asked
with the installer's User-Agent and Accept-Encoding "identity".
"""
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from support import tls
from support.nginx import Nginx

SOURCE = Path(os.environ.get("VTF_SOURCE_DIR", Path(__file__).resolve().parents[2]))
PWSH = os.environ.get("VTF_PWSH", str(SOURCE / ".tools/pwsh/pwsh"))
RANGE = 33554432

SIZES = {"0.0.1": 1, "0.0.2": RANGE, "0.0.3": RANGE + 1, "0.0.4": 100 * 1048576 + 12345}

RUNNER = r"""
param([string]$Script, [string]$Cases)
. $Script
$results = @{}
foreach ($case in (Get-Content -LiteralPath $Cases -Raw | ConvertFrom-Json)) {
    $claims = [pscustomobject]@{ downloadUrl = $case.url; sizeBytes = [long]$case.size }
    $r = @{}
    try {
        Receive-VelmoPackage -Claims $claims -Destination $case.dest
        $r.ok = $true
        $r.sha256 = (Get-FileHash -LiteralPath $case.dest -Algorithm SHA256).Hash.ToLowerInvariant()
    } catch {
        $r.ok = $false
        $r.message = $_.Exception.Message
    }
    $results[$case.version] = $r
}
ConvertTo-Json -InputObject $results -Compress
"""


def write_package(path: Path, size: int, seed: int) -> str:
    """Writes `size` pseudo-random bytes in 1 MiB blocks; returns their SHA-256."""
    digest = hashlib.sha256()
    block = hashlib.shake_256(seed.to_bytes(4, "little")).digest(1048576)
    with open(path, "wb") as out:
        written, n = 0, 0
        while written < size:
            # Each block differs from the last, so a repeated or skipped range shows.
            piece = n.to_bytes(8, "little") + block[8:]
            piece = piece[:size - written]
            out.write(piece)
            digest.update(piece)
            written += len(piece)
            n += 1
    return digest.hexdigest()


def expected_ranges(size):
    return [f"bytes={start}-{min(start + RANGE, size) - 1}" for start in range(0, size, RANGE)]


class DownloadFromNginx(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        folder = Path(cls.tmp.name)
        script = folder / "installer.ps1"
        subprocess.run([sys.executable, str(SOURCE / "tools/embed_script.py"), "--origin", "https://127.0.0.1",
                        "--release-key", str(SOURCE / ".local/keys/dev-release.pub"), "--out-script", str(script)],
                       check=True)
        packages = folder / "releases" / "beta" / "packages"
        packages.mkdir(parents=True)
        cls.digests = {v: write_package(packages / f"{v}.zip", size, i) for i, (v, size) in enumerate(SIZES.items())}
        pki = tls.make_pki(folder / "pki")
        with Nginx(folder / "releases", pki) as server:
            table = [{"version": v, "size": size, "dest": str(folder / f"{v}.download"),
                      "url": f"{server.origin}/api/releases/download/{v}?channel=beta"}
                     for v, size in SIZES.items()]
            (folder / "cases.json").write_text(json.dumps(table))
            (folder / "runner.ps1").write_text(RUNNER)
            proc = subprocess.run([PWSH, "-NoProfile", "-NonInteractive", "-File", str(folder / "runner.ps1"),
                                   str(script), str(folder / "cases.json")],
                                  capture_output=True, text=True, timeout=600,
                                  env=dict(os.environ, **tls.trust_env(pki)))
            cls.log = server.requests()
        if proc.returncode != 0:
            raise AssertionError(f"PowerShell failed:\n{proc.stdout}\n{proc.stderr}")
        cls.results = json.loads(proc.stdout)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_every_package_arrives_byte_for_byte(self):
        for version, size in SIZES.items():
            with self.subTest(size=size):
                result = self.results[version]
                self.assertTrue(result["ok"], result.get("message"))
                self.assertEqual(result["sha256"], self.digests[version])

    def test_nginx_saw_exactly_the_expected_ranges_in_order(self):
        expected = [(f"/api/releases/download/{v}?channel=beta", r)
                    for v, size in SIZES.items() for r in expected_ranges(size)]
        self.assertEqual([(e["uri"], e["range"]) for e in self.log], expected)
        self.assertEqual(expected[:5], [
            ("/api/releases/download/0.0.1?channel=beta", "bytes=0-0"),
            ("/api/releases/download/0.0.2?channel=beta", "bytes=0-33554431"),
            ("/api/releases/download/0.0.3?channel=beta", "bytes=0-33554431"),
            ("/api/releases/download/0.0.3?channel=beta", "bytes=33554432-33554432"),
            ("/api/releases/download/0.0.4?channel=beta", "bytes=0-33554431"),
        ])

    def test_every_request_names_the_installer_and_refuses_encodings(self):
        for entry in self.log:
            with self.subTest(entry["range"]):
                self.assertEqual(entry["method"], "GET")
                self.assertEqual(entry["status"], 206)
                self.assertEqual(entry["user_agent"], "VTFI/0.19.21")
                self.assertEqual(entry["accept_encoding"], "identity")
                self.assertEqual(entry["cookie"], "")
                self.assertEqual(entry["authorization"], "")


if __name__ == "__main__":
    unittest.main()
