"""The whole product, end to end: the real installer under Wine, the real
installer script under PowerShell on Linux, nginx on loopback serving a release
signed by velmo-release.

    with EndToEnd(workdir) as e2e:
        installer = e2e.start_installer()
        e2e.click_main_button()
        e2e.wait_for_button("Done")
        e2e.status()                    # the status line, read off the screen

What joins the pieces:
- an installer built for this run's nginx origin and release key (a cross
  build of its own under the host build tree, only relinked after the first);
- the bridge (tests/wine/programs/e2e_bridge.cpp) at the PowerShell path of the
  Wine prefix, which runs the staged script with the real PowerShell of a
  ScriptBed (its private $PSHOME has the powershell.exe stand-in that the
  script starts the packaged installer with) and reports its exit code back;
- the demo release package (tools/make_demo_package.py), signed and published
  with the project's nginx server block.
"""
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

from support import nginx, script_runner, session_harness, wine

IDC_INSTALL = 101
POWERSHELL_PATH = Path("drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe")
VERSION = script_runner.RELEASE_VERSION


def source_dir() -> Path:
    return script_runner.source_dir()


def host_build_dir() -> Path:
    return Path(os.environ["VTF_HOST_BUILD_DIR"])


def build_installer(origin: str, key_pub: Path, build_dir: Path) -> Path:
    """The installer and the bridge, cross-built for this origin and key."""
    subprocess.run(["cmake", "-S", str(source_dir()), "-B", str(build_dir), "-G", "Unix Makefiles",
                    "-DCMAKE_BUILD_TYPE=Release",
                    f"-DCMAKE_TOOLCHAIN_FILE={source_dir() / 'cmake' / 'mingw-w64-x86_64.cmake'}",
                    f"-DVTF_RELEASE_ORIGIN={origin}", f"-DVTF_RELEASE_KEY={key_pub}"],
                   check=True, stdout=subprocess.DEVNULL, timeout=600)
    subprocess.run(["cmake", "--build", str(build_dir), "-j2", "--target",
                    "VELMO_Tallowfin_Installer", "e2e_bridge"],
                   check=True, stdout=subprocess.DEVNULL, timeout=1200)
    return build_dir / "VELMO_Tallowfin_Installer.exe"


def make_demo_package(out: Path, version: str = VERSION) -> Path:
    subprocess.run([sys.executable, str(source_dir() / "tools" / "make_demo_package.py"), version,
                    "--out", str(out)], check=True, stdout=subprocess.DEVNULL, timeout=120)
    return out


class RestartableNginx(nginx.Nginx):
    """nginx that can be stopped and started again on the same port, as a
    release server that goes away and comes back. With `rate` (an nginx size
    such as "1k") every answer is sent at most that fast per second, so that a
    person can watch a small demo download."""

    def __init__(self, *args, rate=None, **kwargs):
        super().__init__(*args, **kwargs)
        self.rate = rate

    def _write_config(self, port):
        super()._write_config(port)
        if self.rate:
            conf = self.prefix / "nginx.conf"
            text = conf.read_text(encoding="ascii")
            conf.write_text(text.replace("http {\n", f"http {{\n    limit_rate {self.rate};\n", 1),
                            encoding="ascii")

    def pause(self):
        self._stop_process()

    def resume(self):
        self._write_config(self.port)
        self.process = subprocess.Popen(
            ["nginx", "-p", str(self.prefix), "-c", str(self.prefix / "nginx.conf"), "-e", str(self.error_log)],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
            start_new_session=True)
        if not self._wait_listening(self.port, 10.0):
            raise RuntimeError("nginx did not start again: " + self._stop_process())


