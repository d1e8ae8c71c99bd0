"""The real installer, clicked by a real mouse under Wine, runs the real
installer script against nginx serving a signed demo release."""
import shutil
import tempfile
import unittest
from pathlib import Path

from support import e2e, session_harness, wine

APP_FILES = ["VELMO_Tallowfin.exe", "app/main.py", "app/runtime.py", "config.json", "install.json"]


class InstallFromReleaseServer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.workdir = Path(tempfile.mkdtemp(prefix="vtf-e2e-"))
        cls.e2e = e2e.EndToEnd(cls.workdir).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.e2e.__exit__(None, None, None)
        shutil.rmtree(cls.workdir, ignore_errors=True)

    def setUp(self):
        self.seen = []
        # Other tests of the prefix may have left staged files of their own
        # (a window ended while its script ran); only this run's count here.
        self.staged_before = set(session_harness.staged_files())
        self.staged_while_running = set()

    def note_status(self):
        self.staged_while_running.update(set(session_harness.staged_files()) - self.staged_before)
        key = self.e2e.status_key()
        if key and (not self.seen or self.seen[-1] != key):
            self.seen.append(key)

    def run_to(self, button_text, timeout=300):
        self.e2e.click_main_button()
        reached = self.e2e.wait_for_button(button_text, timeout=timeout, on_tick=self.note_status)
        self.note_status()
        self.assertTrue(reached, f"the main button never read {button_text!r}; statuses seen: {self.seen}")

    def test_1_network_down_then_retry_succeeds_and_closes_cleanly(self):
        process = self.e2e.start_installer()
        folder = self.e2e.folder_text()
        self.assertTrue(folder.endswith(r"\Programs\VELMO Tallowfin"), folder)
        install_dir = self.e2e.prefix_path(folder)
        log_before = self.e2e.log_path().read_bytes() if self.e2e.log_path().exists() else b""

        # The release server is away: the window says so and offers another try.
        self.e2e.server.pause()
        try:
            self.run_to("Try again", timeout=180)
        finally:
            self.e2e.server.resume()
        self.assertEqual(self.e2e.wait_status("network"), "network", self.seen)
        self.assertFalse(install_dir.exists())

        # With the server back, the same window installs.
        self.seen = []
        self.run_to("Done")
        self.assertEqual(self.e2e.wait_status("complete"), "complete", self.seen)
        self.e2e.screenshot(wine.WineSession.artifact("e2e-done.png"))
        for name in APP_FILES:
            self.assertTrue((install_dir / name).is_file(), name)

        log = self.e2e.log_path().read_bytes()
        self.assertTrue(log.startswith(log_before))
        messages = [line.split(" ", 1)[1] for line in log[len(log_before):].decode("ascii").splitlines()]
        self.assertTrue(messages[0].startswith("start"), messages)
        self.assertTrue(messages[1].startswith("FAILED "), messages)
        self.assertEqual(messages[2:], ["start", "signature verified", "download", "extract", "install",
                                        "success"])

        # "Done" closes the window; the script staged for the run is gone.
        self.assertTrue(self.staged_while_running, "no staged script was seen while installing")
        self.e2e.click_main_button()
        self.assertEqual(process.wait(60), 0)
        self.assertEqual(set(session_harness.staged_files()) - self.staged_before, set())


class TamperedPackageIsRefused(unittest.TestCase):
    def test_one_changed_byte_installs_nothing(self):
        workdir = Path(tempfile.mkdtemp(prefix="vtf-e2e-tamper-"))
        try:
            with e2e.EndToEnd(workdir, tamper_package=True) as run:
                process = run.start_installer()
                install_dir = run.prefix_path(run.folder_text())
                if install_dir.exists():
                    shutil.rmtree(install_dir)
                run.click_main_button()
                self.assertTrue(run.wait_for_button("Try again", timeout=300))
                self.assertEqual(run.wait_status("failed"), "failed", run.status())
                self.assertFalse(install_dir.exists())
                lines = run.log_path().read_text("ascii").splitlines()
                self.assertTrue(lines[-1].endswith("FAILED Package SHA-256 mismatch"), lines[-1])
                run.session.probe("--class", wine.INSTALLER_CLASS, "--close")
                self.assertEqual(process.wait(60), 0)
        finally:
            shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
