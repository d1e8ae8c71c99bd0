"""Runs the installer script as the installer window does, for the tests.

A `ScriptBed` holds what one test run needs, made once in a temporary folder:

- a test certificate authority and a loopback server certificate (support.tls);
- a release key pair of its own (velmo-release keygen), pinned into every
  script that the bed builds for a server origin (`build_script`);
- a private PowerShell home: the real PowerShell's files, with the launcher and
  the engine copied (they decide $PSHOME) and everything else linked, plus a
  `powershell.exe` stand-in that records its arguments and runs the real
  PowerShell beside it. The shared PowerShell install is never written to;
- the System.Windows.Forms stand-in (standins/System.Windows.Forms.cs), loaded
  into the script's process through DOTNET_STARTUP_HOOKS.

`ScriptBed.start` then runs a built script whole, with the window's command line
(-NoProfile -ExecutionPolicy Bypass -File SCRIPT -InstallDir "<folder>"
-Desktop 1 -StartMenu 1 -Startup 0), LOCALAPPDATA pointing at a temporary
folder, and SSL_CERT_FILE naming the test CA.

For PowerShell tests: `python3 -m support.script_runner bed FOLDER` prepares a
bed in FOLDER and prints its paths and the environment of a run as one JSON line;
`python3 -m support.script_runner key FOLDER` makes a release key pair there.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path
from typing import List, Optional

from support import tls

STANDINS = Path(__file__).resolve().parent / "standins"
PACKAGE_ROOT = "VELMO_Tallowfin"
RELEASE_VERSION = "0.19.21"
USER_AGENT = "VTFI/" + RELEASE_VERSION
NETWORK_HINT = "An Internet connection is required. Check your connection and try again."
GENERIC_HINT = "The installation could not be completed. See the log for details."
LOG_LINE = re.compile(r"^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d) (.+)$")

# The packaged installer of the test packages: it reports what it received and
# ends with the code that the test chose. It can be held (VTF_TEST_PACKAGED_WAIT
# names a file to wait for) so that a test can act while an installation runs.
PACKAGED_INSTALLER = r"""param(
    [string]$SourceRoot, [string]$InstallDir, [int]$Desktop, [int]$StartMenu,
    [int]$Startup, [int]$SelectLanguage, [string]$ExpectedVersion
)
if ($env:VTF_TEST_PACKAGED_WAIT) {
    $giveUp = (Get-Date).AddMinutes(2)
    while (-not (Test-Path -LiteralPath $env:VTF_TEST_PACKAGED_WAIT) -and (Get-Date) -lt $giveUp) {
        Start-Sleep -Milliseconds 50
    }
}
$report = [ordered]@{
    bound = $PSBoundParameters
    unbound = @($args)
    releaseJsonPresent = Test-Path -LiteralPath (Join-Path $SourceRoot 'release.json')
}
if ($env:VTF_TEST_PACKAGED_REPORT) {
    $report | ConvertTo-Json -Depth 3 | Set-Content -LiteralPath $env:VTF_TEST_PACKAGED_REPORT
}
exit [int]$env:VTF_TEST_PACKAGED_EXIT
"""


def source_dir() -> Path:
    return Path(os.environ.get("VTF_SOURCE_DIR") or Path(__file__).resolve().parents[2])


def pwsh() -> str:
    return os.environ.get("VTF_PWSH") or str(source_dir() / ".tools" / "pwsh" / "pwsh")


def velmo_release() -> Path:
    build = os.environ.get("VTF_HOST_BUILD_DIR")
    if not build:
        raise RuntimeError("VTF_HOST_BUILD_DIR is not set (run the tests through CTest)")
    return Path(build) / "tools" / "velmo-release" / "velmo-release"


def _run(argv, **kw):
    done = subprocess.run([str(a) for a in argv], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=kw.pop("timeout", 180), **kw)
    if done.returncode != 0:
        raise RuntimeError(f"{argv[0]} failed ({done.returncode}): {done.stderr.decode(errors='replace')}")
    return done.stdout.decode(errors="replace")


def make_release_key(folder: Path):
    """A new release key pair: (private key .pem, public modulus .pub)."""
    folder.mkdir(parents=True, exist_ok=True)
    _run([velmo_release(), "keygen", "--out", folder / "release"])
    return folder / "release.pem", folder / "release.pub"


def sign_release(key_pem: Path, package: Path, origin: str, out: Path, version=RELEASE_VERSION) -> Path:
    """The release manifest with its signed record, as a release is published."""
    _run([velmo_release(), "sign", "--key", key_pem, "--package", package, "--version", version,
          "--origin", origin, "--out", out])
    return out


def build_script(origin: str, key_pub: Path, out: Path) -> Path:
    """The installer script for one server and key, exactly as the build writes it."""
    out.parent.mkdir(parents=True, exist_ok=True)
    _run([sys.executable, source_dir() / "tools" / "embed_script.py", "--origin", origin,
          "--release-key", key_pub, "--out-script", out])
    return out


def make_package(path: Path, version=RELEASE_VERSION, release_json_version=None) -> Path:
    """A release package: one root folder with the files an installation needs."""
    files = {
        "release.json": json.dumps({"version": release_json_version or version}),
        "integrity_manifest.json": "{}",
        "app/main.py": "print('VELMO Tallowfin')\n",
        "app/runtime.py": "\n",
        "config.json": "{}",
        "installer/Install-VelmoTallowfin.ps1": PACKAGED_INSTALLER,
        "VELMO_Tallowfin.exe": "MZ",
    }
    path.parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in files.items():
            archive.writestr(f"{PACKAGE_ROOT}/{name}", text)
    return path


def make_powershell_home(dest: Path) -> Path:
    """A private $PSHOME beside the real one, with the powershell.exe stand-in."""
    real = Path(_run([pwsh(), "-NoProfile", "-NonInteractive", "-Command", "$PSHOME"]).strip())
    dest.mkdir(parents=True)
    for item in real.iterdir():
        # The launcher and the engine are copied: .NET resolves their real
        # location, and $PSHOME is the engine's folder.
        if item.name in ("pwsh", "pwsh.dll", "System.Management.Automation.dll"):
            shutil.copy2(item, dest / item.name)
        else:
            (dest / item.name).symlink_to(item)
    shutil.copy2(STANDINS / "powershell.exe", dest / "powershell.exe")
    return dest


def build_forms_standin(dest: Path) -> Path:
    dest.mkdir(parents=True, exist_ok=True)
    out = dest / "System.Windows.Forms.dll"
    _run([pwsh(), "-NoProfile", "-NonInteractive", "-File", STANDINS / "Build-FormsStandIn.ps1",
          "-Source", STANDINS / "System.Windows.Forms.cs", "-OutputPath", out])
    return out


def window_arguments(folder: str, desktop=1, start_menu=1, startup=0) -> List[str]:
    """The script's parameters as the installer window passes them."""
    return ["-InstallDir", folder, "-Desktop", str(desktop), "-StartMenu", str(start_menu),
            "-Startup", str(startup)]


