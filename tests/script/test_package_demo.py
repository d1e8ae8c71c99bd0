"""The demo release package: its builder, its layout and its packaged installer."""
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile
from pathlib import Path

from support.zip_fixtures import REQUIRED_FILES

SOURCE = Path(os.environ.get("VTF_SOURCE_DIR", Path(__file__).resolve().parents[2]))
PWSH = os.environ.get("VTF_PWSH", str(SOURCE / ".tools/pwsh/pwsh"))
BUILDER = SOURCE / "tools/make_demo_package.py"
ROOT_NAME = "VELMO_Tallowfin"


def installer_version():
    text = (SOURCE / "res/version.h").read_text()
    return ".".join(re.search(rf"VTF_VERSION_{n}\s+(\d+)", text).group(1) for n in ("MAJOR", "MINOR", "PATCH"))


def make_package(out: Path, *version):
    proc = subprocess.run([sys.executable, str(BUILDER), *version, "--out", str(out)],
                          capture_output=True, text=True, check=True)
    return json.loads(proc.stdout)


def run_installer(source_root: Path, install_dir: Path, expected_version, desktop=0, start_menu=0, startup=0):
    args = [PWSH, "-NoProfile", "-NonInteractive", "-ExecutionPolicy", "Bypass",
            "-File", str(source_root / "installer/Install-VelmoTallowfin.ps1"),
            "-SourceRoot", str(source_root), "-InstallDir", str(install_dir),
            "-Desktop", str(desktop), "-StartMenu", str(start_menu), "-Startup", str(startup),
            "-SelectLanguage", "1", "-ExpectedVersion", expected_version]
    return subprocess.run(args, capture_output=True, text=True, timeout=120)


