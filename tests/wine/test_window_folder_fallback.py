"""The window's folders when the shell cannot tell the local application-data
folder: it falls back to the LOCALAPPDATA variable that the installer script
reads, and without a usable variable it still opens with a folder the user can
correct and creates nothing.

The shell's answer is made to fail by moving the profile's AppData\\Local
away (Wine then reports "path not found"); Wine takes LOCALAPPDATA from
HKCU\\Volatile Environment. Both are put back after the test."""
import shutil
import unittest

from support import wine
from support.window_checks import TITLE, start_installer, unix_path, wait_until

VOLATILE = r"HKCU\Volatile Environment"


class LocalAppDataFallback(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.session = wine.WineSession(screen="1280x800", log_pixels=96)
        cls.session.__enter__()
        cls.addClassCleanup(cls.session.__exit__, None, None, None)
        s = cls.session
        cls.drive_c = unix_path(s, "C:\\")
        profile_local = s.run("cmd", "/c", "echo %LOCALAPPDATA%").stdout.decode().strip()
        cls.addClassCleanup(s.run, "reg", "add", VOLATILE, "/v", "LOCALAPPDATA", "/d",
                            profile_local, "/f")
        local = unix_path(s, profile_local)
        moved = local.with_name(local.name + ".window-test-moved")
        local.rename(moved)
        cls.addClassCleanup(cls.put_back, local, moved)
        cls.alternative = cls.drive_c / "window-test" / "Local"
        cls.alternative.mkdir(parents=True, exist_ok=True)
        cls.addClassCleanup(shutil.rmtree, cls.drive_c / "window-test", True)

    @staticmethod
    def put_back(local, moved):
        shutil.rmtree(local, ignore_errors=True)
        moved.rename(local)

    def open_window(self, local_app_data):
        """Starts the installer with this LOCALAPPDATA and returns the text of
        its folder field; the window is closed again."""
        s = self.session
        s.run("reg", "add", VOLATILE, "/v", "LOCALAPPDATA", "/d", local_app_data, "/f")
        process, window = start_installer(s)
        s.probe("--class", wine.INSTALLER_CLASS, "--title", TITLE, "--close")
        self.assertEqual(s.wait_exit(process, 30), 0)
        self.assertEqual(window["text"], TITLE)
        return window["children"][0]["text"]

    def test_variable_used_when_the_shell_fails(self):
        folder = self.open_window(r"C:\window-test\Local")
        self.assertEqual(folder, r"C:\window-test\Local\Programs\VELMO Tallowfin")
        self.assertTrue((self.alternative / "VTFI").is_dir())

    def test_relative_variable_gives_a_folder_to_correct(self):
        before = set(self.drive_c.rglob("VTFI"))
        folder = self.open_window(r"AppData\Local")
        self.assertEqual(folder, r"\Programs\VELMO Tallowfin")
        # No new work folder, neither at the drive root nor anywhere else on C:.
        self.assertFalse((self.drive_c / "VTFI").exists())
        self.assertEqual(set(self.drive_c.rglob("VTFI")), before)


if __name__ == "__main__":
    unittest.main()
