"""A fault-injecting HTTPS server on loopback for the installer script's tests.

It gives the answers that no correct release server gives: any status, headers
and body, bodies that are slow, chunked, oversized or cut short, redirects,
dropped connections, and a TLS endpoint that speaks only TLS 1.3. What it does
is steered by a scenario, a JSON-like dict:

    {
      "tls": "1.2+",                 # or "1.3" (TLS 1.3 only), or "1.2" (TLS 1.2 only)
      "keep_alive": false,           # default: one request per connection
      "rules": [ RULE, ... ],        # the first rule whose "when" matches answers
      "default": RULE                # otherwise this one (or 500 "no scenario rule")
    }

A RULE:

    "when":        {"request": 2}            the second request of the server (from 1)
                   {"requests": [1, 3]}      any of these
                   {"range": "bytes=0-99"}   this exact Range header ("" = no Range)
                   {"path": "/api/releases/latest?channel=beta"}   exact request target
                   {"occurrence": 2}         the second request that matched the other keys
    "action":      "respond" (default), "close" (close without answering),
                   "reset" (abort with a TCP reset), "hang" (never answer)
    "status", "reason", "headers" (dict or list of [name, value] pairs, order kept)
    body, one of:  "body" (text, sent as UTF-8), "body_base64",
                   "body_size" with "body_byte" (a one-character text, default "a"),
                   "file" (a file's bytes; with "serve_range": true, a Range header
                   is answered like a static file server: 206 and Content-Range)
    "length":      "auto" (default: Content-Length of the body), "none" (no
                   Content-Length; the body ends when the connection closes), or a
                   number (announced whatever the body is)
    "chunked":     true for Transfer-Encoding: chunked (no Content-Length)
    "headers_delay": seconds before the status line
    "pieces":      [{"size": N, "delay": S}, ...] send the body in pieces, each after its delay
    "piece_size", "piece_delay": shorthand for equal pieces with a delay before
                   every piece but the first
    "send_bytes":  stop after this many body bytes, then "after": "close",
                   "reset" or "hang" (default "close")

Every request is recorded (number, method, target, headers in order, the TLS
version and cipher); failed TLS handshakes are recorded apart. The server is
bounded: it answers at most max_requests requests and stops after max_seconds.

Use it in-process (FaultServer as a context manager) or as a program:

    python3 -m support.fault_server --cert C --key K --scenario FILE \
        [--record FILE] [--max-requests N] [--max-seconds S] [--stop-on-eof]

The program prints one JSON line {"port": N} once it listens, appends each
request to the record file as one JSON line (handshake failures have
"handshake_error"), and ends when its time is up, when stdin closes
(--stop-on-eof) or on SIGTERM.
"""
import argparse
import base64
import json
import os
import signal
import socket
import ssl
import struct
import sys
import threading
import time
from pathlib import Path
from typing import Optional

from support.http_head import read_request_head

REASONS = {200: "OK", 204: "No Content", 206: "Partial Content", 301: "Moved Permanently",
           302: "Found", 304: "Not Modified", 307: "Temporary Redirect", 400: "Bad Request",
           401: "Unauthorized", 403: "Forbidden", 404: "Not Found", 416: "Range Not Satisfiable",
           500: "Internal Server Error", 503: "Service Unavailable"}
TLS_VERSIONS = {"1.2": ssl.TLSVersion.TLSv1_2, "1.3": ssl.TLSVersion.TLSv1_3}


def make_context(cert, key, tls="1.2+") -> ssl.SSLContext:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(str(cert), str(key))
    if tls == "1.2+":
        context.minimum_version = ssl.TLSVersion.TLSv1_2
    elif tls in TLS_VERSIONS:
        context.minimum_version = context.maximum_version = TLS_VERSIONS[tls]
    else:
        raise ValueError(f"unknown tls setting {tls!r}")
    return context


class _Request:
    def __init__(self, method, target, version, headers):
        self.method, self.target, self.version, self.headers = method, target, version, headers

    def header(self, name) -> Optional[str]:
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None


