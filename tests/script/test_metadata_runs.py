"""The release manifest request seen from outside: whole runs of the installer
script against answers that no correct release server gives, each with the exit
code, the "FAILED " line and the message box that it must end with, and what
the server received.

All runs start together in setUpClass (the slow body alone takes over 30
seconds) and each test checks its own.
"""
import base64
import socket
import time
import unittest

from support.fault_server import FaultServer
from support.script_runner import GENERIC_HINT, NETWORK_HINT, USER_AGENT, ScriptBed

MANIFEST_PATH = "/api/releases/latest?channel=beta"


def json_of_size(size):
    text = b'{"padding":"' + b"p" * (size - 14) + b'"}'
    assert len(text) == size
    return base64.b64encode(text).decode("ascii")


# name: (scenario, exit code, pattern the FAILED message must match)
CASES = {
    "404": ({"default": {"status": 404, "body": "gone"}}, 10, r"\(404\) Not Found"),
    "503": ({"default": {"status": 503, "body": "busy"}}, 10, r"\(503\) Service Unavailable"),
    "401 with a credentials challenge": (
        {"default": {"status": 401, "headers": {"WWW-Authenticate": 'Basic realm="releases"'}}},
        10, r"\(401\) Unauthorized"),
    "TLS 1.3 only": ({"tls": "1.3", "default": {"body": "{}"}}, 10, r"SSL connection could not be established"),
    "204": ({"default": {"status": 204}}, 1, r"^Invalid release response$"),
    "302": ({"default": {"status": 302, "headers": {"Location": MANIFEST_PATH + "&moved=1"}, "body": ""}},
            1, r"^Invalid release response$"),
    # The body never comes: reading it would stall, so the message shows that
    # the announced length alone refused the answer.
    "Content-Length 128001": ({"default": {"length": 128001, "send_bytes": 0, "after": "hang"}},
                              1, r"^Invalid release response$"),
    "128001 bytes without Content-Length": (
        {"default": {"body_size": 128001, "body_byte": " ", "length": "none"}},
        1, r"^Release response limit exceeded$"),
    "128001 bytes chunked": ({"default": {"body_size": 128001, "body_byte": " ", "chunked": True}},
                             1, r"^Release response limit exceeded$"),
    # Ten pieces 4 s apart: no read waits 15 s, the last arrives after 36 s,
    # late enough for the limit even when a loaded machine starts the
    # script's stopwatch a few seconds after the headers.
    "last piece after 30 s": ({"default": {"body": "{}" + " " * 98, "piece_size": 10, "piece_delay": 4.0}},
                              1, r"^Release response limit exceeded$"),
    "invalid UTF-8": ({"default": {"body_base64": base64.b64encode(b'{"version":"0.19.\xff"}').decode()}},
                      1, r"Unable to translate bytes \[FF\]"),
    "invalid JSON": ({"default": {"body": '{"version": "0.19.21"'}}, 1, r"JSON"),
    # Accepted by the request; the next step refuses the unsigned manifest.
    "exactly 128000 bytes": ({"default": {"body_base64": json_of_size(128000)}},
                             1, r"^Trusted release signature missing$"),
    "exactly 128000 bytes without Content-Length": (
        {"default": {"body_base64": json_of_size(128000), "length": "none"}},
        1, r"^Trusted release signature missing$"),
}


class ReleaseManifestRuns(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bed = ScriptBed()
        cls.servers = {}
        cls.runs = {}
        try:
            for name, (scenario, _, _) in CASES.items():
                server = FaultServer(scenario, cls.bed.pki.cert, cls.bed.pki.key, max_requests=4,
                                     max_seconds=300).start()
                cls.servers[name] = server
                cls.runs[name] = cls.bed.start(cls.bed.build_script(server.origin))
            untrusted = cls.bed.untrusted_pki()
            server = FaultServer({"default": {"body": "{}"}}, untrusted.cert, untrusted.key, max_requests=4,
                                 max_seconds=300).start()
            cls.servers["untrusted certificate"] = server
            cls.runs["untrusted certificate"] = cls.bed.start(cls.bed.build_script(server.origin))
            with socket.socket() as closed:
                closed.bind(("127.0.0.1", 0))
                port = closed.getsockname()[1]
            cls.runs["refused connection"] = cls.bed.start(cls.bed.build_script(f"https://127.0.0.1:{port}"))
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for server in cls.servers.values():
            server.stop()
        cls.bed.close()

    def check_outcome(self, name, exit_code, pattern):
        run = self.runs[name]
        self.assertEqual(run.wait(timeout=180), exit_code, run.output)
        messages = run.log_messages()
        self.assertEqual(len(messages), 2, messages)
        self.assertEqual(messages[0], "start")
        self.assertTrue(messages[1].startswith("FAILED "), messages)
        failure = messages[1][len("FAILED "):]
        self.assertRegex(failure, pattern)
        hint = NETWORK_HINT if exit_code == 10 else GENERIC_HINT
        self.assertEqual(run.boxes(), [("VELMO Tallowfin",
                                        f"{hint}\r\nInstall failed: {failure}\r\nLog: {run.log_path}")])
        self.assertEqual(run.attempt_folders(), [])

    def test_network_failures_end_with_10(self):
        for name in ("404", "503", "401 with a credentials challenge", "TLS 1.3 only"):
            with self.subTest(name):
                self.check_outcome(name, *CASES[name][1:])
        for name in ("untrusted certificate", "refused connection"):
            with self.subTest(name):
                self.check_outcome(name, 10, r"GetResponse")

    def test_refused_answers_end_with_1(self):
        for name in ("204", "302", "Content-Length 128001", "128001 bytes without Content-Length",
                     "128001 bytes chunked", "invalid UTF-8", "invalid JSON",
                     "exactly 128000 bytes", "exactly 128000 bytes without Content-Length"):
            with self.subTest(name):
                self.check_outcome(name, *CASES[name][1:])

    def test_body_still_arriving_after_30_seconds_is_refused(self):
        self.check_outcome("last piece after 30 s", *CASES["last piece after 30 s"][1:])
        [request] = self.servers["last piece after 30 s"].requests
        failed_at = self.runs["last piece after 30 s"].log_path.stat().st_mtime
        self.assertGreater(failed_at - request["time"], 30)

    def test_server_sees_one_plain_get_per_run(self):
        for name, server in self.servers.items():
            with self.subTest(name):
                self.runs[name].wait(timeout=180)
                if name == "TLS 1.3 only":
                    self.assertEqual(server.requests, [])
                    self.assertTrue(server.wait_for_requests(0, timeout=10, handshake_errors=1),
                                    "the client must have tried and failed")
                    continue
                if name == "untrusted certificate":
                    self.assertEqual(server.requests, [], "nothing is sent to an untrusted server")
                    continue
                # One request: no redirect followed, no retry with credentials.
                [request] = server.requests
                self.assertEqual((request["method"], request["target"], request["tls"]),
                                 ("GET", MANIFEST_PATH, "TLSv1.2"))
                headers = {k.lower(): v for k, v in request["headers"]}
                self.assertEqual(headers["user-agent"], USER_AGENT)
                self.assertEqual(headers["accept"], "application/json")
                self.assertLessEqual(set(headers), {"host", "user-agent", "accept", "connection"}, headers)


if __name__ == "__main__":
    unittest.main()
