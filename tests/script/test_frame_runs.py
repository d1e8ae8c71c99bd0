"""The installer script run whole, as the window runs it, against nginx serving a
signed release: its log, lock, attempt folder, message box, exit codes and the
hand-over to the packaged installer.

Independent runs start together in setUpClass and are checked one by one, so
that the class costs about as long as its slowest run.
"""
import time
import unittest
from pathlib import Path

from support import nginx
from support.script_runner import (GENERIC_HINT, LOG_LINE, NETWORK_HINT, PACKAGE_ROOT, RELEASE_VERSION,
                                   USER_AGENT, ScriptBed, make_package, sign_release, window_arguments)
from support.fault_server import FaultServer

SUCCESS_MESSAGES = ["start", "signature verified", "download", "extract", "install", "success"]
FOLDER = r"C:\Program Files\VELMO Tallowfin"


def publish(bed: ScriptBed, name: str, **package):
    """An nginx instance serving one signed release, and the script built for it."""
    root = bed.root / name
    server = nginx.Nginx(root / "www", bed.pki, prefix=root / "nginx").start()
    archive = make_package(root / "package.zip", **package)
    manifest = sign_release(bed.key_pem, archive, server.origin, root / "latest.json")
    nginx.publish(root / "www", manifest, archive, RELEASE_VERSION)
    return server, bed.build_script(server.origin)


