"""Helpers for the install session's Wine tests.

- Windows paths for files of the Linux side; console programs of the cross
  build run in the test prefix; PowerShell's own parameter binding with the
  real pwsh, through the installer script's own param() block.
- StandIn: the program tests/wine/programs/session_powershell_standin.cpp at
  the prefix's PowerShell path for one with block (the prefix's own
  powershell.exe is put back afterwards), with its records and scenario.
- Installer: the real installer in a WineSession, its controls through the
  window probe, its painted status line through OCR of the status band.
"""
import difflib
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from support import wine

SOURCE_DIR = Path(os.environ.get("VTF_SOURCE_DIR", Path(__file__).resolve().parents[2]))
WIN_BUILD_DIR = Path(os.environ.get("VTF_WIN_BUILD_DIR", ""))
PWSH = os.environ.get("VTF_PWSH", str(SOURCE_DIR / ".tools/pwsh/pwsh"))


def windows_path(path) -> str:
    """The path of a Linux file as Wine's drive Z: shows it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def program(name: str) -> Path:
    """A test program of the cross build (tests/wine/programs/NAME.cpp)."""
    return WIN_BUILD_DIR / "tests" / "wine" / "programs" / f"{name}.exe"


def run_console(exe, *args, timeout=120) -> subprocess.CompletedProcess:
    """Runs a console program of the cross build in the test prefix. Its output
    goes through files: helper processes that Wine starts may inherit a pipe
    and keep it open long after the program has ended."""
    command = ["wine", str(exe), *map(str, args)]
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        code = subprocess.run(command, env=wine.wine_env(), stdout=out, stderr=err,
                              stdin=subprocess.DEVNULL, timeout=timeout).returncode
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command, code, out.read(), err.read())


def hex_units(text: str) -> str:
    """Text as "x" and hex UTF-16 code units, the test programs' field form."""
    data = text.encode("utf-16-le")
    return "x" + "".join(f"{int.from_bytes(data[i:i + 2], 'little'):04x}"
                         for i in range(0, len(data), 2))


def from_hex_units(field: str) -> str:
    assert field.startswith("x"), field
    data = b"".join(int(field[i:i + 4], 16).to_bytes(2, "little")
                    for i in range(1, len(field), 4))
    return data.decode("utf-16-le", errors="surrogatepass")


def script_param_block() -> str:
    """The param() block of the installer script, as the script declares it."""
    text = (SOURCE_DIR / "script" / "installer.ps1").read_text(encoding="ascii")
    match = re.search(r"^param\($.*?^\)$", text, re.S | re.M)
    assert match, "installer.ps1 has no top-level param() block"
    return match.group(0)


def write_binding_probe(path: Path) -> None:
    """A script with the installer script's parameters that prints, as JSON,
    the values PowerShell bound to them."""
    path.write_text(
        script_param_block() + "\n"
        "$rest = @(); if ($null -ne $Tail) { $rest = @($Tail) }\n"
        "$bound = [ordered]@{ InstallDir = $InstallDir; Desktop = $Desktop;"
        " StartMenu = $StartMenu; Startup = $Startup; Tail = $rest }\n"
        "[Console]::Out.Write(($bound | ConvertTo-Json -Compress))\n",
        encoding="ascii")


