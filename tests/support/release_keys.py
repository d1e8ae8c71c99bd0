"""Release keys and signatures for tests, made with the openssl command line.

Nothing here uses the release tool: keys and signatures made this way are an
independent check of both the tool and the installer script. Tests make their
own keys in their own temporary folders; no private key lives in the tree.
"""
import base64
import os
import subprocess
import sys
from pathlib import Path

SIGNED_PREFIX = b"VELMO-TALLOWFIN-UPDATE-V1\x00"
PSS_OPTIONS = ["-sigopt", "rsa_padding_mode:pss", "-sigopt", "rsa_pss_saltlen:32",
               "-sigopt", "rsa_mgf1_md:sha256"]


def source_dir() -> Path:
    return Path(os.environ.get("VTF_SOURCE_DIR") or Path(__file__).resolve().parents[2])


def tool_path() -> Path:
    """The velmo-release program of the native build under test."""
    build = os.environ.get("VTF_HOST_BUILD_DIR")
    if not build:
        raise RuntimeError("VTF_HOST_BUILD_DIR is not set (run the tests through CTest)")
    return Path(build) / "tools" / "velmo-release" / "velmo-release"


def _openssl(*args: str, data: bytes = None) -> bytes:
    done = subprocess.run(["openssl", *args], input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=120, check=False)
    if done.returncode != 0:
        raise RuntimeError(f"openssl {args[0]} failed: {done.stderr.decode(errors='replace')}")
    return done.stdout


def make_key_pair(directory: Path, name: str, bits: int = 4096, exponent: int = 65537):
    """Writes NAME.pem and NAME.pub (the modulus as Base64, LF) like keygen does,
    but with openssl. Returns (private key path, public key path)."""
    directory.mkdir(parents=True, exist_ok=True)
    pem = directory / f"{name}.pem"
    _openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", f"rsa_keygen_bits:{bits}",
             "-pkeyopt", f"rsa_keygen_pubexp:{exponent}", "-out", str(pem))
    pub = directory / f"{name}.pub"
    pub.write_text(modulus_base64(pem) + "\n", encoding="ascii")
    return pem, pub


def modulus_bytes(private_key: Path) -> bytes:
    """The key's modulus as openssl reports it, big-endian."""
    text = _openssl("rsa", "-in", str(private_key), "-noout", "-modulus").decode("ascii").strip()
    assert text.startswith("Modulus="), text
    return bytes.fromhex(text[len("Modulus="):])


def modulus_base64(private_key: Path) -> str:
    return base64.b64encode(modulus_bytes(private_key)).decode("ascii")


def public_pem(private_key: Path, out: Path) -> Path:
    _openssl("pkey", "-in", str(private_key), "-pubout", "-out", str(out))
    return out


def sign_message(private_key: Path, message: bytes, sigopts=PSS_OPTIONS) -> bytes:
    """openssl dgst -sha256 over message, by default RSA-PSS with the release padding."""
    return _openssl("dgst", "-sha256", "-sign", str(private_key), *sigopts, data=message)


def verify_message(public_key_pem: Path, message: bytes, signature: bytes, work: Path) -> bool:
    sig_file = work / "signature.bin"
    sig_file.write_bytes(signature)
    done = subprocess.run(["openssl", "dgst", "-sha256", "-verify", str(public_key_pem), *PSS_OPTIONS,
                           "-signature", str(sig_file)], input=message, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60, check=False)
    return done.returncode == 0


def build_script(origin: str, public_key: Path, out: Path) -> Path:
    """The installer script filled in for origin and key, as the build writes it."""
    subprocess.run([sys.executable, str(source_dir() / "tools" / "embed_script.py"), "--origin", origin,
                    "--release-key", str(public_key), "--out-script", str(out)], check=True, timeout=60)
    return out
