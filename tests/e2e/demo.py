#!/usr/bin/env python3
"""Shows the built installer's window under Wine (run by `./dev demo`, which
builds first).

With $DISPLAY set the window opens there and the demo waits until it is
closed; without one it runs on its own Xvfb, closes the window itself. Either
way it saves a screenshot of the window and prints the file's path.
"""
import argparse
import os
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

from support import wine  # noqa: E402


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, required=True, help="the build folder of ./dev build")
    parser.add_argument("--korean", action="store_true", help="run in a Korean locale")
    args = parser.parse_args(argv)

    build = args.build.resolve()
    os.environ["VTF_WIN_BUILD_DIR"] = str(build / "win")
    os.environ["VTF_HOST_BUILD_DIR"] = str(build / "host")
    # A prefix of the demo's own, so that it never disturbs a test run.
    os.environ["VTF_WINEPREFIX"] = str(build / "demo-wineprefix")
    if not (wine.prefix() / "system.reg").exists():
        print("Making a Wine prefix for the demo (once; this takes a little while)...", flush=True)
        if wine.prepare() != 0:
            print("demo: could not make the Wine prefix", file=sys.stderr)
            return 1

    display = os.environ.get("DISPLAY") or None
    screenshot = build / "demo" / ("installer-window-ko.png" if args.korean else "installer-window.png")
    with wine.WineSession(display=display, korean=args.korean) as session:
        installer = session.start(session.installer_exe())
        window = session.wait_window(cls=wine.INSTALLER_CLASS, timeout=60)
        time.sleep(2)  # let it finish painting
        session.screenshot(screenshot, rect=window["client_rect"])
        print(f"Screenshot of the installer window: {screenshot}", flush=True)
        if display:
            print(f"The installer runs on {display}; close its window to end the demo.", flush=True)
            code = installer.wait()
        else:
            session.probe("--class", wine.INSTALLER_CLASS, "--close")
            code = session.wait_exit(installer, timeout=60)
    print(f"The installer ended with exit code {code}.")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