class ScriptRun:
    """One whole run of the installer script in its own process."""

    def __init__(self, process, folder: Path, localappdata: Optional[Path]):
        self.process = process
        self.folder = folder
        self.localappdata = localappdata
        self.exit_code = None

    @property
    def work_folder(self) -> Path:
        return self.localappdata / "VTFI"

    @property
    def log_path(self) -> Path:
        return self.work_folder / "install.log"

    def wait(self, timeout=120) -> int:
        try:
            out, err = self.process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            out, err = self.process.communicate()
            raise AssertionError(f"script still running after {timeout} s; output: {out!r} {err!r}")
        self.output = out.decode(errors="replace") + err.decode(errors="replace")
        self.exit_code = self.process.returncode
        return self.exit_code

    def running(self) -> bool:
        return self.process.poll() is None

    def log_lines(self) -> List[str]:
        """The log's lines; the platform's line end is accepted (LF on Linux, CR LF on Windows)."""
        if not self.log_path.exists():
            return []
        return self.log_path.read_bytes().decode("ascii").splitlines()

    def log_messages(self) -> List[str]:
        messages = []
        for line in self.log_lines():
            match = LOG_LINE.match(line)
            if not match:
                raise AssertionError(f"log line in an unexpected form: {line!r}")
            messages.append(match.group(2))
        return messages

    def boxes(self):
        """(caption, text) of every message box the run showed, in order."""
        found = []
        number = 1
        while (self.folder / "boxes" / f"box{number}.txt").exists():
            record = (self.folder / "boxes" / f"box{number}.txt").read_bytes().decode("utf-8")
            caption, _, text = record.partition("\0")
            found.append((caption, text))
            number += 1
        return found

    def wait_for_box(self, timeout=60.0) -> bool:
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if (self.folder / "boxes" / "box1.txt").exists():
                return True
            if not self.running():
                return (self.folder / "boxes" / "box1.txt").exists()
            time.sleep(0.05)
        return False

    def dismiss_box(self):
        (self.folder / "dismiss").write_text("", encoding="ascii")

    def release_packaged_installer(self):
        (self.folder / "packaged-go").write_text("", encoding="ascii")

    def wait_for_log(self, message, timeout=60.0) -> bool:
        """Waits until the log holds a line with this message (or the run ends)."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            lines = self.log_lines()
            if any(LOG_LINE.match(l) and LOG_LINE.match(l).group(2) == message for l in lines):
                return True
            if not self.running():
                return False
            time.sleep(0.05)
        return False

    def lock_held(self) -> bool:
        """True while some process holds install.lock (.NET locks it with flock on Linux)."""
        import fcntl
        with open(self.work_folder / "install.lock", "rb") as handle:
            try:
                fcntl.flock(handle, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                return True
            fcntl.flock(handle, fcntl.LOCK_UN)
            return False

    def powershell_argv(self) -> Optional[List[str]]:
        """The arguments the packaged installer's powershell.exe received, or None."""
        path = self.folder / "powershell.argv"
        if not path.exists():
            return None
        return path.read_bytes().decode("utf-8").split("\0")[:-1]

    def packaged_report(self):
        path = self.folder / "packaged.json"
        return json.loads(path.read_text("utf-8-sig")) if path.exists() else None

    def attempt_folders(self) -> List[Path]:
        if not self.work_folder.exists():
            return []
        return [p for p in self.work_folder.iterdir() if p.is_dir()]


