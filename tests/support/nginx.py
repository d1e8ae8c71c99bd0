"""Debian's nginx on loopback serving a release folder with the project's
server block (deploy/nginx/velmo-releases.conf.template), for the tests.

    with Nginx(release_root, pki) as server:
        server.origin               # https://127.0.0.1:PORT
        server.requests()           # the access log, one dict per request

Each instance runs in a temporary prefix of its own: configuration, pid file,
error and access logs and nginx's temporary folders all live there, nothing
under /etc, /var or /run is used. The port is a free one picked by the system.
The access log holds one JSON object per request with the fields method, uri,
status, bytes, range, content_range, user_agent, accept, accept_encoding,
cookie, authorization and tls (the TLS protocol, e.g. "TLSv1.2").

Release folder layout: beta/latest.json and beta/packages/<version>.zip
(`publish` puts files there).

    python3 -m support.nginx serve --root DIR --cert C --key K [--max-seconds S]

runs one instance for PowerShell tests: prints {"port", "origin", "access_log",
"error_log"} as one JSON line, and stops nginx when stdin closes, on SIGTERM or
when its time is up.
"""
import argparse
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from support import tls

TEMPLATE = Path(__file__).resolve().parents[2] / "deploy" / "nginx" / "velmo-releases.conf.template"

LOG_FORMAT = ("'{\"time\":\"$time_iso8601\",\"method\":\"$request_method\",\"uri\":\"$request_uri\","
              "\"status\":$status,\"bytes\":$body_bytes_sent,\"range\":\"$http_range\","
              "\"content_range\":\"$sent_http_content_range\",\"user_agent\":\"$http_user_agent\","
              "\"accept\":\"$http_accept\",\"accept_encoding\":\"$http_accept_encoding\","
              "\"cookie\":\"$http_cookie\",\"authorization\":\"$http_authorization\","
              "\"tls\":\"$ssl_protocol\"}'")


def render_server_block(listen, server_name, certificate, certificate_key, release_root) -> str:
    text = TEMPLATE.read_text(encoding="ascii")
    for name, value in (("LISTEN", listen), ("SERVER_NAME", server_name), ("CERTIFICATE", certificate),
                        ("CERTIFICATE_KEY", certificate_key), ("RELEASE_ROOT", release_root)):
        text = text.replace(f"@{name}@", str(value))
    leftover = re.search(r"@[A-Z_]+@", text)
    if leftover:
        raise ValueError(f"unfilled placeholder in the server block: {leftover.group(0)}")
    return text


def publish(release_root: Path, manifest: Path, package: Path, version: str):
    """Puts a signed manifest and its package where the server block serves them."""
    packages = release_root / "beta" / "packages"
    packages.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(package, packages / f"{version}.zip")
    shutil.copyfile(manifest, release_root / "beta" / "latest.json")


