"""The tests' fault-injecting HTTPS server does what its scenarios say: answers
chosen per request number and per Range header, exact bodies and lengths,
broken connections, TLS 1.3 only, and its bounds."""
import json
import shutil
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from support import tls
from support.fault_server import FaultServer


def raw_get(server, pki, target="/x", headers="", tls_version=ssl.TLSVersion.TLSv1_2, timeout=10):
    """Sends one request and returns everything the server sent until it closed."""
    context = ssl.create_default_context(cafile=str(pki.ca_cert))
    context.minimum_version = context.maximum_version = tls_version
    with socket.create_connection(("127.0.0.1", server.port), timeout=timeout) as raw:
        with context.wrap_socket(raw, server_hostname="127.0.0.1") as conn:
            conn.sendall(f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1\r\n{headers}\r\n".encode("latin-1"))
            data = b""
            while True:
                try:
                    chunk = conn.recv(65536)
                except (ConnectionResetError, ssl.SSLError):
                    return data + b"<reset>"
                if not chunk:
                    return data
                data += chunk


def split(answer):
    head, _, body = answer.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = dict(line.split(": ", 1) for line in lines[1:])
    return lines[0], headers, body


class FaultServerScenarios(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix="vtf-fault-"))
        cls.pki = tls.make_pki(cls.folder / "pki")
        cls.package = cls.folder / "package.bin"
        cls.package.write_bytes(bytes(range(256)) * 40)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def serve(self, scenario, **kw):
        server = FaultServer(scenario, self.pki.cert, self.pki.key, max_seconds=60, **kw).start()
        self.addCleanup(server.stop)
        return server

    def test_rules_by_request_number_range_and_occurrence(self):
        server = self.serve({
            "rules": [
                {"when": {"request": 1}, "status": 503, "body": "first"},
                {"when": {"range": "bytes=0-9", "occurrence": 1}, "action": "close"},
                {"when": {"range": "bytes=0-9"}, "file": str(self.package), "serve_range": True},
            ],
            "default": {"status": 404, "body": "none"}})
        self.assertEqual(split(raw_get(server, self.pki))[0], "HTTP/1.1 503 Service Unavailable")
        self.assertEqual(raw_get(server, self.pki, headers="Range: bytes=0-9\r\n"), b"", "no answer")
        status, headers, body = split(raw_get(server, self.pki, headers="Range: bytes=0-9\r\n"))
        self.assertEqual((status, headers["Content-Range"], headers["Content-Length"], body),
                         ("HTTP/1.1 206 Partial Content", "bytes 0-9/10240", "10", bytes(range(10))))
        self.assertEqual(split(raw_get(server, self.pki))[0], "HTTP/1.1 404 Not Found")
        self.assertEqual([r["rule"] for r in server.requests], [0, 1, 2, None])

    def test_bodies_lengths_and_cuts(self):
        cases = [
            ({"body_size": 5, "body_byte": "z", "length": "none"}, None, b"zzzzz"),
            ({"body": "abc", "length": 7, "send_bytes": 3}, "7", b"abc"),
            ({"body": "abcdef", "chunked": True}, None, b"6\r\nabcdef\r\n0\r\n\r\n"),
            ({"body": "ab", "pieces": [{"size": 1}, {"size": 1, "delay": 0.3}]}, "2", b"ab"),
        ]
        for rule, length, expected in cases:
            with self.subTest(rule=rule):
                server = self.serve({"default": rule})
                _, headers, body = split(raw_get(server, self.pki))
                self.assertEqual(headers.get("Content-Length"), length)
                self.assertEqual(body, expected)

    def test_tls13_only_refuses_a_tls12_client(self):
        server = self.serve({"tls": "1.3", "default": {"body": "x"}})
        with self.assertRaises(ssl.SSLError):
            raw_get(server, self.pki)
        self.assertTrue(server.wait_for_requests(0, timeout=10, handshake_errors=1))
        self.assertEqual(server.requests, [])
        self.assertEqual(split(raw_get(server, self.pki, tls_version=ssl.TLSVersion.TLSv1_3))[2], b"x")

    def test_request_count_and_time_are_bounded(self):
        server = self.serve({"default": {"body": "x"}}, max_requests=2)
        self.assertEqual(split(raw_get(server, self.pki))[2], b"x")
        self.assertEqual(split(raw_get(server, self.pki))[2], b"x")
        self.assertRaises((ssl.SSLError, OSError), raw_get, server, self.pki)
        self.assertEqual(len(server.requests), 2)

        # The server's own deadline ends a hanging answer well before the
        # client's 30-second time-out would (3 s leave room for the handshake
        # on a loaded machine).
        hanging = self.serve({"default": {"action": "hang"}})
        hanging.deadline = time.monotonic() + 3.0
        started = time.monotonic()
        self.assertEqual(raw_get(hanging, self.pki, timeout=30), b"")
        self.assertLess(time.monotonic() - started, 15)

    def test_program_reports_its_port_and_records_requests(self):
        scenario = self.folder / "scenario.json"
        scenario.write_text(json.dumps({"default": {"status": 302, "headers": {"Location": "/y"}}}))
        record = self.folder / "record.jsonl"
        process = subprocess.Popen([sys.executable, "-m", "support.fault_server", "--cert", str(self.pki.cert),
                                    "--key", str(self.pki.key), "--scenario", str(scenario), "--record",
                                    str(record), "--stop-on-eof", "--max-seconds", "60"],
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            port = json.loads(process.stdout.readline())["port"]
            server = type("Endpoint", (), {"port": port})
            status, headers, _ = split(raw_get(server, self.pki, target="/api/x?y=1", headers="Cookie: c=1\r\n"))
            self.assertEqual((status, headers["Location"]), ("HTTP/1.1 302 Found", "/y"))
        finally:
            process.stdin.close()
            self.assertEqual(process.wait(10), 0)
            process.stdout.close()
        [entry] = [json.loads(line) for line in record.read_text().splitlines()]
        self.assertEqual((entry["method"], entry["target"], entry["tls"]), ("GET", "/api/x?y=1", "TLSv1.2"))
        self.assertIn(["Cookie", "c=1"], entry["headers"])


if __name__ == "__main__":
    unittest.main()
