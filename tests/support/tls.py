"""A test certificate authority made for each test run with the openssl program.

`make_pki(folder)` writes a CA certificate and a server certificate for
127.0.0.1 and localhost signed by it. The loopback servers of the tests (nginx,
the fault server) present the server certificate; PowerShell's .NET on Linux
trusts the CA through SSL_CERT_FILE (see `trust_env`), without touching the
system's store. A second `make_pki` in another folder gives a certificate that
the first CA's clients do not trust.

    python3 -m support.tls make FOLDER     prints the paths as one JSON line
"""
import json
import secrets
import ssl
import subprocess
import sys
from pathlib import Path
from typing import NamedTuple


class Pki(NamedTuple):
    ca_cert: Path
    cert: Path
    key: Path


def _openssl(*args, cwd=None):
    done = subprocess.run(["openssl", *args], cwd=cwd, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=120)
    if done.returncode != 0:
        raise RuntimeError(f"openssl {args[0]} failed: {done.stderr.decode(errors='replace')}")


def make_pki(folder, names=("127.0.0.1", "localhost"), ca_name="VELMO Tallowfin Test CA") -> Pki:
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    ca_key, ca_cert = folder / "ca.key", folder / "ca.pem"
    key, csr, cert = folder / "server.key", folder / "server.csr", folder / "server.pem"
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", str(ca_key), "-out", str(ca_cert),
             "-days", "3", "-subj", f"/CN={ca_name} {secrets.token_hex(4)}",
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    _openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", str(key), "-out", str(csr),
             "-subj", f"/CN={names[0]}")
    alt = ",".join(("IP:" if n.replace(".", "").isdigit() else "DNS:") + n for n in names)
    ext = folder / "server.ext"
    ext.write_text(f"subjectAltName={alt}\nbasicConstraints=critical,CA:FALSE\n"
                   "keyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n",
                   encoding="ascii")
    _openssl("x509", "-req", "-in", str(csr), "-CA", str(ca_cert), "-CAkey", str(ca_key),
             "-set_serial", "0x" + secrets.token_hex(8), "-days", "2", "-sha256",
             "-extfile", str(ext), "-out", str(cert))
    return Pki(ca_cert, cert, key)


def server_context(pki: Pki) -> ssl.SSLContext:
    """A TLS 1.2-or-later server context presenting the loopback certificate."""
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(str(pki.cert), str(pki.key))
    return context


def trust_env(pki: Pki) -> dict:
    """Environment that makes .NET (through OpenSSL) trust this CA and no other."""
    return {"SSL_CERT_FILE": str(pki.ca_cert), "SSL_CERT_DIR": str(pki.ca_cert.parent / "no-certs")}


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make":
        made = make_pki(sys.argv[2])
        print(json.dumps({k: str(v) for k, v in made._asdict().items()}))
        sys.exit(0)
    print(__doc__, file=sys.stderr)
    sys.exit(2)