def _free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    def __init__(self, release_root, pki: tls.Pki, prefix=None):
        self.release_root = Path(release_root)
        self.pki = pki
        self._own_prefix = prefix is None
        self.prefix = Path(prefix or tempfile.mkdtemp(prefix="vtf-nginx-"))
        self.access_log = self.prefix / "access.log"
        self.error_log = self.prefix / "error.log"
        self.process = None
        self.port = None

    @property
    def origin(self) -> str:
        return f"https://127.0.0.1:{self.port}"

    def _write_config(self, port):
        self.prefix.mkdir(parents=True, exist_ok=True)
        block = render_server_block(f"127.0.0.1:{port}", "127.0.0.1 localhost", self.pki.cert, self.pki.key,
                                    self.release_root)
        (self.prefix / "releases.conf").write_text(block, encoding="ascii")
        temp = self.prefix / "temp"
        temp.mkdir(exist_ok=True)
        # Workers run as the user who starts the tests (root in CI), so that
        # they can read the temporary folders.
        user = "user root;\n" if os.geteuid() == 0 else ""
        (self.prefix / "nginx.conf").write_text(
            f"{user}daemon off;\nworker_processes 1;\npid {self.prefix}/nginx.pid;\n"
            f"error_log {self.error_log} info;\nlock_file {self.prefix}/nginx.lock;\n"
            "events { worker_connections 64; }\n"
            "http {\n"
            "    types { application/json json; application/zip zip; }\n"
            "    default_type application/octet-stream;\n"
            f"    client_body_temp_path {temp}/body;\n    proxy_temp_path {temp}/proxy;\n"
            f"    fastcgi_temp_path {temp}/fastcgi;\n    uwsgi_temp_path {temp}/uwsgi;\n"
            f"    scgi_temp_path {temp}/scgi;\n"
            f"    log_format velmo_test escape=json {LOG_FORMAT};\n"
            f"    access_log {self.access_log} velmo_test;\n"
            f"    include {self.prefix}/releases.conf;\n"
            "}\n", encoding="ascii")

    def start(self):
        last_error = ""
        for _ in range(5):
            port = _free_port()
            self._write_config(port)
            self.process = subprocess.Popen(
                ["nginx", "-p", str(self.prefix), "-c", str(self.prefix / "nginx.conf"), "-e", str(self.error_log)],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                start_new_session=True)
            if self._wait_listening(port, 10.0):
                self.port = port
                return self
            last_error = self._stop_process() + self._read(self.error_log)
            if "Address already in use" not in last_error:
                break
        if self._own_prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)
        raise RuntimeError(f"nginx did not start: {last_error}")

    def _wait_listening(self, port, timeout) -> bool:
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if self.process.poll() is not None:
                return False
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                    return True
            except OSError:
                time.sleep(0.05)
        return False

    def requests(self, quiet=0.2):
        """The access log's entries. nginx writes an entry just after the
        answer's last byte, so a client may be done a moment before its entry
        is there: the log is read once it has not grown for `quiet` seconds."""
        size, deadline = -1, time.monotonic() + 10
        while time.monotonic() < deadline:
            now = self.access_log.stat().st_size if self.access_log.exists() else 0
            if now == size:
                break
            size = now
            time.sleep(quiet)
        if not self.access_log.exists():
            return []
        return [json.loads(line) for line in self.access_log.read_text("utf-8").splitlines() if line]

    def wait_request(self, predicate, timeout=10.0):
        """The first access log entry for which predicate is true, waiting for it."""
        deadline = time.monotonic() + timeout
        while True:
            found = [entry for entry in self.requests(quiet=0.05) if predicate(entry)]
            if found or time.monotonic() > deadline:
                return found[0] if found else None
            time.sleep(0.1)

    def _stop_process(self) -> str:
        if self.process is None:
            return ""
        if self.process.poll() is None:
            # QUIT lets workers finish what they send; TERM, then KILL of the
            # group this instance started, if it does not go.
            for sig, wait in ((signal.SIGQUIT, 10), (signal.SIGTERM, 5)):
                self.process.send_signal(sig)
                try:
                    self.process.wait(wait)
                    break
                except subprocess.TimeoutExpired:
                    continue
            else:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(5)
        err = self.process.stderr.read().decode(errors="replace")
        self.process.stderr.close()
        self.process = None
        return err

    def stop(self):
        self._stop_process()
        if self._own_prefix:
            shutil.rmtree(self.prefix, ignore_errors=True)

    @staticmethod
    def _read(path) -> str:
        return path.read_text(errors="replace") if path.exists() else ""

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description="nginx release server on loopback for tests")
    ap.add_argument("command", choices=["serve"])
    ap.add_argument("--root", required=True, type=Path)
    ap.add_argument("--cert", required=True, type=Path)
    ap.add_argument("--key", required=True, type=Path)
    ap.add_argument("--prefix", type=Path)
    ap.add_argument("--max-seconds", type=float, default=900)
    args = ap.parse_args(argv)
    server = Nginx(args.root, tls.Pki(args.cert, args.cert, args.key), args.prefix).start()
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    threading.Thread(target=lambda: (sys.stdin.read(), done.set()), daemon=True).start()
    print(json.dumps({"port": server.port, "origin": server.origin, "access_log": str(server.access_log),
                      "error_log": str(server.error_log)}), flush=True)
    done.wait(args.max_seconds)
    server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
