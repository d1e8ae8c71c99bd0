"""The installer script run whole with real packages: the demo release installed
from nginx, and packages or servers that must be refused without a trace.

Runs start together in setUpClass and are checked one by one. For every
refused package the work folder and an existing install folder are listed
before and after: only the log may change, and only by the run's own lines.
"""
import hashlib
import json
import subprocess
import sys
import unittest
import zipfile
from pathlib import Path

from support import nginx, tls, zip_fixtures as z
from support.range_fault_server import Answer, RangeFaultServer
from support.script_runner import (PACKAGE_ROOT, RELEASE_VERSION, USER_AGENT, ScriptBed, sign_release,
                                   source_dir, window_arguments)

SUCCESS = ["start", "signature verified", "download", "extract", "install", "success"]
DOWNLOAD_PATH = f"/api/releases/download/{RELEASE_VERSION}"
MANIFEST_PATH = "/api/releases/latest"


def demo_package(out: Path, version=RELEASE_VERSION) -> Path:
    subprocess.run([sys.executable, str(source_dir() / "tools/make_demo_package.py"), version, "--out", str(out)],
                   check=True, stdout=subprocess.DEVNULL)
    return out


def snapshot(folder: Path) -> dict:
    """Every file and folder below `folder` with its content digest (None for folders)."""
    if not folder.exists():
        return {}
    return {str(p.relative_to(folder)): (hashlib.sha256(p.read_bytes()).hexdigest() if p.is_file() else None)
            for p in sorted(folder.rglob("*"))}


def crafted_package(out: Path, *entries) -> Path:
    z.write_zip(out, z.package_entries(PACKAGE_ROOT) + list(entries))
    return out


