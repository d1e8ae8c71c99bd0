"""The script's command line under Wine: every folder that the folder rule
accepts comes back whole from Windows' own splitter (CommandLineToArgvW), the
three options follow it, and PowerShell binds the same values to the
installer script's parameters."""
import tempfile
import unittest
from pathlib import Path

from support import session_harness as h

P = "C:\\"
LONG = P + "a" * 217  # 220 characters

# (typed, options Desktop/StartMenu/Startup, the folder passed on or None)
CASES = [
    ("C:\\A", "110", "C:\\A"),
    ("D:\\", "110", None),
    (LONG, "000", LONG),
    (LONG + "b", "110", None),
    (LONG + " ", "111", LONG),
    ("C:\\Apps\\", "110", "C:\\Apps"),
    ("C:\\Apps/", "010", "C:\\Apps"),
    ("C:\\Apps\\\\", "110", "C:\\Apps\\"),
    ("C:\\\\", "101", "C:\\"),
    (LONG[:-2] + "\\\\", "001", LONG[:-2] + "\\"),  # 220 typed, 219 passed, ends in \
    ("\\\\server\\share\\\\", "110", "\\\\server\\share\\"),
    ("C:\\Apps   ", "110", "C:\\Apps"),
    ("C:\\Apps\\\\   ", "100", "C:\\Apps\\"),
    ("      ", "110", None),
    ("C:\\Apps\t", "110", "C:\\Apps\t"),
    ("  C:\\My  Apps", "011", "  C:\\My  Apps"),
    ("C:\\Users\\me\\AppData\\Local\\Programs\\VELMO Tallowfin", "110",
     "C:\\Users\\me\\AppData\\Local\\Programs\\VELMO Tallowfin"),
    ("C:\\\uc124\uce58 \ud3f4\ub354\\", "110", "C:\\\uc124\uce58 \ud3f4\ub354"),
    ("C:\\Ap\"ps", "110", None),
    ("C:\\Ap\nps", "110", None),
    ("C:\\Apps\r", "110", None),
]


class CommandLineRoundTrip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        tmp = Path(cls.tmp.name)
        (tmp / "in.txt").write_text(
            "".join(f"{h.hex_units(typed)} {options}\n" for typed, options, _ in CASES),
            encoding="ascii")
        result = h.run_console(h.program("session_command_line_roundtrip"),
                               h.windows_path(tmp / "in.txt"), h.windows_path(tmp / "out.txt"))
        if result.returncode != 0:
            raise AssertionError(f"round-trip program failed with {result.returncode}: "
                                 f"{result.stderr.decode(errors='replace')}")
        cls.results = (tmp / "out.txt").read_text(encoding="ascii").splitlines()
        h.write_binding_probe(tmp / "binding_probe.ps1")
        cls.probe = tmp / "binding_probe.ps1"

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def accepted(self):
        """(typed, options, folder, [passed folder, command line, *argv]) of
        every accepted case, after checking that the others were rejected."""
        self.assertEqual(len(self.results), len(CASES))
        cases = []
        for (typed, options, folder), line in zip(CASES, self.results):
            fields = line.split(" ")
            if folder is None:
                self.assertEqual(fields, ["rejected"], repr(typed))
            else:
                self.assertEqual(fields[0], "accepted", repr(typed))
                cases.append((typed, options, folder, [h.from_hex_units(f) for f in fields[1:]]))
        return cases

    def test_folder_rule_under_wine(self):
        for typed, _, folder, (passed, *_rest) in self.accepted():
            self.assertEqual(passed, folder, repr(typed))

    def test_windows_splitter_gives_back_folder_and_options(self):
        for typed, options, folder, (_, command_line, *argv) in self.accepted():
            with self.subTest(typed=typed):
                self.check_split(options, folder, command_line, argv)

    def check_split(self, options, folder, command_line, argv):
        powershell, script = argv[0], argv[5]
        self.assertTrue(powershell.lower().endswith(
            "\\system32\\windowspowershell\\v1.0\\powershell.exe"), powershell)
        self.assertRegex(script, r"\\VTF1A2B\.tmp\.ps1$")
        self.assertEqual(argv, [
            powershell, "-NoProfile", "-ExecutionPolicy", "Bypass", "-File", script,
            "-InstallDir", folder, "-Desktop", options[0], "-StartMenu", options[1],
            "-Startup", options[2]])
        if folder.endswith("\\"):
            # The closing quote needs the folder's last backslash doubled.
            self.assertIn(f'-InstallDir "{folder}\\" -Desktop', command_line)
        else:
            # Everything else stands exactly as typed.
            self.assertEqual(command_line,
                             f'"{powershell}" -NoProfile -ExecutionPolicy Bypass -File '
                             f'"{script}" -InstallDir "{folder}" -Desktop {options[0]} '
                             f'-StartMenu {options[1]} -Startup {options[2]}')

    def test_powershell_binds_the_script_parameters(self):
        for typed, options, folder, (_, _, *argv) in self.accepted():
            with self.subTest(typed=typed):
                args = argv[1:]
                args[4] = str(self.probe)  # the argument after -File
                self.assertEqual(h.pwsh_binding(args), {
                    "InstallDir": folder, "Desktop": int(options[0]),
                    "StartMenu": int(options[1]), "Startup": int(options[2]), "Tail": []})


if __name__ == "__main__":
    unittest.main()
