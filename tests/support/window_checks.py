"""Helpers of the installer window's Wine tests.

The window's design in design units (840 x 552 client area) and its scaling,
starting the installer in a WineSession, child rectangles relative to the
client area, and pixel probes on screenshots in client coordinates.
"""
import json
import subprocess
import time
import unittest
from pathlib import Path

from support import wine

TITLE = wine.INSTALLER_TITLE
WS_BORDER = 0x00800000

# COLORREF names of the palette, as RGB triples seen on screen.
BACKGROUND = (8, 15, 29)
PANEL = (17, 30, 50)
GRID = (27, 54, 74)
ACCENT = (106, 220, 242)
BORDER = (42, 64, 93)
TEXT = (238, 247, 255)
TEXT_MUTED = (157, 179, 202)
ACCENT_DISABLED = (62, 93, 111)

# The controls in creation (z- and Tab) order: class, id, style, x, y, width,
# height, English text, Korean text (None: the web-site host, the same in both).
CONTROLS = [
    ("Edit", 103, 0x50810080, 40, 296, 644, 34, "", ""),
    ("Button", 102, 0x5001000B, 698, 296, 102, 34, "Browse", "폴더 선택"),
    ("Button", 104, 0x50010003, 40, 351, 232, 30, "Desktop shortcut", "바탕화면 바로가기"),
    ("Button", 105, 0x50010003, 280, 351, 240, 30, "Start menu shortcut", "시작 메뉴에 추가"),
    ("Button", 106, 0x50010003, 536, 351, 264, 30, "Launch at Windows startup",
     "Windows 시작 시 실행"),
    ("msctls_progress32", 0, 0x50000008, 40, 454, 760, 6, "", ""),
    ("Button", 101, 0x5001000B, 554, 482, 246, 44, "Install and launch", "설치하고 시작하기"),
    ("Button", 107, 0x5001000B, 40, 482, 224, 44, None, None),
]


def scale_value(scale: float, v: float) -> int:
    return int(v * scale + 0.5)


def website_host() -> str:
    """The configure-time host of the product web site in the cross build."""
    cache = (wine.win_build_dir() / "CMakeCache.txt").read_text()
    for line in cache.splitlines():
        if line.startswith("VTF_WEBSITE_HOST:"):
            return line.split("=", 1)[1]
    raise AssertionError("VTF_WEBSITE_HOST is not in the cross build's cache")


def start_installer(session, env=None):
    """Starts the installer and returns (process, probe JSON of its window)."""
    process = session.start(session.installer_exe(), env=env)
    # Let the installer's Wine process settle before the probe starts one
    # more: two Wine programs starting at once on a fresh wineserver can stall.
    try:
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", TITLE],
                       env=session.env, timeout=60, capture_output=True)
    except subprocess.TimeoutExpired:
        pass  # wait_window reports the missing window
    return process, session.wait_window(cls=wine.INSTALLER_CLASS, title=TITLE)


class InstallerWindowTest(unittest.TestCase):
    """One installer window per test class, on its own display, closed and
    cleaned up after the class. Subclasses choose the DPI and the language
    and may prepare the prefix in `before_start`."""

    log_pixels = 96
    korean = False
    scale = 1.0

    @classmethod
    def setUpClass(cls):
        cls.session = wine.WineSession(screen="1280x800", korean=cls.korean,
                                       log_pixels=cls.log_pixels)
        cls.session.__enter__()
        cls.addClassCleanup(cls.session.__exit__, None, None, None)
        cls.before_start()
        cls.process, cls.window = start_installer(cls.session)

    @classmethod
    def before_start(cls):
        pass


def window_state(session):
    return session.wait_window(cls=wine.INSTALLER_CLASS, title=TITLE)


def client_rect_of(window, child):
    """A child's rectangle relative to the window's client area."""
    left, top = window["client_rect"][:2]
    l, t, r, b = child["window_rect"]
    return [l - left, t - top, r - left, b - top]


def ui_probe(session, *args):
    """Runs window_ui_probe; returns its JSON output."""
    result = session.run(session.program("window_ui_probe"), *args)
    if result.returncode != 0:
        raise AssertionError(f"window_ui_probe {args} exited with {result.returncode}")
    return json.loads(result.stdout.decode("ascii"))


def wine_local_app_data(session) -> str:
    """LOCALAPPDATA as Wine's programs see it."""
    result = session.run("cmd", "/c", "echo %LOCALAPPDATA%")
    return result.stdout.decode("utf-8", "replace").strip()


def unix_path(session, windows_path: str) -> Path:
    result = session.run("winepath", "-u", windows_path)
    return Path(result.stdout.decode("utf-8", "replace").strip())


class Shot:
    """A screenshot read back as pixels, addressed in the window's client
    coordinates."""

    def __init__(self, session, window, name):
        self.path = session.screenshot(session.artifact(name))
        self.image = wine.read_rgb(self.path)
        self.origin = window["client_rect"][:2]

    @classmethod
    def when(cls, session, window, name, condition, timeout=10.0):
        """A screenshot taken once condition(shot) holds (repainting is
        asynchronous), or the last one taken when it never does."""
        deadline = time.monotonic() + timeout
        while True:
            shot = cls(session, window, name)
            if condition(shot) or time.monotonic() > deadline:
                return shot
            time.sleep(0.3)

    def at(self, x, y):
        return wine.pixel(self.image, self.origin[0] + x, self.origin[1] + y)

    def near(self, x, y, rgb, radius=1) -> bool:
        """Whether the colour is found within `radius` pixels of (x, y)."""
        return any(self.at(x + dx, y + dy) == rgb
                   for dy in range(-radius, radius + 1) for dx in range(-radius, radius + 1))

    def count(self, rect, rgb) -> int:
        left, top, right, bottom = rect
        return sum(1 for y in range(top, bottom) for x in range(left, right)
                   if self.at(x, y) == rgb)

    def columns_with(self, rect, predicate):
        """The x positions in rect that hold at least one pixel for which
        predicate(rgb) is true."""
        left, top, right, bottom = rect
        return [x for x in range(left, right)
                if any(predicate(self.at(x, y)) for y in range(top, bottom))]


def wait_until(condition, timeout=10.0, interval=0.2):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)
