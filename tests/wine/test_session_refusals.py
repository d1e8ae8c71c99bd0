"""What the real installer under Wine refuses or cannot do, and its other two
buttons: a rejected folder, no program at the PowerShell path, a temporary
folder whose path is too long, the folder picker and the web-site button."""
import re
import subprocess
import unittest

from support.session_harness import (
    IDC_BROWSE, IDC_FOLDER, IDC_INSTALL, IDC_WEBSITE, IDCANCEL, IDOK, OPTION_IDS, Installer,
    StandIn, log_file, staged_files, temp_dir, wait_until)
from support.wine import MESSAGE_BOX_CLASS, WineSession, win_build_dir

DEFAULT_FOLDER = re.compile(r"^C:\\users\\[^\\]+\\AppData\\Local\\Programs\\VELMO Tallowfin$")


def website_host() -> str:
    """The web-site host this build was configured with."""
    cache = (win_build_dir() / "CMakeCache.txt").read_text()
    return re.search(r"^VTF_WEBSITE_HOST:STRING=(.*)$", cache, re.M).group(1)


class SessionRefusalTest(unittest.TestCase):

    def setUp(self):
        for name in staged_files():
            (temp_dir() / name).unlink()
        if log_file().exists():
            log_file().unlink()

    def assert_idle(self, app, folder_text):
        controls = app.controls()
        self.assertEqual(controls[IDC_INSTALL]["text"], "Install and launch")
        self.assertTrue(controls[IDC_INSTALL]["enabled"])
        for control_id in OPTION_IDS:
            self.assertTrue(controls[control_id]["enabled"], control_id)
        self.assertEqual(controls[IDC_FOLDER]["text"], folder_text)
        self.assertEqual(app.read_status(), "ready")

    def expect_box(self, app, message, icon):
        box = app.message_box()
        self.assertEqual(box["message"], message)
        self.assertEqual(box["owner"], app.main()["hwnd"], "the box belongs to the window")
        self.assertEqual(app.has_icon(box), icon)
        app.dismiss_message_box()

    def test_a_rejected_folder_shows_the_warning_and_keeps_the_text(self):
        # The last two: 221 characters; and a text longer than the field's
        # 260-character buffer whose first 259 characters, trimmed, would pass.
        typed_texts = ["C:\\Apps\"x", "D:\\", "      ", "C:\\" + "a" * 218,
                       "C:\\" + "a" * 200 + " " * 60 + "b"]
        with StandIn() as standin, WineSession() as session:
            standin.play("exit 0")
            app = Installer(session, env=standin.env)
            for typed in typed_texts:
                with self.subTest(typed=typed):
                    app.act("--set-text", IDC_FOLDER, typed)
                    app.click(IDC_INSTALL)
                    self.expect_box(app, "Choose a valid installation folder.", icon=True)
                    self.assert_idle(app, typed)
                    self.assertFalse(standin.started(), "nothing was started")
                    self.assertEqual(staged_files(), [], "nothing was staged")

    def test_without_powershell_the_staged_script_is_deleted(self):
        with StandIn(present=False), WineSession() as session:
            app = Installer(session)
            folder = app.controls()[IDC_FOLDER]["text"]
            self.assertRegex(folder, DEFAULT_FOLDER)
            app.click(IDC_INSTALL)
            self.expect_box(app, "Could not start Windows PowerShell.", icon=True)
            self.assertEqual(staged_files(), [])
            self.assert_idle(app, folder)
            # Nothing changed: closing works at once.
            app.act("--close")
            self.assertEqual(session.wait_exit(app.process, timeout=30), 0)

    def test_a_temporary_folder_too_long_for_its_buffer_is_a_staging_failure(self):
        # Wine builds TEMP and TMP of its programs from the user's registry.
        long_temp = "C:\\" + "t" * 300
        with StandIn() as standin, WineSession() as session:
            standin.play("exit 0")
            originals = {name: self.query(session, r"HKCU\Environment", name)
                         for name in ("TEMP", "TMP")}
            try:
                for name in originals:
                    self.set_value(session, r"HKCU\Environment", name, long_temp)
                app = Installer(session, env=standin.env)
                app.click(IDC_INSTALL)
                self.expect_box(app, "Could not prepare the installation files.", icon=True)
                self.assertFalse(standin.started())
                self.assertEqual(staged_files(), [])
                self.assert_idle(app, app.controls()[IDC_FOLDER]["text"])
            finally:
                for name, value in originals.items():
                    self.set_value(session, r"HKCU\Environment", name, value)

    def test_the_folder_picker(self):
        with WineSession() as session:
            app = Installer(session)
            folder = app.controls()[IDC_FOLDER]["text"]

            app.click(IDC_BROWSE)
            picker = app.wait_window(MESSAGE_BOX_CLASS, "Browse for Folder")
            self.assertEqual(picker["owner"], app.main()["hwnd"])
            self.assertIn("Choose installation folder", [c["text"] for c in picker["children"]])
            app.probe("--class", MESSAGE_BOX_CLASS, "--title", "Browse for Folder",
                      "--click", IDCANCEL)
            wait_until(lambda: not app.windows(MESSAGE_BOX_CLASS, "Browse for Folder"), 15,
                       "the picker to close")
            self.assertEqual(app.controls()[IDC_FOLDER]["text"], folder, "cancel changes nothing")

            # OK on the preselected Desktop puts its file-system path in the field.
            app.click(IDC_BROWSE)
            app.wait_window(MESSAGE_BOX_CLASS, "Browse for Folder")
            app.probe("--class", MESSAGE_BOX_CLASS, "--title", "Browse for Folder",
                      "--click", IDOK)
            chosen = wait_until(lambda: (text := app.controls()[IDC_FOLDER]["text"]) != folder
                                and text, 15, "the chosen folder in the field")
            self.assertRegex(chosen, r"^[A-Za-z]:\\.*\\Desktop$")

    def test_the_website_button_opens_the_site_root(self):
        key = r"HKLM\Software\Classes\https\shell\open\command"
        with StandIn() as standin, WineSession() as session:
            standin.play("exit 0")
            original = self.query(session, key, None)
            # The stand-in, as the prefix's handler of https addresses.
            handler = 'C:\\windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe "%1"'
            self.set_value(session, key, None, handler)
            try:
                app = Installer(session, env=standin.env)
                app.click(IDC_WEBSITE)
                standin.wait_started()
                self.assertTrue(standin.command_line().endswith(f'"https://{website_host()}"'),
                                standin.command_line())
                self.assert_idle(app, app.controls()[IDC_FOLDER]["text"])
            finally:
                self.set_value(session, key, None, original)

    @staticmethod
    def query(session, key, name):
        """A REG_SZ value (name None: the default value) of the prefix's registry."""
        which = ["/ve"] if name is None else ["/v", name]
        out = subprocess.run(["wine", "reg", "query", key, *which], env=session.env,
                             capture_output=True, timeout=120).stdout.decode()
        return re.search(r"REG_SZ\s+(.*\S)", out).group(1)

    @staticmethod
    def set_value(session, key, name, value):
        which = ["/ve"] if name is None else ["/v", name]
        subprocess.run(["wine", "reg", "add", key, *which, "/t", "REG_SZ", "/d", value, "/f"],
                       env=session.env, check=True, timeout=120,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

if __name__ == "__main__":
    unittest.main()