class FaultServer:
    def __init__(self, scenario: dict, cert, key, *, max_requests=64, max_seconds=300.0,
                 record: Optional[Path] = None):
        self.scenario = scenario
        self.rules = list(scenario.get("rules", []))
        self.context = make_context(cert, key, scenario.get("tls", "1.2+"))
        self.max_requests = max_requests
        self.deadline = time.monotonic() + max_seconds
        self.record_path = Path(record) if record else None
        self.requests = []
        self.handshake_errors = []
        self._occurrences = {}
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._threads = []
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._sock.bind(("127.0.0.1", 0))
        self._sock.listen(32)
        self._sock.settimeout(0.2)
        self.port = self._sock.getsockname()[1]
        self.origin = f"https://127.0.0.1:{self.port}"
        self._acceptor = threading.Thread(target=self._accept_loop, name="fault-accept", daemon=True)

    # -- lifetime ---------------------------------------------------------
    def start(self):
        self._acceptor.start()
        return self

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        self._stop.set()
        if self._acceptor.is_alive():
            self._acceptor.join(5)
        for thread in list(self._threads):
            thread.join(5)
        self._sock.close()

    def expired(self) -> bool:
        return self._stop.is_set() or time.monotonic() > self.deadline

    def wait_for_requests(self, count, timeout=30.0, handshake_errors=0) -> bool:
        """Waits until this many requests (and failed handshakes) are recorded."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            with self._lock:
                if len(self.requests) >= count and len(self.handshake_errors) >= handshake_errors:
                    return True
            time.sleep(0.05)
        return False

    # -- connections ------------------------------------------------------
    def _accept_loop(self):
        while not self.expired():
            try:
                raw, _ = self._sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            with self._lock:
                self._threads = [t for t in self._threads if t.is_alive()]
                full = len(self.requests) >= self.max_requests or len(self._threads) >= 32
            if full:
                raw.close()
                continue
            thread = threading.Thread(target=self._serve, args=(raw,), name="fault-conn", daemon=True)
            with self._lock:
                self._threads.append(thread)
            thread.start()

    def _serve(self, raw):
        raw.settimeout(30)
        try:
            conn = self.context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError) as err:
            self._record({"handshake_error": str(err)})
            raw.close()
            return
        try:
            while not self.expired():
                request = self._read_request(conn)
                if request is None:
                    return
                keep = self._answer(conn, request)
                if not keep or not self.scenario.get("keep_alive", False):
                    return
        except (OSError, ssl.SSLError):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass

    def _read_request(self, conn) -> Optional[_Request]:
        head = read_request_head(conn)
        return _Request(*head) if head else None

    # -- answers ----------------------------------------------------------
    def _choose(self, number, request):
        for index, rule in enumerate(self.rules):
            when = dict(rule.get("when", {}))
            occurrence = when.pop("occurrence", None)
            if "request" in when and when["request"] != number:
                continue
            if "requests" in when and number not in when["requests"]:
                continue
            if "range" in when and (request.header("Range") or "") != when["range"]:
                continue
            if "path" in when and request.target != when["path"]:
                continue
            seen = self._occurrences.get(index, 0) + 1
            self._occurrences[index] = seen
            if occurrence is not None and occurrence != seen:
                continue
            return index, rule
        return None, self.scenario.get("default", {"status": 500, "body": "no scenario rule"})

    def _answer(self, conn, request) -> bool:
        with self._lock:
            if len(self.requests) >= self.max_requests:
                return False
            number = len(self.requests) + 1
            index, rule = self._choose(number, request)
            entry = {"n": number, "method": request.method, "target": request.target,
                     "version": request.version, "headers": request.headers,
                     "tls": conn.version(), "cipher": conn.cipher()[0], "rule": index,
                     "time": time.time()}
        self._record(entry)
        action = rule.get("action", "respond")
        if action == "close":
            return False
        if action == "reset":
            self._reset(conn)
            return False
        if action == "hang":
            self._sleep(None)
            return False
        if not self._sleep(rule.get("headers_delay", 0)):
            return False
        status, extra_headers, body = self._body_for(rule, request)
        headers = [["Connection", "keep-alive" if self.scenario.get("keep_alive") else "close"]]
        headers += extra_headers
        headers += _header_pairs(rule.get("headers", {}))
        length = rule.get("length", "auto")
        chunked = rule.get("chunked", False)
        if chunked:
            headers.append(["Transfer-Encoding", "chunked"])
        elif length == "auto":
            headers.append(["Content-Length", str(len(body))])
        elif length != "none":
            headers.append(["Content-Length", str(length)])
        reason = rule.get("reason", REASONS.get(status, "Status"))
        head = f"HTTP/1.1 {status} {reason}\r\n" + "".join(f"{k}: {v}\r\n" for k, v in headers) + "\r\n"
        conn.sendall(head.encode("latin-1"))
        if request.method == "HEAD" or status in (204, 304):
            return True
        return self._send_body(conn, body, rule, chunked)

    def _body_for(self, rule, request):
        status = rule.get("status", 200)
        extra = []
        if "file" in rule:
            body = Path(rule["file"]).read_bytes()
            rng = request.header("Range")
            if rule.get("serve_range") and rng and rng.startswith("bytes="):
                first, _, last = rng[len("bytes="):].partition("-")
                start = int(first)
                end = min(int(last) if last else len(body) - 1, len(body) - 1)
                if start >= len(body) or start > end:
                    return 416, [["Content-Range", f"bytes */{len(body)}"]], b""
                extra.append(["Content-Range", f"bytes {start}-{end}/{len(body)}"])
                return rule.get("status", 206), extra, body[start:end + 1]
            return status, extra, body
        if "body_base64" in rule:
            return status, extra, base64.b64decode(rule["body_base64"])
        if "body_size" in rule:
            return status, extra, rule.get("body_byte", "a").encode("latin-1") * int(rule["body_size"])
        return status, extra, rule.get("body", "").encode("utf-8")

    def _send_body(self, conn, body, rule, chunked) -> bool:
        limit = rule.get("send_bytes")
        if limit is not None:
            body = body[:limit]
        for delay, piece in _pieces(body, rule):
            if not self._sleep(delay):
                return False
            for offset in range(0, len(piece), 262144):
                part = piece[offset:offset + 262144]
                conn.sendall(b"%x\r\n%s\r\n" % (len(part), part) if chunked else part)
        if limit is not None:
            after = rule.get("after", "close")
            if after == "reset":
                self._reset(conn)
            elif after == "hang":
                self._sleep(None)
            return False
        if chunked:
            conn.sendall(b"0\r\n\r\n")
        return True

    # -- helpers ----------------------------------------------------------
    def _sleep(self, seconds) -> bool:
        """Waits, but never past the server's own end. False when the server stops first."""
        end = self.deadline if seconds is None else min(time.monotonic() + seconds, self.deadline)
        while time.monotonic() < end:
            if self._stop.wait(min(0.1, max(0.0, end - time.monotonic()))):
                return False
        return seconds is not None and not self.expired()

    @staticmethod
    def _reset(conn):
        try:
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        conn.close()

    def _record(self, entry):
        with self._lock:
            if "handshake_error" in entry:
                self.handshake_errors.append(entry)
            else:
                self.requests.append(entry)
            if self.record_path:
                with open(self.record_path, "a", encoding="utf-8") as out:
                    out.write(json.dumps(entry) + "\n")


