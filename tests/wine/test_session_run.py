"""One installation attempt of the real installer under Wine, from the main
button to its result, with a stand-in program at the PowerShell path that
records how it was started and plays the log lines and exit code each test
chooses."""
import os
import time
import unittest
from pathlib import Path

from support.session_harness import (
    IDC_DESKTOP, IDC_FOLDER, IDC_INSTALL, IDC_STARTMENU, IDC_STARTUP, IDC_WEBSITE, OPTION_IDS,
    Installer, StandIn, linux_path, log_file, staged_files, temp_dir, wait_until)
from support.wine import WineSession

POWERSHELL = "C:\\windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe"
CHUNK = 8192


def embedded_script() -> bytes:
    """The installer script of this build, the bytes embedded in the program."""
    return (Path(os.environ["VTF_WIN_BUILD_DIR"]) / "installer-script.ps1").read_bytes()


def filler(size: int, ending: bytes = b"") -> bytes:
    """Log lines without any step marker, `size` bytes in all, ending in `ending`."""
    line = b"2026-01-31T14:05:09 waiting for the release server to answer\r\n"
    body = (line * (size // len(line) + 1))[:size - len(ending)]
    return body + ending


class SessionRunTest(unittest.TestCase):

    def setUp(self):
        for name in staged_files():
            (temp_dir() / name).unlink()
        if log_file().exists():
            log_file().unlink()

    def wait_main_button(self, app, text):
        return wait_until(lambda: app.controls()[IDC_INSTALL]["text"] == text and app.controls(),
                          30, f"the main button to read {text!r}")

    def assert_controls(self, controls, main_text, main_enabled, options_enabled):
        self.assertEqual(controls[IDC_INSTALL]["text"], main_text)
        self.assertEqual(controls[IDC_INSTALL]["enabled"], main_enabled)
        for control_id in OPTION_IDS:
            self.assertEqual(controls[control_id]["enabled"], options_enabled, control_id)
        self.assertTrue(controls[IDC_WEBSITE]["enabled"], "the web-site button works in every state")

    def test_a_successful_run_from_the_button_to_done(self):
        # Lines of earlier runs, markers included, lie in the log before the start.
        log_file().parent.mkdir(parents=True, exist_ok=True)
        log_file().write_bytes(b"2026-01-30T10:00:00 start\r\n2026-01-30T10:00:01 download\r\n"
                               b"2026-01-30T10:00:02 extract\r\n2026-01-30T10:00:03 install\r\n"
                               b"2026-01-30T10:00:04 success\r\n")
        with StandIn() as standin, WineSession() as session:
            standin.play("wait go-download", "log download", "wait go-extract", "log extract",
                         "wait go-install", "log install", "wait go-exit", "exit 0")
            app = Installer(session, env=standin.env)
            self.assert_controls(app.controls(), "Install and launch", True, True)
            # A folder typed with two trailing backslashes and trailing spaces,
            # and options other than the defaults.
            app.act("--set-text", IDC_FOLDER, "C:\\Program Files\\VELMO Apps\\\\   ",
                    "--check", IDC_DESKTOP, 0, "--check", IDC_STARTMENU, 1,
                    "--check", IDC_STARTUP, 1)
            self.assertEqual(app.controls()[IDC_FOLDER]["text"],
                             "C:\\Program Files\\VELMO Apps\\\\   ")
            app.click(IDC_INSTALL)
            standin.wait_started()

            # Staged in the temporary folder under a VTF*.tmp.ps1 name, byte for byte.
            script = standin.script_path()
            name = script.rsplit("\\", 1)[1]
            self.assertRegex(name, r"^VTF[0-9A-Fa-f]{1,4}\.tmp\.ps1$")
            self.assertEqual(linux_path(script).parent, temp_dir())
            self.assertEqual(staged_files(), [name], "only the staged script, no .tmp left")
            self.assertEqual(standin.script_bytes(), embedded_script())
            self.assertEqual(linux_path(script).read_bytes(), embedded_script())

            # The command line, with the folder's last backslash doubled
            # before the closing quote so that the options stay separate.
            self.assertEqual(standin.command_line(),
                             f'"{POWERSHELL}" -NoProfile -ExecutionPolicy Bypass -File "{script}" '
                             '-InstallDir "C:\\Program Files\\VELMO Apps\\\\" '
                             '-Desktop 0 -StartMenu 1 -Startup 1')
            # Started hidden: SW_HIDE through STARTF_USESHOWWINDOW, and no
            # console window (CREATE_NO_WINDOW).
            self.assertEqual(standin.startup(), {"flags": 1, "show": 0, "console_window": 0})

            controls = self.wait_main_button(app, "Installing\u2026")
            self.assert_controls(controls, "Installing\u2026", False, False)
            app.wait_status("checking")
            # Several ticks pass over the earlier runs' lines without a change.
            time.sleep(1.5)
            self.assertEqual(app.read_status(), "checking")
            app.screenshot("session-running.png")

            # Closing while the script runs: the busy notice, and the window stays.
            app.act("--close")
            box = app.message_box()
            self.assertEqual(box["message"],
                             "Installation is in progress. You can minimize this window.")
            self.assertFalse(app.has_icon(box), "the busy notice has no icon")
            app.dismiss_message_box()
            self.assertIsNotNone(app.main())
            self.assertIsNone(app.process.poll())
            self.assert_controls(app.controls(), "Installing\u2026", False, False)

            # The status line follows the script's steps.
            for gate, status in (("go-download", "downloading"), ("go-extract", "extracting"),
                                 ("go-install", "installing")):
                standin.go(gate)
                app.wait_status(status)

            standin.go("go-exit")
            controls = self.wait_main_button(app, "Done")
            self.assert_controls(controls, "Done", True, False)
            app.wait_status("complete")
            self.assertFalse(linux_path(script).exists(), "the staged script is deleted")
            self.assertEqual(staged_files(), [])
            app.screenshot("session-succeeded.png")

            # After success the main button closes the window.
            app.click(IDC_INSTALL)
            self.assertEqual(session.wait_exit(app.process, timeout=30), 0)

    def test_failed_runs_offer_another_attempt(self):
        with StandIn() as standin, WineSession() as session:
            standin.play("wait go-exit", "exit 10")
            app = Installer(session, env=standin.env)
            app.click(IDC_INSTALL)
            standin.wait_started()
            first_script = linux_path(standin.script_path())
            self.wait_main_button(app, "Installing\u2026")
            standin.go("go-exit")

            controls = self.wait_main_button(app, "Try again")
            self.assert_controls(controls, "Try again", True, True)
            app.wait_status("network")
            self.assertFalse(first_script.exists())
            self.assertEqual(staged_files(), [])
            app.screenshot("session-failed-network.png")

            # Try again: a whole new attempt. A failure whose text names a
            # step shows that step until the exit code decides.
            standin.play("log FAILED Package download timed out", "wait go-exit", "exit 1")
            app.click(IDC_INSTALL)
            standin.wait_started()
            self.assertEqual(standin.script_bytes(), embedded_script())
            self.assertEqual(len(staged_files()), 1)
            controls = self.wait_main_button(app, "Installing\u2026")
            self.assert_controls(controls, "Installing\u2026", False, False)
            app.wait_status("downloading")
            standin.go("go-exit")

            controls = self.wait_main_button(app, "Try again")
            self.assert_controls(controls, "Try again", True, True)
            app.wait_status("failed")
            self.assertEqual(staged_files(), [])
            app.screenshot("session-failed.png")

            # Failed closes at once.
            app.act("--close")
            self.assertEqual(session.wait_exit(app.process, timeout=30), 0)

    def test_a_backlog_is_read_8192_bytes_a_tick(self):
        # 2.5 chunks at once: "install" ends the first 8192 bytes, "download"
        # stands in the second chunk, the rest holds no marker. Read a chunk a
        # tick, the status ends on "download"; read in one piece (or with the
        # first chunk read again) it would end on "install".
        backlog = (filler(CHUNK, b" install\r\n") + filler(4000) + b"x download\r\n"
                   + filler(CHUNK - 4000 - 12) + filler(CHUNK // 2))
        self.assertEqual(len(backlog), CHUNK * 5 // 2)
        with StandIn() as standin, WineSession() as session:
            standin.play("append backlog.bin", "wait go-extract", "log extract",
                         "wait go-exit", "exit 3")
            (standin.folder / "backlog.bin").write_bytes(backlog)
            app = Installer(session, env=standin.env)
            app.click(IDC_INSTALL)
            standin.wait_started()
            seen = app.wait_status("downloading")
            time.sleep(1.5)  # more ticks: the third chunk and nothing else
            self.assertEqual(app.read_status(), "downloading", f"statuses seen: {seen}")
            self.assertEqual(log_file().stat().st_size, len(backlog))

            # Reading goes on after the backlog, from where it stopped.
            standin.go("go-extract")
            app.wait_status("extracting")
            standin.go("go-exit")
            self.wait_main_button(app, "Try again")
            app.wait_status("failed")


if __name__ == "__main__":
    unittest.main()