def pwsh_binding(args) -> dict:
    """Runs pwsh with these arguments (the command line after the program
    name, -File naming a binding probe) and returns what the probe received."""
    result = subprocess.run([PWSH, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            timeout=120, env={**os.environ, "LANG": "C.UTF-8"})
    if result.returncode != 0:
        raise AssertionError(f"pwsh failed: {result.stderr.decode(errors='replace')}")
    return json.loads(result.stdout.decode("utf-8"))


IDC_INSTALL, IDC_BROWSE, IDC_FOLDER = 101, 102, 103
IDC_DESKTOP, IDC_STARTMENU, IDC_STARTUP, IDC_WEBSITE = 104, 105, 106, 107
OPTION_IDS = (IDC_FOLDER, IDC_BROWSE, IDC_DESKTOP, IDC_STARTMENU, IDC_STARTUP)
IDOK, IDCANCEL = 1, 2
SS_ICON, SS_TYPEMASK = 0x3, 0x1F

STATUS = {
    "ready": "Internet connection required. The latest app will be downloaded and installed.",
    "checking": "Checking the current release.",
    "downloading": "Downloading the latest app package.",
    "extracting": "Package verified. Extracting files.",
    "installing": "Installing the app. Check the language selection window.",
    "complete": "Installation complete. See you in the app.",
    "network": "Could not connect to the server. Check your Internet connection and try again.",
    "failed": "Installation was not completed. Check install.log and try again.",
}


def read_screen_text(session, rect) -> str:
    """The text in a rectangle of the screen, as OCR reads it: enlarged and
    turned into dark text on white first, which OCR reads best."""
    with tempfile.TemporaryDirectory() as tmp:
        shot = session.screenshot(Path(tmp) / "band.png", rect=rect)
        big = Path(tmp) / "big.png"
        subprocess.run(["convert", str(shot), "-resize", "300%", "-colorspace", "Gray",
                        "-negate", str(big)], check=True, timeout=60)
        text = subprocess.run(["tesseract", str(big), "-", "--psm", "7"], capture_output=True,
                              timeout=60).stdout.decode("utf-8", "replace")
    return " ".join(text.split())


def closest_status(text: str):
    """The key of the status text that OCR output is closest to, or None."""
    scores = {key: difflib.SequenceMatcher(None, text, value).ratio() for key, value in STATUS.items()}
    best = max(scores, key=scores.get)
    return best if scores[best] >= 0.8 else None


def wait_until(predicate, timeout, what, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def user_dir() -> Path:
    """The Wine user's profile folder in the prefix (drive_c/users/NAME)."""
    users = [p for p in (wine.prefix() / "drive_c" / "users").iterdir()
             if p.is_dir() and p.name.lower() != "public"]
    assert len(users) == 1, users
    return users[0]


def temp_dir() -> Path:
    """The Wine user's temporary folder (what GetTempPathW names)."""
    return user_dir() / "Temp"


def log_file() -> Path:
    """install.log in the work folder, where the script and the window meet."""
    return user_dir() / "AppData" / "Local" / "VTFI" / "install.log"


def staged_files():
    """Files of the temporary folder that staging makes (VTF*.tmp, VTF*.tmp.ps1)."""
    folder = temp_dir()
    return sorted(p.name for p in folder.glob("VTF*")) if folder.exists() else []


def linux_path(windows: str) -> Path:
    """A C: path of the prefix as a Linux path."""
    assert windows[:3].upper() == "C:\\", windows
    return wine.prefix() / "drive_c" / Path(*windows[3:].split("\\"))


class StandIn:
    """The stand-in program at the PowerShell path of the prefix (or nothing
    there, with present=False) for the length of a with block; the prefix's
    own powershell.exe is put back afterwards. The stand-in records into and
    reads its scenario from `folder`, named to it by `env`."""

    POWERSHELL = Path("drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe")

    def __init__(self, present=True):
        self.present = present

    def __enter__(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="vtf-standin-")
        self.folder = Path(self.tmp.name) / "records"
        self.folder.mkdir()
        self.target = wine.prefix() / self.POWERSHELL
        self.backup = Path(self.tmp.name) / "powershell.exe.orig"
        self.had_original = self.target.exists()
        if self.had_original:
            shutil.copy2(self.target, self.backup)
            self.target.unlink()
        if self.present:
            shutil.copy2(program("session_powershell_standin"), self.target)
        return self

    def __exit__(self, *exc):
        try:
            if self.target.exists():
                self.target.unlink()
            if self.had_original:
                shutil.copy2(self.backup, self.target)
        finally:
            self.tmp.cleanup()

    @property
    def env(self) -> dict:
        return {"VTF_STANDIN_DIR": windows_path(self.folder)}

    def play(self, *steps: str) -> None:
        """Forgets the records of an earlier start and sets the next scenario."""
        for item in self.folder.iterdir():
            item.unlink()
        (self.folder / "scenario.txt").write_text("".join(f"{s}\n" for s in steps), encoding="ascii")

    def go(self, name: str) -> None:
        (self.folder / name).touch()

    def started(self) -> bool:
        return (self.folder / "started").exists()

    def wait_started(self, timeout=30):
        wait_until(self.started, timeout, "the stand-in to start")

    def command_line(self) -> str:
        return (self.folder / "cmdline.txt").read_bytes().decode("utf-16-le")

    def script_path(self) -> str:
        return (self.folder / "script-path.txt").read_bytes().decode("utf-16-le")

    def script_bytes(self) -> bytes:
        return (self.folder / "script.bin").read_bytes()

    def startup(self) -> dict:
        text = (self.folder / "startup.txt").read_text(encoding="ascii")
        return {key: int(value) for key, value in (field.split("=") for field in text.split())}


class Installer:
    """The real installer in a WineSession, looked at through the window probe
    and, for the painted status line, through OCR of the status band."""

    def __init__(self, session, env=None):
        self.session = session
        self.process = session.start(session.installer_exe(), env=env)
        self.wait_window(wine.INSTALLER_CLASS, timeout=60)

    def probe(self, *args, timeout=60):
        """Runs the window probe: (exit code, its JSON or None)."""
        return self.session.probe(*map(str, args), timeout=timeout)

    def windows(self, cls, title=None):
        args = ["--class", cls, "--visible"] + (["--title", title] if title else [])
        _, data = self.probe(*args)
        return data["windows"] if data else []

    def wait_window(self, cls, title=None, timeout=30):
        args = ["--class", cls, "--visible", "--wait", int(timeout * 1000)]
        args += ["--title", title] if title else []
        code, data = self.probe(*args, timeout=timeout + 60)
        if code != 0 or not data or not data["windows"]:
            raise AssertionError(f"no window {cls!r} {title!r} within {timeout} s")
        return data["windows"][0]

    def main(self):
        found = self.windows(wine.INSTALLER_CLASS)
        return found[0] if found else None

    def controls(self) -> dict:
        """Child controls of the main window by id: text, enabled, check."""
        return {child["id"]: child for child in self.main()["children"]}

    def act(self, *actions):
        """Runs window-probe actions on the main window."""
        code, _ = self.probe("--class", wine.INSTALLER_CLASS, *actions)
        assert code == 0, f"window probe failed ({code}) on {actions}"

    def click(self, control_id):
        self.act("--click", control_id)

    # -- message boxes -------------------------------------------------------
    def message_box(self, timeout=30):
        return self.wait_window(wine.MESSAGE_BOX_CLASS, "VELMO Tallowfin", timeout)

    def dismiss_message_box(self):
        code, _ = self.probe("--class", wine.MESSAGE_BOX_CLASS, "--title", "VELMO Tallowfin",
                             "--click", IDOK)
        assert code == 0, "no message box to dismiss"
        wait_until(lambda: not self.windows(wine.MESSAGE_BOX_CLASS, "VELMO Tallowfin"), 15,
                   "the message box to close")

    @staticmethod
    def has_icon(box) -> bool:
        """Whether the box shows an icon. Wine keeps the icon control in every
        box; without an icon the message text starts where the icon would be."""
        icons = [c for c in box["children"]
                 if c["class"].lower() == "static" and c["style"] & SS_TYPEMASK == SS_ICON]
        texts = [c for c in box["children"] if c["id"] == 0xFFFF]
        return bool(icons and texts) and texts[0]["window_rect"][0] >= icons[0]["window_rect"][2]

    # -- the painted status line ---------------------------------------------
    def status_band(self):
        """The status band (40, 400)-(800, 448) of the client area, at scale 1."""
        left, top, _, _ = self.main()["client_rect"]
        return [left + 40, top + 400, left + 800, top + 448]

    def read_status(self):
        """The status line as OCR reads it, mapped to the closest known text
        (a key of STATUS), or None when nothing is close."""
        return closest_status(read_screen_text(self.session, self.status_band()))

    def wait_status(self, key, timeout=20):
        seen = []

        def matches():
            seen.append(self.read_status())
            return seen[-1] == key
        try:
            wait_until(matches, timeout, f"the status line {key!r}", interval=0.05)
        except AssertionError:
            raise AssertionError(f"status line never read {key!r}; saw {seen}") from None
        return seen

    def screenshot(self, name):
        """A picture of the main window, kept among the test artifacts."""
        return self.session.screenshot(self.session.artifact(name),
                                       rect=self.main()["window_rect"])
