"""Reading one HTTP request head from a socket, for the tests' loopback servers."""
import socket
from typing import List, NamedTuple, Optional


class RequestHead(NamedTuple):
    method: str
    target: str
    version: str
    headers: List[List[str]]   # [name, value] pairs in the order sent


def read_request_head(conn, limit=65536) -> Optional[RequestHead]:
    """The request line and headers, or None when the peer closes, goes quiet
    past the socket's time-out, sends more than `limit` bytes of head, or
    sends a request line that is not METHOD TARGET VERSION."""
    data = b""
    while b"\r\n\r\n" not in data:
        try:
            chunk = conn.recv(4096)
        except socket.timeout:
            return None
        if not chunk or len(data) > limit:
            return None
        data += chunk
    lines = data.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
    parts = lines[0].split(" ")
    if len(parts) != 3:
        return None
    headers = []
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers.append([name.strip(), value.strip()])
    return RequestHead(parts[0], parts[1], parts[2], headers)
