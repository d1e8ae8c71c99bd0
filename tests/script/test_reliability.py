"""Runs of the installer script that are cut short or collide: a run killed in
the middle of its download, and two runs started at once for the same user."""
import signal
import time
import unittest

from support import nginx, tls
from support.range_fault_server import Answer, RangeFaultServer
from support.script_runner import RELEASE_VERSION, ScriptBed, make_package, sign_release

SUCCESS = ["start", "signature verified", "download", "extract", "install", "success"]
DOWNLOAD_PATH = f"/api/releases/download/{RELEASE_VERSION}"


class InterruptedAndConcurrentRuns(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Class clean-ups run even when the set-up fails half way.
        cls.bed = ScriptBed()
        cls.addClassCleanup(cls.bed.close)
        root = cls.bed.root / "release"
        cls.package = make_package(cls.bed.root / "package.zip")
        cls.server = nginx.Nginx(root / "www", cls.bed.pki, prefix=root / "nginx").start()
        cls.addClassCleanup(cls.server.stop)
        manifest = sign_release(cls.bed.key_pem, cls.package, cls.server.origin, root / "latest.json")
        nginx.publish(root / "www", manifest, cls.package, RELEASE_VERSION)
        cls.script = cls.bed.build_script(cls.server.origin)

    def test_killed_during_download_leaves_the_lock_free_for_the_next_run(self):
        # A server whose package answer stalls half way, so that the kill
        # lands in the middle of the download.
        data = self.package.read_bytes()
        stall = Answer(stall_after=len(data) // 2, stall_seconds=25)

        def scenario(request):
            return stall if request.path == DOWNLOAD_PATH else Answer(status=200)

        with RangeFaultServer({DOWNLOAD_PATH: data}, tls.server_context(self.bed.pki), scenario) as stalling:
            origin = f"https://127.0.0.1:{stalling.port}"
            manifest = sign_release(self.bed.key_pem, self.package, origin, self.bed.root / "stalling.json")
            stalling.files["/api/releases/latest"] = manifest.read_bytes()
            run = self.bed.start(self.bed.build_script(origin))
            self.assertTrue(run.wait_for_log("download", timeout=60), run.log_messages())
            deadline = time.monotonic() + 20
            while not any(len(stalling.ranges(DOWNLOAD_PATH)) and p.joinpath("package.zip").exists()
                          for p in run.attempt_folders()):
                self.assertLess(time.monotonic(), deadline, "the download never started")
                time.sleep(0.05)
            time.sleep(1)
            run.process.send_signal(signal.SIGKILL)
            run.wait(30)

        # The next run in the same work folder takes the lock and installs
        # (the killed run's attempt folder may stay; the new run makes its own).
        again = self.bed.start(self.script, localappdata=run.localappdata)
        self.assertEqual(again.wait(180), 0, again.output)
        self.assertEqual(again.log_messages()[-len(SUCCESS):], SUCCESS)

    def test_two_runs_at_once_one_installs_and_the_other_touches_nothing(self):
        first = self.bed.start(self.script, hold_installer=True)
        self.assertTrue(first.wait_for_log("install", timeout=120), first.log_messages())
        attempt = first.attempt_folders()
        before = sorted(str(p) for p in attempt[0].rglob("*"))

        second = self.bed.start(self.script, localappdata=first.localappdata)
        self.assertEqual(second.wait(120), 1, second.output)
        self.assertEqual(sorted(str(p) for p in attempt[0].rglob("*")), before)
        self.assertTrue(first.running())

        first.release_packaged_installer()
        self.assertEqual(first.wait(120), 0, first.output)
        messages = first.log_messages()
        self.assertEqual([m for m in messages if not m.startswith("FAILED ")], SUCCESS)
        self.assertEqual(len([m for m in messages if m.startswith("FAILED ")]), 1)
        self.assertEqual(first.attempt_folders(), [])


if __name__ == "__main__":
    unittest.main()