class ScriptFrameRuns(unittest.TestCase):
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
    def _start_runs(cls):
        bed = cls.bed
        cls.release, cls.script = publish(bed, "good")
        cls.servers.append(cls.release)
        differs, differs_script = publish(bed, "differs", release_json_version="0.19.20")
        cls.servers.append(differs)
        cls.unavailable = FaultServer({"default": {"status": 503, "body": "down"}}, bed.pki.cert, bed.pki.key,
                                      max_seconds=600).start()
        cls.unavailable_script = bed.build_script(cls.unavailable.origin)

        cls.success = bed.start(cls.script, window_arguments(FOLDER, 1, 1, 0))
        cls.tails = {
            "split at spaces": (bed.start(cls.script, ["-InstallDir", r"C:\My", r"Apps\VELMO", "Tallowfin",
                                                       "-Desktop", "0", "-StartMenu", "1", "-Startup", "1"]),
                                r"C:\My Apps\VELMO Tallowfin"),
            "trailing space": (bed.start(cls.script, window_arguments("C:\\Apps\\VELMO ")), r"C:\Apps\VELMO"),
            "leading spaces": (bed.start(cls.script, window_arguments("  C:\\Apps\\VELMO")), r"C:\Apps\VELMO"),
        }
        cls.packaged_ten = bed.start(cls.script, packaged_exit=10)
        cls.version_differs = bed.start(differs_script)
        cls.no_localappdata = bed.start(cls.script, localappdata=None)

    @classmethod
    def tearDownClass(cls):
        for server in cls.servers:
            server.stop()
        if getattr(cls, "unavailable", None):
            cls.unavailable.stop()
        cls.bed.close()

    def assertLogFormat(self, run):
        for line in run.log_lines():
            self.assertRegex(line, LOG_LINE)

    def assertNoAttemptFolder(self, run):
        self.assertEqual(run.attempt_folders(), [])
        self.assertEqual(sorted(p.name for p in run.work_folder.iterdir()), ["install.lock", "install.log"])

    def assertFailureBox(self, run, hint, message):
        self.assertEqual(run.boxes(), [("VELMO Tallowfin",
                                        f"{hint}\r\nInstall failed: {message}\r\nLog: {run.log_path}")])

    def test_success_logs_each_step_and_hands_over_the_ten_arguments(self):
        run = self.success
        self.assertEqual(run.wait(), 0, run.output)
        self.assertEqual(run.log_messages(), SUCCESS_MESSAGES)
        self.assertLogFormat(run)
        self.assertEqual(run.boxes(), [])
        self.assertNoAttemptFolder(run)

        argv = run.powershell_argv()
        self.assertEqual(len(argv), 19, argv)
        source_root = Path(argv[6])
        self.assertRegex(source_root.relative_to(run.work_folder).as_posix(),
                         rf"^[0-9a-f]{{32}}/stage/{PACKAGE_ROOT}$")
        self.assertEqual(argv, ["-NoProfile", "-ExecutionPolicy", "Bypass",
                                "-File", f"{source_root}/installer/Install-VelmoTallowfin.ps1",
                                "-SourceRoot", str(source_root), "-InstallDir", FOLDER,
                                "-Desktop", "1", "-StartMenu", "1", "-Startup", "0",
                                "-SelectLanguage", "1", "-ExpectedVersion", RELEASE_VERSION])
        report = run.packaged_report()
        self.assertEqual(report["bound"], {"SourceRoot": str(source_root), "InstallDir": FOLDER, "Desktop": 1,
                                           "StartMenu": 1, "Startup": 0, "SelectLanguage": 1,
                                           "ExpectedVersion": RELEASE_VERSION})
        self.assertEqual(report["unbound"], [])
        self.assertTrue(report["releaseJsonPresent"], "the source root must stay until the installer ends")

    def test_release_server_sees_plain_tls12_get_requests(self):
        self.success.wait()
        seen = self.release.requests()
        self.assertGreaterEqual(len(seen), 2)
        for request in seen:
            self.assertEqual((request["method"], request["user_agent"], request["tls"], request["cookie"],
                              request["authorization"]), ("GET", USER_AGENT, "TLSv1.2", "", ""), request)
            if request["uri"] == "/api/releases/latest?channel=beta":
                self.assertEqual((request["accept"], request["range"], request["status"]),
                                 ("application/json", "", 200), request)
            else:
                self.assertEqual(request["uri"], f"/api/releases/download/{RELEASE_VERSION}?channel=beta")
                self.assertEqual(request["status"], 206, request)

    def test_tail_words_rejoin_the_install_folder(self):
        for case, (run, expected) in self.tails.items():
            with self.subTest(case):
                self.assertEqual(run.wait(), 0, run.output)
                self.assertEqual(run.packaged_report()["bound"]["InstallDir"], expected)
                self.assertEqual(run.powershell_argv()[8], expected)
        split = self.tails["split at spaces"][0].packaged_report()["bound"]
        self.assertEqual((split["Desktop"], split["StartMenu"], split["Startup"]), (0, 1, 1))

    def test_packaged_installer_exit_10_ends_the_script_with_1(self):
        run = self.packaged_ten
        self.assertEqual(run.wait(), 1, run.output)
        self.assertEqual(run.log_messages(), SUCCESS_MESSAGES[:-1] + ["FAILED Install script exit 10"])
        self.assertFailureBox(run, GENERIC_HINT, "Install script exit 10")
        self.assertNoAttemptFolder(run)

    def test_extracted_version_must_match_the_signed_one(self):
        run = self.version_differs
        self.assertEqual(run.wait(), 1, run.output)
        self.assertEqual(run.log_messages(), ["start", "signature verified", "download", "extract",
                                              "FAILED Extracted version differs from signed release"])
        self.assertIsNone(run.powershell_argv(), "the packaged installer must not start")
        self.assertFailureBox(run, GENERIC_HINT, "Extracted version differs from signed release")
        self.assertNoAttemptFolder(run)

    def test_without_localappdata_nothing_is_logged_or_shown(self):
        run = self.no_localappdata
        self.assertEqual(run.wait(), 1, run.output)
        self.assertEqual(run.boxes(), [])
        self.assertEqual(list(run.folder.rglob("install.*")), [])

    def test_log_keeps_earlier_runs_and_gains_one_line_per_message(self):
        shared = self.bed.root / "history"
        shared.mkdir()
        first = self.bed.start(self.script, localappdata=shared)
        self.assertEqual(first.wait(), 0, first.output)
        before = first.log_path.read_bytes()
        second = self.bed.start(self.unavailable_script, localappdata=shared)
        self.assertEqual(second.wait(), 10, second.output)
        after = second.log_path.read_bytes()
        self.assertTrue(after.startswith(before), "earlier lines are never rewritten")
        self.assertEqual(second.log_messages()[:6], SUCCESS_MESSAGES)
        self.assertEqual(second.log_messages()[6], "start")
        self.assertRegex(second.log_messages()[7], r"^FAILED .*\(503\) Service Unavailable")
        self.assertEqual(len(second.log_messages()), 8)
        self.assertLogFormat(second)

    def test_second_run_fails_on_the_lock_and_leaves_the_first_untouched(self):
        shared = self.bed.root / "contention"
        shared.mkdir()
        first = self.bed.start(self.script, localappdata=shared, hold_installer=True)
        try:
            self.assertTrue(first.wait_for_log("install"), first.log_lines())
            [attempt] = first.attempt_folders()
            second = self.bed.start(self.script, localappdata=shared)
            self.assertEqual(second.wait(), 1, second.output)
            self.assertTrue(first.running())
            self.assertEqual(first.attempt_folders(), [attempt], "the first run's folder stays")
            self.assertTrue((attempt / "stage" / PACKAGE_ROOT / "release.json").exists())
        finally:
            first.release_packaged_installer()
        self.assertEqual(first.wait(), 0, first.output)

        messages = first.log_messages()
        lock_failure = messages[5]
        self.assertEqual(messages[:5] + messages[6:], SUCCESS_MESSAGES)
        self.assertRegex(lock_failure, r"^FAILED .*install\.lock.*being used by another process")
        self.assertFailureBox(second, GENERIC_HINT, lock_failure[len("FAILED "):])
        self.assertTrue(first.packaged_report()["releaseJsonPresent"])
        self.assertNoAttemptFolder(first)

    def test_script_waits_for_its_message_box_holding_the_lock(self):
        run = self.bed.start(self.unavailable_script, hold_box=True)
        try:
            self.assertTrue(run.wait_for_box(), "no message box")
            time.sleep(1.5)
            self.assertTrue(run.running(), "the script ended before the box was closed")
            self.assertTrue(run.lock_held())
            [attempt] = run.attempt_folders()
        finally:
            run.dismiss_box()
        self.assertEqual(run.wait(), 10, run.output)
        self.assertFalse(attempt.exists())
        self.assertFalse(run.lock_held())
        failed = run.log_messages()[-1]
        self.assertRegex(failed, r"^FAILED .*\(503\) Service Unavailable")
        self.assertFailureBox(run, NETWORK_HINT, failed[len("FAILED "):])


if __name__ == "__main__":
    unittest.main()
