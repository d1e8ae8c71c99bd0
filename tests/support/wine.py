"""Running the cross-built Windows programs under Wine for the tests.

Command line:
    python3 -m support.wine prepare             a fresh prefix for one test run
    python3 -m support.wine run PROGRAM.exe ...  run a console program in it,
                                                 exiting with its exit code

In a test, a GUI program runs inside a WineSession: its own Xvfb on a free
display (or an existing display), the shared prefix, and a cleanup that always
ends every Wine process of the prefix and the Xvfb it started:

    with WineSession(screen="1280x680", log_pixels=144, korean=True) as s:
        installer = s.start(s.installer_exe())
        main = s.wait_window(cls="VelmoTallowfinSetup")    # probe JSON of the window
        s.screenshot(s.artifact("main.png"))
        s.probe("--class", "VelmoTallowfinSetup", "--close")
        assert s.wait_exit(installer) == 0

The window probe (tests/wine/programs/window_probe.cpp, its command line is
described at its top) prints windows as JSON: class, id, style, text, rectangles
in screen pixels, enabled and check state, a message box's text, children.
"""
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

INSTALLER_CLASS = "VelmoTallowfinSetup"
INSTALLER_TITLE = "VELMO Tallowfin Installer"
MESSAGE_BOX_CLASS = "#32770"


def prefix() -> Path:
    return Path(os.environ.get("VTF_WINEPREFIX") or Path.cwd() / "wineprefix")


def win_build_dir() -> Path:
    return Path(os.environ["VTF_WIN_BUILD_DIR"])


def wine_env(extra=None) -> dict:
    env = dict(os.environ)
    env["WINEPREFIX"] = str(prefix())
    env["WINEDEBUG"] = "-all"
    # Keep Wine from offering to install Mono or Gecko into the prefix.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    if extra:
        env.update(extra)
    return env


def kill_wineserver(env=None) -> None:
    """Ends every process of the prefix and the wineserver itself."""
    env = env or wine_env()
    subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    subprocess.run(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)


KOREAN_FONT = "NanumGothic"  # from Debian's fonts-nanum
# The Korean faces of Windows. Wine's own font links (from Tahoma, Segoe UI,
# MS Shell Dlg and others) name them, so replacing them is enough for Korean
# text to be drawn in every interface face instead of as empty boxes.
KOREAN_FACES = ("Gulim", "GulimChe", "Dotum", "DotumChe", "Batang", "Malgun Gothic")


def _font_settings() -> str:
    lines = ["Windows Registry Editor Version 5.00", "",
             r"[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]"]
    lines += [f'"{face}"="{KOREAN_FONT}"' for face in KOREAN_FACES]
    return "\r\n".join(lines) + "\r\n"


