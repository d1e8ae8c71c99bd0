#!/usr/bin/env python3
"""A full demo installation (run by `./dev demo`, which builds first).

It makes a release key and the demo release, signs the release with
velmo-release, serves it with nginx on loopback, builds an installer pinned to
that key and server, and runs the installer under Wine with a bridge that
hands the installer script to PowerShell on Linux.

With $DISPLAY set the window opens there and you click "Install and launch"
yourself; without one it runs on its own Xvfb, clicks the button, saves a
screenshot of every stage and prints their paths and what was installed.
Everything it started is stopped at the end.
"""
import argparse
import os
import shutil
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))

STAGES = ["ready", "checking", "downloading", "extracting", "installing", "complete"]


def say(text: str) -> None:
    print(f"demo: {text}", flush=True)


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, required=True, help="the build folder of ./dev build")
    args = parser.parse_args(argv)

    build = args.build.resolve()
    os.environ["VTF_SOURCE_DIR"] = str(Path(__file__).resolve().parents[2])
    os.environ["VTF_WIN_BUILD_DIR"] = str(build / "win")
    os.environ["VTF_HOST_BUILD_DIR"] = str(build / "host")
    os.environ.setdefault("VTF_PWSH", str(Path(os.environ["VTF_SOURCE_DIR"]) / ".tools" / "pwsh" / "pwsh"))
    # A prefix of the demo's own, so that it never disturbs a test run.
    os.environ["VTF_WINEPREFIX"] = str(build / "demo-wineprefix")

    from support import e2e, wine  # noqa: E402 (needs the environment above)

    say("making a fresh Wine prefix (this takes a little while)")
    if wine.prepare() != 0:
        print("demo: could not make the Wine prefix", file=sys.stderr)
        return 1

    display = os.environ.get("DISPLAY") or None
    shots = build / "demo"
    shutil.rmtree(shots, ignore_errors=True)
    shots.mkdir(parents=True)
    workdir = Path(tempfile.mkdtemp(prefix="vtf-demo-"))
    try:
        say("making a release key, the demo release, nginx on loopback and an installer pinned to both")
        # The demo package is a few KiB: sent at 1 KiB/s, its download lasts long
        # enough to be seen.
        with e2e.EndToEnd(workdir, display=display, build_name="demo-win", rate="1k") as run:
            say(f"release server: {run.server.origin} (nginx, test certificate authority)")
            installer = run.start_installer()
            time.sleep(1)
            install_dir = run.prefix_path(run.folder_text())
            if display:
                say(f'the installer is open on {display}: click "Install and launch", then "Done"')
                reached = run.wait_for_button("Done", timeout=900)
            else:
                reached = watch_unattended(run, shots)
            code = installer.wait(900) if display else close_and_wait(run, installer)
            say(f"the installer window ended with exit code {code}")
            say(f"install log: {run.log_path()}")
            for line in run.log_path().read_text("ascii").splitlines()[-8:]:
                print(f"    {line}")
            if reached:
                say(f"installed into {install_dir}:")
                for path in sorted(install_dir.rglob("*")):
                    if path.is_file():
                        print(f"    {path.relative_to(install_dir)}  ({path.stat().st_size} bytes)")
            return 0 if reached and code == 0 else 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)


def watch_unattended(run, shots: Path) -> bool:
    """Clicks the main button and keeps one screenshot of each stage the
    status line goes through, until the main button reads "Done"."""
    saved = {}

    def capture():
        key = run.status_key()
        if key and key not in saved:
            path = shots / f"{len(saved) + 1}-{key}.png"
            run.screenshot(path)
            saved[key] = path
            say(f"stage {key!r}: {path}")

    capture()
    say('clicking "Install and launch"')
    run.click_main_button()
    reached = run.wait_for_button("Done", timeout=600, on_tick=capture)
    time.sleep(0.5)
    capture()
    path = shots / f"{len(saved) + 1}-done.png"
    run.screenshot(path)
    say(f"final window: {path}")
    missed = [stage for stage in STAGES if stage not in saved]
    if missed:
        say(f"stages too quick to catch on screen: {', '.join(missed)}")
    return reached


def close_and_wait(run, installer) -> int:
    say('clicking "Done", which closes the installer')
    run.click_main_button()
    return installer.wait(60)


if __name__ == "__main__":
    sys.exit(main())