def _header_pairs(headers):
    if isinstance(headers, dict):
        return [[k, str(v)] for k, v in headers.items()]
    return [[k, str(v)] for k, v in headers]


def _pieces(body, rule):
    """(delay, bytes) pairs in sending order."""
    if "pieces" in rule:
        offset = 0
        out = []
        for piece in rule["pieces"]:
            size = piece.get("size", len(body) - offset)
            out.append((piece.get("delay", 0), body[offset:offset + size]))
            offset += size
        if offset < len(body):
            out.append((0, body[offset:]))
        return out
    size = rule.get("piece_size")
    if not size:
        return [(0, body)]
    delay = rule.get("piece_delay", 0)
    return [(delay if i else 0, body[i:i + size]) for i in range(0, max(len(body), 1), size)]


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description="Fault-injecting HTTPS server on loopback")
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--scenario", required=True, help="JSON file, or - for stdin's first line")
    ap.add_argument("--record", type=Path)
    ap.add_argument("--max-requests", type=int, default=64)
    ap.add_argument("--max-seconds", type=float, default=300.0)
    ap.add_argument("--stop-on-eof", action="store_true", help="stop when stdin closes")
    args = ap.parse_args(argv)
    if args.scenario == "-":
        scenario = json.loads(sys.stdin.readline())
    else:
        scenario = json.loads(Path(args.scenario).read_text(encoding="utf-8"))
    server = FaultServer(scenario, args.cert, args.key, max_requests=args.max_requests,
                         max_seconds=args.max_seconds, record=args.record)
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    if args.stop_on_eof:
        threading.Thread(target=lambda: (sys.stdin.read(), done.set()), daemon=True).start()
    server.start()
    print(json.dumps({"port": server.port, "pid": os.getpid()}), flush=True)
    while not done.is_set() and not server.expired():
        done.wait(0.2)
    server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