class EndToEnd:
    def __init__(self, workdir: Path, display=None, tamper_package=False, build_name="e2e-win",
                 rate=None):
        self.workdir = Path(workdir)
        self.rate = rate
        self.display = display
        self.tamper_package = tamper_package
        self.build_dir = host_build_dir() / build_name
        self.bed = None
        self.server = None
        self.session = None
        self._saved_powershell = None

    # -- set-up ----------------------------------------------------------------
    def __enter__(self):
        try:
            self._set_up()
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def _set_up(self):
        self.workdir.mkdir(parents=True, exist_ok=True)
        self.bed = script_runner.ScriptBed(self.workdir)
        release_root = self.bed.root / "releases"
        self.server = RestartableNginx(release_root, self.bed.pki, rate=self.rate).start()
        package = make_demo_package(self.bed.root / "package.zip")
        manifest = script_runner.sign_release(self.bed.key_pem, package, self.server.origin,
                                              self.bed.root / "latest.json")
        if self.tamper_package:
            data = bytearray(package.read_bytes())
            data[len(data) // 2] ^= 0x01
            package.write_bytes(bytes(data))
        nginx.publish(release_root, manifest, package, VERSION)
        self.installer = build_installer(self.server.origin, self.bed.key_pub, self.build_dir)
        self.bridge = self.build_dir / "tests" / "wine" / "programs" / "e2e_bridge.exe"
        self.bridge_dir = self.bed.root / "bridge"
        self.bridge_dir.mkdir()

        self.session = wine.WineSession(screen="1280x800", display=self.display).__enter__()
        target = wine.prefix() / POWERSHELL_PATH
        self._saved_powershell = target.read_bytes()
        shutil.copyfile(self.bridge, target)

    def __exit__(self, *exc):
        try:
            if self.session:
                self.session.__exit__(*exc)
            if self.bed:
                # Ending Wine does not end the Linux processes the bridge
                # started; they all run from this bed's folder.
                subprocess.run(["pkill", "-KILL", "-f", str(self.bed.root)], timeout=30)
        finally:
            if self._saved_powershell is not None:
                (wine.prefix() / POWERSHELL_PATH).write_bytes(self._saved_powershell)
            if self.server:
                self.server.stop()
            if self.bed:
                self.bed.close()

    # -- the Windows side --------------------------------------------------------
    def installer_env(self) -> dict:
        env = {k: v for k, v in self.bed.run_env().items() if os.environ.get(k) != v}
        env.update({"VTF_BRIDGE_PWSH": str(self.bed.powershell),
                    "VTF_BRIDGE_DIR": str(self.bridge_dir),
                    "VTF_TEST_MESSAGEBOX_DIR": str(self.bridge_dir)})
        return env

    def start_installer(self):
        process = self.session.start(self.installer, env=self.installer_env())
        self.window = self.session.wait_window(cls=wine.INSTALLER_CLASS, timeout=60)
        return process

    def prefix_path(self, windows_path: str) -> Path:
        """The Linux path of a C: path in the prefix."""
        assert windows_path[1:3] == ":\\", windows_path
        drive = wine.prefix() / "dosdevices" / (windows_path[0].lower() + ":")
        return drive.resolve() / windows_path[3:].replace("\\", "/")

    def log_path(self) -> Path:
        return session_harness.log_file()

    def child(self, control_id: int):
        window = self.session.windows(cls=wine.INSTALLER_CLASS)
        if not window:
            return None
        for child in window[0]["children"]:
            if child["id"] == control_id:
                return child
        return None

    def main_button(self):
        return self.child(IDC_INSTALL)

    def folder_text(self) -> str:
        return self.child(103)["text"]

    def click_main_button(self):
        """A real click of the mouse in the middle of the main button."""
        left, top, right, bottom = self.main_button()["window_rect"]
        x, y = (left + right) // 2, (top + bottom) // 2
        subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", "1"],
                       env=self.session.env, check=True, timeout=30)

    def status_band(self):
        """The status band in screen pixels (design units 40,400 to 800,448)."""
        left, top, _, _ = self.window["client_rect"]
        scale = (self.window["client_rect"][2] - left) / 840.0
        def s(v):
            return int(v * scale + 0.5)
        return [left + s(40), top + s(400), left + s(800), top + s(448)]

    def status(self) -> str:
        """The status line as a person reads it off the screen (OCR)."""
        return session_harness.read_screen_text(self.session, self.status_band())

    def status_key(self):
        return session_harness.closest_status(self.status())

    def wait_status(self, key: str, timeout=20.0):
        """Reads the status line until it shows `key` (it is repainted a
        moment after the main button changes); returns the last key read."""
        deadline = time.monotonic() + timeout
        seen = self.status_key()
        while seen != key and time.monotonic() < deadline:
            time.sleep(0.5)
            seen = self.status_key()
        return seen

    def wait_for_button(self, text: str, timeout=300.0, on_tick=None) -> bool:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            button = self.main_button()
            if button and button["text"] == text:
                return True
            if on_tick:
                on_tick()
            time.sleep(0.5)
        return False

    def screenshot(self, path: Path) -> Path:
        left, top, right, bottom = self.window["window_rect"]
        return self.session.screenshot(path, rect=[left, top, right, bottom])
