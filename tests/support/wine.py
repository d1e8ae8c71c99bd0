"""Running the cross-built Windows programs under Wine for the tests.

`python3 -m support.wine prepare` makes a fresh prefix for one test run;
`python3 -m support.wine run PROGRAM.exe [ARGS]` runs a console program in it
and exits with the program's exit code.
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path


def prefix() -> Path:
    return Path(os.environ.get("VTF_WINEPREFIX") or Path.cwd() / "wineprefix")


def wine_env(extra=None) -> dict:
    env = dict(os.environ)
    env["WINEPREFIX"] = str(prefix())
    env["WINEDEBUG"] = "-all"
    # Keep Wine from offering to install Mono or Gecko into the prefix.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    if extra:
        env.update(extra)
    return env


def prepare() -> int:
    """A new prefix, so that no state of an earlier run leaks into this one."""
    p = prefix()
    if p.exists():
        subprocess.run(["wineserver", "-k"], env=wine_env(), stderr=subprocess.DEVNULL)
        shutil.rmtree(p)
    p.parent.mkdir(parents=True, exist_ok=True)
    subprocess.run(["wineboot", "-i"], env=wine_env(), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=300)
    subprocess.run(["wineserver", "-w"], env=wine_env(), timeout=300)
    return 0 if (p / "system.reg").exists() else 1


def run(argv) -> int:
    return subprocess.run(["wine", *argv], env=wine_env(), timeout=600).returncode


if __name__ == "__main__":
    if len(sys.argv) >= 2 and sys.argv[1] == "prepare":
        sys.exit(prepare())
    if len(sys.argv) >= 3 and sys.argv[1] == "run":
        sys.exit(run(sys.argv[2:]))
    print(__doc__, file=sys.stderr)
    sys.exit(2)
