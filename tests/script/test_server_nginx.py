"""The release server block of deploy/nginx, run by Debian's nginx on loopback:
the two addresses the installer asks for, exact byte ranges, TLS 1.2, and
nothing else served."""
import hashlib
import http.client
import shutil
import ssl
import tempfile
import unittest
from pathlib import Path

from support import nginx, tls

VERSION = "0.19.21"
LATEST = "/api/releases/latest?channel=beta"
DOWNLOAD = f"/api/releases/download/{VERSION}?channel=beta"
PACKAGE = bytes((i * 31 + 7) & 0xFF for i in range(100003))
MANIFEST = b'{"status":"ready","version":"0.19.21"}\n'


class ReleaseServerBlock(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix="vtf-server-"))
        cls.pki = tls.make_pki(cls.folder / "pki")
        (cls.folder / "latest.json").write_bytes(MANIFEST)
        (cls.folder / "package.zip").write_bytes(PACKAGE)
        nginx.publish(cls.folder / "www", cls.folder / "latest.json", cls.folder / "package.zip", VERSION)
        cls.server = nginx.Nginx(cls.folder / "www", cls.pki, prefix=cls.folder / "nginx").start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def get(self, target, headers=None, method="GET", tls_version=ssl.TLSVersion.TLSv1_2):
        context = ssl.create_default_context(cafile=str(self.pki.ca_cert))
        context.minimum_version = context.maximum_version = tls_version
        conn = http.client.HTTPSConnection("127.0.0.1", self.server.port, context=context, timeout=10)
        try:
            conn.request(method, target, headers=headers or {})
            response = conn.getresponse()
            return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
        finally:
            conn.close()

    def test_manifest_is_served_whole_with_its_length_and_never_cached(self):
        status, headers, body = self.get(LATEST, {"Accept": "application/json", "User-Agent": "VTFI/0.19.21"})
        self.assertEqual(status, 200)
        self.assertEqual(body, MANIFEST)
        self.assertEqual(headers["content-length"], str(len(MANIFEST)))
        self.assertEqual(headers["content-type"], "application/json")
        self.assertEqual(headers["cache-control"], "no-store")
        self.assertNotIn("transfer-encoding", headers)

    def test_package_ranges_are_exact(self):
        total = len(PACKAGE)
        for first, last, expected_last in ((0, 0, 0), (0, 65535, 65535), (65536, total - 1, total - 1),
                                           (total - 1, total - 1, total - 1), (99000, 200000, total - 1)):
            with self.subTest(range=(first, last)):
                status, headers, body = self.get(DOWNLOAD, {"Range": f"bytes={first}-{last}",
                                                            "Accept-Encoding": "identity"})
                self.assertEqual(status, 206)
                self.assertEqual(headers["content-range"], f"bytes {first}-{expected_last}/{total}")
                self.assertEqual(headers["content-length"], str(expected_last - first + 1))
                self.assertEqual(body, PACKAGE[first:expected_last + 1])

    def test_package_without_range_and_past_its_end(self):
        status, headers, body = self.get(DOWNLOAD)
        self.assertEqual((status, hashlib.sha256(body).digest()), (200, hashlib.sha256(PACKAGE).digest()))
        status, headers, _ = self.get(DOWNLOAD, {"Range": f"bytes={len(PACKAGE)}-{len(PACKAGE) + 10}"})
        self.assertEqual(status, 416)
        self.assertEqual(headers["content-range"], f"bytes */{len(PACKAGE)}")

    def test_nothing_else_is_served(self):
        for target in ("/api/releases/latest", "/api/releases/latest?channel=stable",
                       "/api/releases/latest?channel=beta&x=1", "/api/releases/download/0.19.22?channel=beta",
                       "/api/releases/download/0.19.21", "/api/releases/download/..%2Fbeta?channel=beta",
                       "/beta/latest.json", "/beta/packages/0.19.21.zip", "/"):
            with self.subTest(target=target):
                self.assertEqual(self.get(target)[0], 404)
        for method in ("POST", "PUT", "DELETE"):
            with self.subTest(method=method):
                self.assertEqual(self.get(LATEST, method=method)[0], 403)

    def test_tls_12_and_13_are_offered_and_logged(self):
        for version, name in ((ssl.TLSVersion.TLSv1_2, "TLSv1.2"), (ssl.TLSVersion.TLSv1_3, "TLSv1.3")):
            with self.subTest(name):
                self.assertEqual(self.get(LATEST, {"User-Agent": f"probe-{name}"}, tls_version=version)[0], 200)
                entry = self.server.wait_request(lambda r: r["user_agent"] == f"probe-{name}")
                self.assertIsNotNone(entry, "no access log entry")
                self.assertEqual((entry["tls"], entry["uri"], entry["status"]), (name, LATEST, 200))

    def test_access_log_records_the_request_headers(self):
        self.get(DOWNLOAD, {"User-Agent": "log-probe", "Range": "bytes=1-2", "Accept": "application/zip",
                            "Accept-Encoding": "identity", "Cookie": "a=b", "Authorization": "Basic eDp5"})
        entry = self.server.wait_request(lambda r: r["user_agent"] == "log-probe")
        self.assertIsNotNone(entry, "no access log entry")
        self.assertEqual({k: entry[k] for k in ("method", "uri", "range", "accept", "accept_encoding", "cookie",
                                                "authorization", "status", "bytes", "content_range")},
                         {"method": "GET", "uri": DOWNLOAD, "range": "bytes=1-2", "accept": "application/zip",
                          "accept_encoding": "identity", "cookie": "a=b", "authorization": "Basic eDp5",
                          "status": 206, "bytes": 2, "content_range": f"bytes 1-2/{len(PACKAGE)}"})


class ServerBlockTemplate(unittest.TestCase):
    def test_every_placeholder_is_filled(self):
        block = nginx.render_server_block("127.0.0.1:1", "releases.example", "/c.pem", "/k.pem", "/srv/r")
        self.assertNotIn("@", block)
        self.assertIn("listen 127.0.0.1:1 ssl;", block)
        self.assertIn("root /srv/r;", block)


if __name__ == "__main__":
    unittest.main()
