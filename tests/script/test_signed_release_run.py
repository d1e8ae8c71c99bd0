"""The installer script run whole against nginx: a manifest signed by
velmo-release for this server and key leads on to the download; a refused one
ends the run with exit code 1 and the check's message before any package
request reaches the server."""
import json
import unittest
from pathlib import Path

from support import nginx, script_runner

VERSION = script_runner.RELEASE_VERSION
DOWNLOAD_PATH = "/api/releases/download/"


class SignedReleaseRunTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Class clean-ups run even when the set-up fails half way.
        cls.bed = script_runner.ScriptBed()
        cls.addClassCleanup(cls.bed.close)
        root = cls.bed.root
        cls.release_root = root / "releases"
        cls.package = script_runner.make_package(root / "package.zip")
        cls.server = nginx.Nginx(cls.release_root, cls.bed.pki).start()
        cls.addClassCleanup(cls.server.stop)
        cls.origin = cls.server.origin
        cls.script = cls.bed.build_script(cls.origin)
        cls.manifests = root / "manifests"
        cls.manifests.mkdir()
        cls.good = script_runner.sign_release(cls.bed.key_pem, cls.package, cls.origin, cls.manifests / "good.json")

    def run_with(self, manifest: Path):
        """Publishes the manifest, runs the script whole and returns the run and
        the requests that reached the server during it."""
        nginx.publish(self.release_root, manifest, self.package, VERSION)
        seen = len(self.server.requests())
        run = self.bed.start(self.script)
        run.wait(timeout=180)
        return run, self.server.requests()[seen:]

    def edited(self, name, change) -> Path:
        manifest = json.loads(self.good.read_text(encoding="utf-8"))
        change(manifest)
        path = self.manifests / name
        path.write_text(json.dumps(manifest), encoding="utf-8")
        return path

    def test_a_signed_manifest_gets_through_verification_to_the_download(self):
        run, requests = self.run_with(self.good)
        messages = run.log_messages()
        self.assertEqual(messages[:4], ["start", "signature verified", "download", "extract"], run.output)
        self.assertEqual(run.exit_code, 0, messages)
        downloads = [r for r in requests if r["uri"].startswith(DOWNLOAD_PATH)]
        self.assertEqual([r["uri"] for r in downloads], [f"{DOWNLOAD_PATH}{VERSION}?channel=beta"])
        self.assertEqual(downloads[0]["status"], 206)

    def test_a_refused_manifest_ends_the_run_before_any_download(self):
        other_keys = self.bed.root / "other-keys"
        other_pem, _ = script_runner.make_release_key(other_keys)
        cases = [
            ("Release signature verification failed",
             script_runner.sign_release(other_pem, self.package, self.origin, self.manifests / "other-key.json")),
            ("Invalid signed release target",
             script_runner.sign_release(self.bed.key_pem, self.package, "https://mirror.test.example",
                                        self.manifests / "other-origin.json")),
            ("Wrong release product or channel", self.edited("ready.json", lambda m: m.update(status="Ready"))),
            ("Release downgrade refused",
             script_runner.sign_release(self.bed.key_pem, self.package, self.origin,
                                        self.manifests / "downgrade.json", version="0.19.20")),
            ("Release actual version differs from signed payload",
             self.edited("actual.json", lambda m: m.update(actualVersion="0.19.22"))),
        ]
        for message, manifest in cases:
            with self.subTest(message):
                run, requests = self.run_with(manifest)
                self.assertEqual(run.exit_code, 1, run.output)
                messages = run.log_messages()
                self.assertEqual(messages, ["start", "FAILED " + message])
                self.assertEqual([r["uri"] for r in requests], ["/api/releases/latest?channel=beta"])
                self.assertEqual(requests[0]["status"], 200)
                boxes = run.boxes()
                self.assertEqual(len(boxes), 1)
                self.assertIn("Install failed: " + message, boxes[0][1])
                self.assertEqual(run.attempt_folders(), [])


if __name__ == "__main__":
    unittest.main()