def prepare() -> int:
    """A new prefix, so that no state of an earlier run leaks into this one."""
    p = prefix()
    if p.exists():
        kill_wineserver()
        shutil.rmtree(p)
    p.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["wineboot", "-i"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=300)
    settings = p / "vtf-fonts.reg"
    settings.write_bytes(b"\xff\xfe" + _font_settings().encode("utf-16-le"))
    subprocess.run(["wine", "reg", "import", str(settings)], env=wine_env(), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    subprocess.run(["wineserver", "-w"], env=wine_env(), timeout=300)
    return 0 if (p / "system.reg").exists() else 1


def run(argv, timeout=600) -> int:
    return subprocess.run(["wine", *argv], env=wine_env(), timeout=timeout).returncode


class Xvfb:
    """An X server on a display it chooses itself (-displayfd), so that
    several test runs on one machine never fight over a display number."""

    def __init__(self, screen="1280x1024", depth=24):
        self.screen = screen
        self.depth = depth
        self.process = None
        self.display = None

    def __enter__(self):
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{self.screen}x{self.depth}",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            os.close(write_end)
            write_end = None
            number = b""
            deadline = time.monotonic() + 20
            while not number.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                if remaining <= 0 or not select.select([read_end], [], [], remaining)[0]:
                    raise RuntimeError("Xvfb did not report a display in time")
                chunk = os.read(read_end, 16)
                if not chunk:
                    raise RuntimeError("Xvfb ended before reporting a display")
                number += chunk
            self.display = ":" + number.decode().strip()
        except BaseException:
            self.stop()
            raise
        finally:
            if write_end is not None:
                os.close(write_end)
            os.close(read_end)
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(10)

    def __exit__(self, *exc):
        self.stop()


class WineSession:
    """One or more Windows programs on one display, always cleaned up.

    screen:      Xvfb screen size (the work area Wine reports is the screen)
    korean:      run with a Korean locale (GetUserDefaultUILanguage 0x412)
    log_pixels:  the screen DPI Wine reports (HKCU\\Control Panel\\Desktop
                 LogPixels); set for the session and put back to 96 after it
    work_area:   (left, top, width, height) announced as the desktop's work
                 area (_NET_WORKAREA, as a taskbar would); default: the screen
    display:     an existing X display to use instead of a new Xvfb
    """

    def __init__(self, screen="1280x1024", korean=False, log_pixels=None, work_area=None,
                 display=None):
        self.screen = screen
        self.work_area = work_area
        self.korean = korean
        self.log_pixels = log_pixels
        self.external_display = display
        self.xvfb = None
        self.processes = []
        self.env = None

    # -- set-up and cleanup ------------------------------------------------
    def __enter__(self):
        language = "ko_KR.UTF-8" if self.korean else "en_US.UTF-8"
        # Nothing of an earlier session may still run in the prefix.
        kill_wineserver()
        try:
            if self.external_display:
                display = self.external_display
            else:
                self.xvfb = Xvfb(self.screen).__enter__()
                display = self.xvfb.display
                if self.work_area:
                    set_work_area(display, self.work_area)
            self.env = wine_env({"DISPLAY": display, "LANG": language, "LC_ALL": language})
            if self.log_pixels is not None:
                set_log_pixels(self.log_pixels)
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def __exit__(self, *exc):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
        kill_wineserver()
        for process in self.processes:
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                pass
        try:
            if self.log_pixels is not None and self.log_pixels != 96:
                set_log_pixels(96)
        finally:
            if self.xvfb:
                self.xvfb.stop()

    @property
    def display(self) -> str:
        return self.env["DISPLAY"]

    # -- programs ----------------------------------------------------------
    def installer_exe(self) -> Path:
        return win_build_dir() / "VELMO_Tallowfin_Installer.exe"

    def program(self, name: str) -> Path:
        """A test program of tests/wine/programs (NAME.cpp gives NAME.exe)."""
        return win_build_dir() / "tests" / "wine" / "programs" / f"{name}.exe"

    def start(self, exe, *args, env=None, **popen_args) -> subprocess.Popen:
        """Starts a Windows program in the background; the session ends it."""
        environment = dict(self.env)
        if env:
            environment.update(env)
        popen_args.setdefault("stdout", subprocess.DEVNULL)
        popen_args.setdefault("stderr", subprocess.DEVNULL)
        process = subprocess.Popen(["wine", str(exe), *map(str, args)], env=environment, **popen_args)
        self.processes.append(process)
        return process

    def run(self, exe, *args, timeout=120) -> subprocess.CompletedProcess:
        """Runs a (console) Windows program to its end and captures its output.

        The output goes through files, not pipes: Wine may start helper
        processes (the desktop's explorer.exe) that inherit the program's
        handles and outlive it, and a pipe would then never reach its end."""
        command = ["wine", str(exe), *map(str, args)]
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.Popen(command, env=self.env, stdout=out, stderr=err,
                                       stdin=subprocess.DEVNULL)
            try:
                code = process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                raise
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(command, code, out.read(), err.read())

    @staticmethod
    def wait_exit(process: subprocess.Popen, timeout=30) -> int:
        """The exit code, or raises subprocess.TimeoutExpired."""
        return process.wait(timeout)

    # -- looking at windows ------------------------------------------------
    def probe(self, *args, timeout=60):
        """Runs the window probe; returns (exit code, parsed JSON or None)."""
        result = self.run(self.program("window_probe"), *args, timeout=timeout)
        text = result.stdout.decode("utf-8", "replace").strip()
        try:
            data = json.loads(text) if text else None
        except json.JSONDecodeError:
            raise AssertionError(f"window probe printed no JSON: {text!r}") from None
        return result.returncode, data

    def windows(self, cls=None, title=None, visible=True):
        """Top-level windows that match now (a list of probe JSON objects)."""
        args = _filters(cls, title, visible)
        _, data = self.probe(*args)
        return data["windows"] if data else []

    def wait_window(self, cls=None, title=None, timeout=30.0, visible=True):
        """The first matching top-level window, waiting for it to appear."""
        args = _filters(cls, title, visible) + ["--wait", str(int(timeout * 1000))]
        code, data = self.probe(*args, timeout=timeout + 60)
        if code != 0 or not data or not data["windows"]:
            raise AssertionError(f"no window with class {cls!r} and title {title!r} "
                                 f"appeared within {timeout} s")
        return data["windows"][0]

    def wait_gone(self, cls=None, title=None, timeout=30.0) -> bool:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.windows(cls, title):
                return True
            time.sleep(0.3)
        return False

    def info(self) -> dict:
        """What Wine reports: UI language, LOGPIXELSX, work area, screen size."""
        _, data = self.probe("--info")
        return data

    # -- pictures ----------------------------------------------------------
    def screenshot(self, path, rect=None) -> Path:
        """The whole screen, or the rectangle [left, top, right, bottom], as PNG."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        command = ["import", "-display", self.display, "-window", "root"]
        if rect:
            left, top, right, bottom = rect
            command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
        subprocess.run(command + [str(path)], check=True, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    @staticmethod
    def artifact(name: str) -> Path:
        """A path for a file a person may want to look at after the test."""
        base = Path(os.environ.get("VTF_HOST_BUILD_DIR") or Path.cwd()) / "test-artifacts"
        base.mkdir(parents=True, exist_ok=True)
        return base / name


def _filters(cls, title, visible):
    args = []
    if cls:
        args += ["--class", cls]
    if title:
        args += ["--title", title]
    if visible:
        args.append("--visible")
    return args


def set_work_area(display: str, area) -> None:
    """Announces a work area on the X root window, read by Wine at start-up
    (the X server must not reset between clients: Xvfb runs with -noreset)."""
    values = ", ".join(str(int(v)) for v in area)
    subprocess.run(["xprop", "-display", display, "-root", "-f", "_NET_WORKAREA", "32c",
                    "-set", "_NET_WORKAREA", values], check=True, timeout=30)


def set_log_pixels(dpi: int) -> None:
    """Sets the DPI Wine reports for screens; takes effect for programs started
    after it (the wineserver is flushed and ended first)."""
    env = wine_env()
    kill_wineserver(env)
    subprocess.run(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels",
                    "/t", "REG_DWORD", "/d", str(dpi), "/f"], env=env, check=True, timeout=120,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env, timeout=120)


def read_rgb(path):
    """(width, height, pixels) of an image, pixels as RGB bytes row by row."""
    data = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], check=True,
                          capture_output=True, timeout=60).stdout
    fields = []
    position = 0
    while len(fields) < 4:  # P6, width, height, maximum
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position) + 1
            continue
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[position + 1:]


def pixel(image, x, y):
    """The (r, g, b) at x, y of a read_rgb result."""
    width, _, pixels = image
    offset = (y * width + x) * 3
    return tuple(pixels[offset:offset + 3])


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "prepare":
        sys.exit(prepare())
    if len(sys.argv) >= 3 and sys.argv[1] == "run":
        sys.exit(run(sys.argv[2:]))
    print(__doc__, file=sys.stderr)
    sys.exit(2)