class ScriptBed:
    def __init__(self, parent: Optional[Path] = None):
        self.root = Path(tempfile.mkdtemp(prefix="vtf-script-", dir=parent))
        self._runs = []
        self._untrusted = None
        try:
            self.pki = tls.make_pki(self.root / "pki")
            self.key_pem, self.key_pub = make_release_key(self.root / "keys")
            self.powershell_home = make_powershell_home(self.root / "pshome")
            self.forms = build_forms_standin(self.root / "standins")
        except BaseException:
            shutil.rmtree(self.root, ignore_errors=True)
            raise

    @property
    def powershell(self) -> Path:
        return self.powershell_home / "pwsh"

    def untrusted_pki(self) -> tls.Pki:
        """A server certificate from a CA that this bed's runs do not trust."""
        if self._untrusted is None:
            self._untrusted = tls.make_pki(self.root / "untrusted")
        return self._untrusted

    def build_script(self, origin: str) -> Path:
        name = re.sub(r"[^A-Za-z0-9]+", "-", origin).strip("-")
        return build_script(origin, self.key_pub, self.root / "scripts" / f"{name}.ps1")

    def run_env(self) -> dict:
        env = {k: v for k, v in os.environ.items() if k not in ("LOCALAPPDATA", "PSModulePath")}
        env.update(tls.trust_env(self.pki))
        env["DOTNET_STARTUP_HOOKS"] = str(self.forms)
        env["DOTNET_CLI_TELEMETRY_OPTOUT"] = "1"
        env["POWERSHELL_TELEMETRY_OPTOUT"] = "1"
        env["POWERSHELL_UPDATECHECK"] = "Off"
        return env

    def start(self, script: Path, arguments: Optional[List[str]] = None, *, localappdata=True,
              hold_box=False, hold_installer=False, packaged_exit=0, env=None) -> ScriptRun:
        """Starts a whole run. localappdata: True for a new folder, a path to share one,
        None to leave LOCALAPPDATA unset. hold_box: the message box stays open until
        ScriptRun.dismiss_box(); hold_installer: the packaged installer waits for
        ScriptRun.release_packaged_installer()."""
        folder = self.root / "runs" / f"run{len(self._runs) + 1}"
        (folder / "boxes").mkdir(parents=True)
        if localappdata is True:
            localappdata = folder / "LocalAppData"
            localappdata.mkdir()
        run_env = self.run_env()
        run_env["VTF_TEST_MESSAGEBOX_DIR"] = str(folder / "boxes")
        if hold_box:
            run_env["VTF_TEST_MESSAGEBOX_RELEASE"] = str(folder / "dismiss")
        run_env["VTF_TEST_POWERSHELL_ARGV"] = str(folder / "powershell.argv")
        run_env["VTF_TEST_PACKAGED_REPORT"] = str(folder / "packaged.json")
        run_env["VTF_TEST_PACKAGED_EXIT"] = str(packaged_exit)
        if hold_installer:
            run_env["VTF_TEST_PACKAGED_WAIT"] = str(folder / "packaged-go")
        if localappdata is not None:
            run_env["LOCALAPPDATA"] = str(localappdata)
        if env:
            run_env.update(env)
        if arguments is None:
            arguments = window_arguments(r"C:\Program Files\VELMO Tallowfin")
        argv = [str(self.powershell), "-NoProfile", "-ExecutionPolicy", "Bypass", "-File", str(script),
                *arguments]
        # A session of its own, so that close() can end the packaged installer with it.
        process = subprocess.Popen(argv, env=run_env, cwd=str(folder), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        run = ScriptRun(process, folder, Path(localappdata) if localappdata is not None else None)
        self._runs.append(run)
        return run

    def close(self):
        """Ends the runs that are still going (a failed test may leave one waiting) and
        removes everything the bed made."""
        for run in self._runs:
            if run.exit_code is None:
                if run.running():
                    os.killpg(run.process.pid, signal.SIGKILL)
                run.process.communicate()
        shutil.rmtree(self.root, ignore_errors=True)


def main(argv) -> int:
    if len(argv) == 3 and argv[1] == "key":
        pem, pub = make_release_key(Path(argv[2]))
        print(json.dumps({"pem": str(pem), "pub": str(pub)}))
        return 0
    if len(argv) == 3 and argv[1] == "bed":
        bed = ScriptBed(Path(argv[2]))
        print(json.dumps({"root": str(bed.root), "powershell": str(bed.powershell),
                          "powershellHome": str(bed.powershell_home), "caCert": str(bed.pki.ca_cert),
                          "cert": str(bed.pki.cert), "key": str(bed.pki.key),
                          "releaseKey": str(bed.key_pem), "releaseKeyPub": str(bed.key_pub),
                          "env": {k: v for k, v in bed.run_env().items() if k not in os.environ
                                  or os.environ[k] != v}}))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
