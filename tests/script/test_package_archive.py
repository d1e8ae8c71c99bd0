"""Assert-VelmoArchive against a table of hand-made ZIP archives.

Every archive of the table is written first; one PowerShell process then
dot-sources the built installer script and validates them all, reporting for
each the returned root folder or the failure message, and whether the archive
file could be opened exclusively afterwards (it cannot while a reader is left
open).
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from support import zip_fixtures as z

SOURCE = Path(os.environ.get("VTF_SOURCE_DIR", Path(__file__).resolve().parents[2]))
PWSH = os.environ.get("VTF_PWSH", str(SOURCE / ".tools/pwsh/pwsh"))
RELEASE_KEY = SOURCE / ".local/keys/dev-release.pub"

ONE_ROOT = "Archive must have one root directory"
UNSAFE = "Unsafe archive path"
MISSING = "Required package file missing"
DUPLICATE = "Duplicate archive path"
SYMLINK = "Archive symlink refused"
TOO_BIG = "Archive expanded size exceeds limit"
COUNT = "Invalid archive entry count"
EXE = "VELMO_Tallowfin.exe"


def pkg(*extra, root="root", skip=()):
    return z.package_entries(root, skip) + list(extra)


def filler(count):
    return [z.file(f"root/data/f{i:05d}") for i in range(count)]


# (label, entries, executable name in the claims, expected root or message)
CASES = [
    ("a complete package", pkg(), EXE, "root"),
    ("the root folder name is returned as written", pkg(root="Velmo Tallowfin-1"), EXE, "Velmo Tallowfin-1"),
    ("roots that differ only in case", [z.file("release/app/main.py"), z.file("Release/config.json")], EXE, ONE_ROOT),
    ("file names that differ only in case", pkg(z.file("root/a.txt"), z.file("root/A.TXT")), EXE, DUPLICATE),
    ("the same file twice", pkg(z.file("root/config.json")), EXE, DUPLICATE),
    ("a file given once with slashes and once with backslashes", pkg(z.file("root\\config.json")), EXE, DUPLICATE),
    ("directory entries that differ only in case",
     pkg(z.directory("root/app/"), z.directory("root/APP/")), EXE, "root"),
    ("a directory entry for the root alone", [z.directory("root/")] + pkg(), EXE, ONE_ROOT),
    ("a file at the top level", pkg(z.file("readme.txt")), EXE, ONE_ROOT),
    ("a second root folder", pkg(z.file("other/readme.txt")), EXE, ONE_ROOT),
    # Names that differ from others only by a soft hyphen, which a culture
    # comparison ignores: a second root, and file names that end in one after
    # a slash (they are files, not directory entries).
    ("a second root that differs by an invisible character", pkg(z.file("ro\u00adot/readme.txt")), EXE, ONE_ROOT),
    ("file names ending in an invisible character after a slash",
     pkg(z.file("root/x/\u00ad"), z.file("root/X/\u00ad")), EXE, DUPLICATE),
    ("required names match ignoring case",
     [z.file(n) for n in ("root/Release.JSON", "root/INTEGRITY_manifest.json", "root/App/Main.py",
                          "root/app/RUNTIME.py", "root/Config.Json",
                          "root/Installer/install-velmotallowfin.ps1", "root/velmo_tallowfin.EXE")],
     EXE, "root"),
    ("a required file present only as a directory",
     pkg(z.directory("root/config.json/"), skip=["config.json"]), EXE, MISSING),
    ("the executable named by the claims",
     pkg(z.file("root/Other.exe"), skip=[EXE]), "Other.exe", "root"),
    ("the claims name an executable the package lacks", pkg(), "Other.exe", MISSING),
    ("exactly 50000 entries", pkg(*filler(50000 - 7)), EXE, "root"),
    ("50001 entries", pkg(*filler(50001 - 7)), EXE, COUNT),
    ("an empty archive", [], EXE, COUNT),
    ("exactly 2500000000 bytes when expanded", pkg(z.file("root/big.bin", size=2500000000 - 7)), EXE, "root"),
    ("one byte more than 2500000000 when expanded",
     pkg(z.file("root/big.bin", size=2500000000 - 6)), EXE, TOO_BIG),
    ("the total is counted across entries",
     pkg(z.file("root/a.bin", size=1250000000), z.file("root/b.bin", size=1250000000)), EXE, TOO_BIG),
    ("a symbolic link", pkg(z.file("root/link", b"/etc/passwd", attr=z.SYMLINK)), EXE, SYMLINK),
    # A link's type bits make the 32-bit attribute value negative.
    ("a symbolic link with every other attribute bit set",
     pkg(z.file("root/link", attr=0xAFFFFFFF)), EXE, SYMLINK),
    ("a regular file whose attributes are negative as 32 bits",
     pkg(z.file("root/plain", attr=0x81FF0000)), EXE, "root"),
    ("the link type bits in the low half only", pkg(z.file("root/plain", attr=0xA000)), EXE, "root"),
    ("a directory type with all other bits set", pkg(z.file("root/plain", attr=0x4FFFFFFF)), EXE, "root"),
    ("the unsafe name wins over a second root", pkg(z.file("other/CON")), EXE, UNSAFE),
    ("the root rule wins over a symlink", pkg(z.file("other/link", attr=z.SYMLINK)), EXE, ONE_ROOT),
    ("a symlink wins over the size limit",
     pkg(z.file("root/link", attr=z.SYMLINK, size=2500000000)), EXE, SYMLINK),
    ("the size limit wins over a duplicate",
     pkg(z.file("root/config.json", size=2500000000)), EXE, TOO_BIG),
]

UNSAFE_NAMES = [
    "con", "Con.txt", "LPT1.log", "COM\u00b9", "com\u00b2.txt", "LPT\u00b3", "NUL", "aux.tar.gz", "prn",
    "COM9", "name.", "name ", "dots..", ".", "..", "a:b", "a<b", "a>b", 'a"b', "a|b", "a?b", "a*b",
    "tab\there", "nul\x00byte", "esc\x1b", "unit\x1fsep",
]
SAFE_NAMES = ["CONSOLE", "COM0", "COM10", "LPT", "COM", "CON_", "xcon", " leading space",
              ".hidden", "a.b.c", "caf\u00e9", "COM\u2074", "name~1", "%TEMP%"]
for name in UNSAFE_NAMES:
    CASES.append((f"component {name!r}", pkg(z.file(f"root/app/{name}")), EXE, UNSAFE))
    CASES.append((f"folder {name!r}", pkg(z.file(f"root/{name}/file.txt")), EXE, UNSAFE))
for name in SAFE_NAMES:
    CASES.append((f"component {name!r}", pkg(z.file(f"root/app/{name}")), EXE, "root"))
for name in ["root\\..\\evil", "root//a.txt", "/root/a.txt", "C:/root/a.txt", "C:root/a.txt",
             "root/./a.txt", "root/app/../../evil", "root\\app\\..\\x", "..\\root\\a.txt"]:
    CASES.append((f"path {name!r}", pkg(z.file(name)), EXE, UNSAFE))
for missing in z.REQUIRED_FILES:
    CASES.append((f"missing {missing}", pkg(skip=[missing]), EXE, MISSING))

VALIDATE_ALL = r"""
param([string]$Script, [string]$Cases)
$ErrorActionPreference = 'Stop'
. $Script
$results = foreach ($case in (Get-Content -LiteralPath $Cases -Raw | ConvertFrom-Json)) {
    $claims = [pscustomobject]@{ executableName = $case.exe }
    $outcome = $null
    try { $outcome = @{ root = (Assert-VelmoArchive -Path $case.path -Claims $claims) } }
    catch { $outcome = @{ error = $_.Exception.Message } }
    try {
        $probe = [IO.File]::Open($case.path, 'Open', 'ReadWrite', 'None'); $probe.Dispose()
        $outcome.released = $true
    } catch { $outcome.released = $false }
    $outcome
}
ConvertTo-Json -InputObject @($results) -Depth 3 -Compress
"""


def listing(folder: Path):
    return sorted((str(p.relative_to(folder)), p.stat().st_size) for p in folder.rglob("*"))


def build_script(folder: Path, origin="https://127.0.0.1") -> Path:
    out = folder / "installer.ps1"
    subprocess.run([sys.executable, str(SOURCE / "tools/embed_script.py"), "--origin", origin,
                    "--release-key", str(RELEASE_KEY), "--out-script", str(out)], check=True)
    return out


class ArchiveValidationTable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        folder = Path(cls.tmp.name)
        script = build_script(folder)
        zips = folder / "zips"
        zips.mkdir()
        table = []
        for index, (_, entries, exe, _) in enumerate(CASES):
            path = zips / f"case{index:03d}.zip"
            z.write_zip(path, entries)
            table.append({"path": str(path), "exe": exe})
        (zips / "not-a-zip.zip").write_bytes(b"PK\x03\x04 this is not an archive" * 10)
        table.append({"path": str(zips / "not-a-zip.zip"), "exe": EXE})
        cases_file = folder / "cases.json"
        cases_file.write_text(json.dumps(table))
        runner = folder / "validate-all.ps1"
        runner.write_text(VALIDATE_ALL)
        cls.before = listing(folder)
        proc = subprocess.run([PWSH, "-NoProfile", "-NonInteractive", "-File", str(runner),
                               str(script), str(cases_file)],
                              capture_output=True, text=True, timeout=600, cwd=folder)
        if proc.returncode != 0:
            raise AssertionError(f"PowerShell failed:\n{proc.stdout}\n{proc.stderr}")
        cls.results = json.loads(proc.stdout)
        cls.after = listing(folder)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_table(self):
        self.assertEqual(len(self.results), len(CASES) + 1)
        for (label, _, _, expected), result in zip(CASES, self.results):
            with self.subTest(label):
                got = result.get("root") if "root" in result else result.get("error")
                self.assertEqual(got, expected)

    def test_archive_is_closed_after_every_outcome(self):
        for (label, _, _, _), result in zip(CASES, self.results):
            with self.subTest(label):
                self.assertTrue(result["released"], "the archive was left open")

    def test_a_file_that_is_no_zip_fails(self):
        result = self.results[-1]
        self.assertIn("error", result)
        self.assertTrue(result["released"])

    def test_nothing_is_extracted(self):
        self.assertEqual(self.before, self.after)


if __name__ == "__main__":
    unittest.main()
