"""An HTTPS server on loopback that answers package range requests badly on purpose.

The server holds packages by path. Each request is parsed by hand and
answered according to a scenario: a function called with the `Request` (its
number from 0, path, headers, requested range and the attempt number for that
path and range, from 1), which returns an `Answer`. The
default answer is the correct one: status 206, the exact Content-Range, the
range length as Content-Length and exactly the range's bytes. An answer can
change the status, either header, send the body chunked (so that the client
reads until the server says the body ends, whatever Content-Length says), add
bytes after the range, cut the body short, close the connection in the middle,
or stall before the rest of the body.

Every connection carries one request and is closed afterwards. The server
listens on 127.0.0.1 with a free port, serves at most `max_requests` requests
and records every request's headers.
"""
import re
import socket
import ssl
import threading
import time
from dataclasses import dataclass, field
from typing import Callable, List, Optional

from support.http_head import read_request_head

DEFAULT = object()
RANGE_RE = re.compile(r"^bytes=(\d+)-(\d+)$")


@dataclass
class Answer:
    status: int = 206
    content_range: object = DEFAULT      # text, None to leave the header out, DEFAULT for the exact one
    content_length: object = DEFAULT     # number or text, None to leave out, DEFAULT for the body length
    chunked: bool = False                # chunked body: its end is signalled by the server, not by the length
    whole_file: bool = False             # the whole package instead of the range (a server ignoring Range)
    extra: int = 0                       # bytes sent after the range
    send: Optional[int] = None           # send only this many bytes of the body
    drop: bool = False                   # after the bytes sent, close the connection without ending the body
    stall_after: Optional[int] = None    # stop after this many bytes of the body ...
    stall_seconds: float = 0.0           # ... for this long, then go on


@dataclass
class Request:
    number: int
    path: str                            # without the query
    headers: dict                        # names in lower case
    range: Optional[tuple]               # (start, end) of "bytes=START-END", else None
    attempt: int
    time: float                          # time.monotonic() when the request arrived


def correct(request: Request) -> Answer:
    return Answer()


@dataclass
class RangeFaultServer:
    files: dict                          # path -> package bytes
    context: ssl.SSLContext
    scenario: Callable[[Request], Answer] = correct
    max_requests: int = 64
    requests: List[Request] = field(default_factory=list)

    def __post_init__(self):
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._sock.bind(("127.0.0.1", 0))
        self._sock.listen(16)
        self._sock.settimeout(0.2)
        self.port = self._sock.getsockname()[1]
        self._stop = threading.Event()
        self._lock = threading.Lock()
        self._attempts = {}
        self._threads = []
        self._acceptor = threading.Thread(target=self._accept_loop, daemon=True)

    def url(self, path: str) -> str:
        return f"https://127.0.0.1:{self.port}{path}?channel=beta"

    def __enter__(self):
        self._acceptor.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        self._stop.set()
        self._acceptor.join(10)
        for t in self._threads:
            t.join(10)
        self._sock.close()

    def ranges(self, path: str):
        return [r.range for r in self.requests if r.path == path]

    def _accept_loop(self):
        while not self._stop.is_set():
            try:
                conn, _ = self._sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            with self._lock:
                if len(self.requests) + len(self._threads) > 4 * self.max_requests:
                    conn.close()
                    continue
                t = threading.Thread(target=self._serve, args=(conn,), daemon=True)
                self._threads.append(t)
            t.start()

    def _serve(self, raw):
        raw.settimeout(30)
        try:
            conn = self.context.wrap_socket(raw, server_side=True)
        except (OSError, ssl.SSLError):
            raw.close()
            return
        try:
            request = self._read_request(conn)
            if request is not None:
                self._answer(conn, request)
        except (OSError, ssl.SSLError):
            pass
        finally:
            try:
                conn.close()
            except OSError:
                pass

    def _read_request(self, conn) -> Optional[Request]:
        head = read_request_head(conn)
        if head is None:
            return None
        path = head.target.split("?", 1)[0]
        headers = {name.lower(): value for name, value in head.headers}
        m = RANGE_RE.match(headers.get("range", ""))
        rng = (int(m.group(1)), int(m.group(2))) if m else None
        with self._lock:
            if len(self.requests) >= self.max_requests:
                return None
            key = (path, rng)
            self._attempts[key] = self._attempts.get(key, 0) + 1
            request = Request(len(self.requests), path, headers, rng, self._attempts[key], time.monotonic())
            self.requests.append(request)
        return request

    def _answer(self, conn, request: Request):
        data = self.files.get(request.path)
        if data is None:
            conn.sendall(b"HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 0\r\n\r\n")
            return
        start, end = request.range if request.range else (None, None)
        answer = self.scenario(request)
        total = len(data)
        if answer.whole_file or request.range is None:
            body = data
        else:
            body = data[start:end + 1]
        range_length = len(body)
        if answer.extra:
            body += bytes((i * 7 + 3) & 0xFF for i in range(answer.extra))
        if answer.send is not None:
            body = body[:answer.send]
        reason = {200: "OK", 206: "Partial Content"}.get(answer.status, "Status")
        lines = [f"HTTP/1.1 {answer.status} {reason}", "Connection: close",
                 "Content-Type: application/octet-stream"]
        content_range = answer.content_range
        if content_range is DEFAULT and request.range is not None and not answer.whole_file:
            content_range = f"bytes {start}-{end}/{total}"
        if content_range not in (None, DEFAULT):
            lines.append(f"Content-Range: {content_range}")
        length = range_length if answer.content_length is DEFAULT else answer.content_length
        if length is not None:
            lines.append(f"Content-Length: {length}")
        if answer.chunked:
            lines.append("Transfer-Encoding: chunked")
        conn.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
        if answer.status in (204, 304) or answer.status < 200:
            return
        self._send_body(conn, body, answer)

    def _send_body(self, conn, body: bytes, answer: Answer):
        pieces = [body]
        if answer.stall_after is not None:
            pieces = [body[:answer.stall_after], body[answer.stall_after:]]
        for i, piece in enumerate(pieces):
            if i == 1 and not self._sleep(answer.stall_seconds):
                return
            for offset in range(0, len(piece), 262144):
                part = piece[offset:offset + 262144]
                if answer.chunked:
                    conn.sendall(b"%x\r\n" % len(part) + part + b"\r\n")
                else:
                    conn.sendall(part)
        if answer.drop:
            # Reset rather than close, so that the client sees a broken connection.
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            return
        if answer.chunked:
            conn.sendall(b"0\r\n\r\n")

    def _sleep(self, seconds: float) -> bool:
        """Waits, but gives up at once when the server stops."""
        return not self._stop.wait(seconds)