class DemoPackageBuilder(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = Path(self.tmp.name)

    def tearDown(self):
        self.tmp.cleanup()

    def test_same_version_gives_same_bytes_and_defaults_to_the_installer_version(self):
        first = make_package(self.dir / "a.zip")
        second = make_package(self.dir / "b.zip", installer_version())
        self.assertEqual(first["version"], installer_version())
        self.assertEqual((self.dir / "a.zip").read_bytes(), (self.dir / "b.zip").read_bytes())
        data = (self.dir / "a.zip").read_bytes()
        self.assertEqual(first["sizeBytes"], len(data))
        self.assertEqual(first["sha256"], hashlib.sha256(data).hexdigest())
        self.assertEqual(second["sha256"], first["sha256"])

    def test_layout_and_integrity_manifest(self):
        make_package(self.dir / "p.zip", "1.2.3")
        with zipfile.ZipFile(self.dir / "p.zip") as archive:
            names = archive.namelist()
            files = {n: archive.read(n) for n in names}
        self.assertTrue(all(n.startswith(ROOT_NAME + "/") and not n.endswith("/") for n in names), names)
        for required in REQUIRED_FILES:
            self.assertIn(f"{ROOT_NAME}/{required}", names)
        self.assertEqual(json.loads(files[f"{ROOT_NAME}/release.json"])["version"], "1.2.3")
        manifest = json.loads(files[f"{ROOT_NAME}/integrity_manifest.json"])
        listed = {f["path"]: f["sha256"] for f in manifest["files"]}
        others = {n[len(ROOT_NAME) + 1:] for n in names} - {"integrity_manifest.json"}
        self.assertEqual(set(listed), others)
        for path, digest in listed.items():
            self.assertEqual(hashlib.sha256(files[f"{ROOT_NAME}/{path}"]).hexdigest(), digest, path)
        exe = files[f"{ROOT_NAME}/VELMO_Tallowfin.exe"]
        self.assertEqual(exe[:2], b"MZ")
        self.assertEqual(exe[0x40:0x46], b"PE\0\0\x64\x86")  # 64-bit Windows image

    def test_the_installer_script_accepts_the_package(self):
        info = make_package(self.dir / "p.zip")
        script = self.dir / "installer.ps1"
        subprocess.run([sys.executable, str(SOURCE / "tools/embed_script.py"), "--origin", "https://127.0.0.1",
                        "--release-key", str(SOURCE / ".local/keys/dev-release.pub"), "--out-script", str(script)],
                       check=True)
        check = ("param($Script, $Path, $Size, $Sha)\n. $Script\n"
                 "$claims = [pscustomobject]@{ sizeBytes = [long]$Size; sha256 = $Sha; "
                 "executableName = 'VELMO_Tallowfin.exe' }\n"
                 "Assert-VelmoPackage -Path $Path -Claims $claims\n"
                 "Assert-VelmoArchive -Path $Path -Claims $claims\n")
        runner = self.dir / "check.ps1"
        runner.write_text(check)
        proc = subprocess.run([PWSH, "-NoProfile", "-NonInteractive", "-File", str(runner), str(script),
                               str(self.dir / "p.zip"), str(info["sizeBytes"]), info["sha256"]],
                              capture_output=True, text=True, timeout=120)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertEqual(proc.stdout.strip(), ROOT_NAME)

    def test_installer_files_are_ascii_for_windows_powershell(self):
        scripts = list((SOURCE / "demo/package").rglob("*.ps1"))
        self.assertIn("Install-VelmoTallowfin.ps1", [p.name for p in scripts])
        for path in scripts:
            data = path.read_bytes()
            self.assertTrue(all(b < 128 for b in data), path)
            self.assertNotIn(b"\r", data, path)


class PackagedInstaller(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = Path(self.tmp.name)
        make_package(self.dir / "p.zip", "0.20.1")
        with zipfile.ZipFile(self.dir / "p.zip") as archive:
            archive.extractall(self.dir / "stage")
        self.source_root = self.dir / "stage" / ROOT_NAME
        self.install_dir = self.dir / "Program Files" / "VELMO Tallowfin"

    def tearDown(self):
        self.tmp.cleanup()

    def test_installs_the_application_and_honours_the_choices(self):
        proc = run_installer(self.source_root, self.install_dir, "0.20.1", desktop=1, start_menu=0, startup=1)
        self.assertEqual(proc.returncode, 0, proc.stdout + proc.stderr)
        installed = sorted(p.relative_to(self.install_dir).as_posix()
                           for p in self.install_dir.rglob("*") if p.is_file())
        self.assertEqual(installed, ["VELMO_Tallowfin.exe", "app/main.py", "app/runtime.py", "config.json",
                                     "install.json", "integrity_manifest.json", "release.json"])
        for rel in ("app/main.py", "VELMO_Tallowfin.exe", "release.json"):
            self.assertEqual((self.install_dir / rel).read_bytes(), (self.source_root / rel).read_bytes())
        choices = json.loads((self.install_dir / "install.json").read_text())
        self.assertEqual(choices, {"version": "0.20.1", "selectLanguage": True, "desktopShortcut": True,
                                   "startMenuShortcut": False, "startWithWindows": True})
        lines = proc.stdout.splitlines()
        self.assertIn("Install-VelmoTallowfin: desktop shortcut skipped: this platform has no Windows shortcuts",
                      lines)
        self.assertIn("Install-VelmoTallowfin: start-up entry skipped: this platform has no Windows shortcuts",
                      lines)
        self.assertFalse(any("Start-menu" in line for line in lines), lines)
        self.assertEqual(lines[-1], "Install-VelmoTallowfin: done")
        app = subprocess.run([sys.executable, str(self.install_dir / "app/main.py")],
                             capture_output=True, text=True, timeout=60)
        self.assertEqual(app.stdout.splitlines(),
                         ["VELMO Tallowfin AI 0.20.1", "Language: to be chosen at first start (en, ko)"])

    def test_refuses_another_version_and_installs_nothing(self):
        proc = run_installer(self.source_root, self.install_dir, "0.20.2")
        self.assertEqual(proc.returncode, 1)
        self.assertIn("failed: package holds version 0.20.1, expected 0.20.2", proc.stdout)
        self.assertFalse(self.install_dir.exists())

    def test_refuses_a_damaged_file_and_installs_nothing(self):
        main = self.source_root / "app/main.py"
        main.write_bytes(main.read_bytes() + b"\n# changed\n")
        proc = run_installer(self.source_root, self.install_dir, "0.20.1")
        self.assertEqual(proc.returncode, 1)
        self.assertIn("failed: package file damaged: app/main.py", proc.stdout)
        self.assertFalse(self.install_dir.exists())


if __name__ == "__main__":
    unittest.main()