class InstallRuns(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bed = ScriptBed()
        cls.servers = []
        try:
            cls._start_runs()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def _publish(cls, name, package, signed=None):
        """nginx serving `package` under a release record signed for `signed` (default: the same file)."""
        root = cls.bed.root / name
        server = nginx.Nginx(root / "www", cls.bed.pki, prefix=root / "nginx").start()
        cls.servers.append(server)
        manifest = sign_release(cls.bed.key_pem, signed or package, server.origin, root / "latest.json")
        nginx.publish(root / "www", manifest, package, RELEASE_VERSION)
        return server, cls.bed.build_script(server.origin)

    @classmethod
    def _fault_server(cls, name, answer):
        """A range fault server publishing a signed record and answering every range with `answer`."""
        root = cls.bed.root / name
        root.mkdir(parents=True)
        package = demo_package(root / "package.zip")
        files = {DOWNLOAD_PATH: package.read_bytes()}

        def scenario(request):
            return Answer(status=200, content_range=None) if request.path == MANIFEST_PATH else answer

        server = RangeFaultServer(files, tls.server_context(cls.bed.pki), scenario, max_requests=20).__enter__()
        cls.servers.append(server)
        origin = f"https://127.0.0.1:{server.port}"
        manifest = sign_release(cls.bed.key_pem, package, origin, root / "latest.json")
        files[MANIFEST_PATH] = manifest.read_bytes()
        return server, cls.bed.build_script(origin)

    @classmethod
    def _start_refused(cls, name, package, signed=None):
        server, script = cls._publish(name, package, signed)
        folder = cls.bed.root / name / "run-parent"
        local = folder / "LocalAppData"
        install = folder / "Programs" / "VELMO Tallowfin"
        (local / "VTFI").mkdir(parents=True)
        (local / "VTFI" / "install.log").write_text("2026-01-01T00:00:00 start\r\n", encoding="ascii")
        (local / "VTFI" / "install.lock").write_bytes(b"")
        install.mkdir(parents=True)
        (install / "kept.txt").write_text("from an earlier installation\n")
        before = (snapshot(local), snapshot(install))
        run = cls.bed.start(script, window_arguments(str(install)), localappdata=local)
        cls.refused[name] = (run, before, local, install)

    @classmethod
    def _start_runs(cls):
        bed = cls.bed
        work = bed.root / "packages"
        work.mkdir()
        cls.demo = demo_package(work / "demo.zip")
        cls.nginx, script = cls._publish("demo", cls.demo)
        cls.install_dir = bed.root / "Program Files" / "VELMO Tallowfin"
        cls.success = bed.start(script, window_arguments(str(cls.install_dir), 1, 1, 0))

        _, differs_script = cls._publish("differs", demo_package(work / "0.19.22.zip", "0.19.22"))
        cls.differs_dir = bed.root / "differs-install"
        cls.differs = bed.start(differs_script, window_arguments(str(cls.differs_dir)))

        # Packages that are signed and served correctly but must not be extracted.
        tampered = bytearray(cls.demo.read_bytes())
        tampered[100] ^= 0xFF
        (work / "tampered.zip").write_bytes(tampered)
        cls.refused = {}
        cls.refused_messages = {
            "tampered": "Package SHA-256 mismatch",
            "traversal": "Unsafe archive path",
            "backslash-traversal": "Unsafe archive path",
            "symlink": "Archive symlink refused",
            "second-root": "Archive must have one root directory",
            "missing-file": "Required package file missing",
        }
        cls._start_refused("tampered", work / "tampered.zip", signed=cls.demo)
        cls._start_refused("traversal", crafted_package(work / "t.zip", z.file(f"{PACKAGE_ROOT}/../evil.txt")))
        cls._start_refused("backslash-traversal",
                           crafted_package(work / "b.zip", z.file(f"{PACKAGE_ROOT}\\..\\..\\evil.txt")))
        cls._start_refused("symlink", crafted_package(work / "s.zip", z.file(f"{PACKAGE_ROOT}/evil.txt", b"/etc",
                                                                           attr=z.SYMLINK)))
        cls._start_refused("second-root", crafted_package(work / "r.zip", z.file("evil.txt")))
        z.write_zip(work / "m.zip", z.package_entries(PACKAGE_ROOT, skip=["config.json"]))
        cls._start_refused("missing-file", work / "m.zip")

        cls.ignoring, ignoring_script = cls._fault_server(
            "ignores-range", Answer(status=200, whole_file=True, content_range=None))
        cls.ignores_range = bed.start(ignoring_script, window_arguments(str(bed.root / "ignored-install")))
        cls.unavailable, unavailable_script = cls._fault_server("unavailable", Answer(status=503, content_range=None))
        cls.unavailable_run = bed.start(unavailable_script, window_arguments(str(bed.root / "unavailable-install")))

    @classmethod
    def tearDownClass(cls):
        for server in cls.servers:
            server.stop()
        cls.bed.close()

    def test_the_demo_release_installs_from_nginx(self):
        run = self.success
        self.assertEqual(run.wait(), 0, run.output)
        self.assertEqual(run.log_messages(), SUCCESS)
        with zipfile.ZipFile(self.demo) as archive:
            for name in ("app/main.py", "app/runtime.py", "config.json", "release.json", "VELMO_Tallowfin.exe"):
                self.assertEqual((self.install_dir / name).read_bytes(), archive.read(f"{PACKAGE_ROOT}/{name}"), name)
        choices = json.loads((self.install_dir / "install.json").read_text())
        self.assertEqual(choices["version"], RELEASE_VERSION)
        self.assertTrue(choices["desktopShortcut"] and choices["startMenuShortcut"] and choices["selectLanguage"])
        self.assertFalse(choices["startWithWindows"])
        self.assertIn("Install-VelmoTallowfin: done", run.output)
        self.assertEqual(run.attempt_folders(), [])

    def test_the_packaged_installer_is_given_the_ten_arguments(self):
        run = self.success
        run.wait()
        argv = run.powershell_argv()
        self.assertIsNotNone(argv, run.output)
        self.assertEqual(argv[:4], ["-NoProfile", "-ExecutionPolicy", "Bypass", "-File"])
        source_root = Path(argv[6])
        self.assertEqual(source_root.name, PACKAGE_ROOT)
        self.assertEqual(source_root.parent.name, "stage")
        self.assertEqual(argv[4], str(source_root / "installer/Install-VelmoTallowfin.ps1"))
        self.assertEqual(argv[5:], ["-SourceRoot", str(source_root), "-InstallDir", str(self.install_dir),
                                    "-Desktop", "1", "-StartMenu", "1", "-Startup", "0",
                                    "-SelectLanguage", "1", "-ExpectedVersion", RELEASE_VERSION])

    def test_nginx_served_the_manifest_and_one_range(self):
        self.success.wait()
        log = [(e["uri"], e["range"], e["user_agent"]) for e in self.nginx.requests()]
        size = self.demo.stat().st_size
        self.assertEqual(log, [(f"{MANIFEST_PATH}?channel=beta", "", USER_AGENT),
                               (f"{DOWNLOAD_PATH}?channel=beta", f"bytes=0-{size - 1}", USER_AGENT)])

    def test_an_extracted_version_that_differs_is_refused(self):
        run = self.differs
        self.assertEqual(run.wait(), 1, run.output)
        self.assertEqual(run.log_messages(), SUCCESS[:4] + ["FAILED Extracted version differs from signed release"])
        self.assertFalse(self.differs_dir.exists())
        self.assertEqual(run.attempt_folders(), [])

    def test_refused_packages_leave_nothing_behind(self):
        for name, (run, (work_before, install_before), local, install) in self.refused.items():
            with self.subTest(name):
                self.assertEqual(run.wait(), 1, run.output)
                message = self.refused_messages[name]
                self.assertEqual(run.log_messages()[1:], SUCCESS[:3] + ["FAILED " + message])
                self.assertIsNone(run.powershell_argv())
                work_after, install_after = snapshot(local), snapshot(install)
                self.assertEqual(install_after, install_before)
                log = "VTFI/install.log"
                self.assertEqual({k: v for k, v in work_after.items() if k != log},
                                 {k: v for k, v in work_before.items() if k != log})
                self.assertEqual(sorted(p.name for p in (local / "VTFI").iterdir()), ["install.lock", "install.log"])
                self.assertEqual(list(local.parent.rglob("evil.txt")), [])

    def test_a_server_ignoring_the_range_fails_after_three_attempts(self):
        run = self.ignores_range
        self.assertEqual(run.wait(), 1, run.output)
        self.assertEqual(run.log_messages(), SUCCESS[:3] + ["FAILED Package range differs from signed size"])
        ranges = [r.range for r in self.ignoring.requests if r.path == DOWNLOAD_PATH]
        self.assertEqual(len(ranges), 3)
        self.assertEqual(len(set(ranges)), 1)
        self.assertEqual(run.attempt_folders(), [])

    def test_an_unavailable_server_on_every_attempt_is_a_network_failure(self):
        run = self.unavailable_run
        self.assertEqual(run.wait(), 10, run.output)
        messages = run.log_messages()
        self.assertEqual(messages[:3], SUCCESS[:3])
        self.assertTrue(messages[3].startswith("FAILED ") and "503" in messages[3], messages)
        self.assertEqual(len([r for r in self.unavailable.requests if r.path == DOWNLOAD_PATH]), 3)
        self.assertEqual(run.attempt_folders(), [])


if __name__ == "__main__":
    unittest.main()
