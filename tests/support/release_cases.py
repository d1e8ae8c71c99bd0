"""One table of release manifests and what the installer must say to each.

Every case starts from a manifest that keeps every rule and changes what its
name says; refused cases break one rule, except the "first check wins" group,
which breaks several and expects the earliest check's message. The manifests
are signed with the openssl command line. The same files are checked by the
installer script (tests/script/SignedRelease.Tests.ps1) and by
`velmo-release verify` (tests/tools/test_velmo_release_verify.py), so both
verifiers are held to one table.

    python3 -m support.release_cases write DIR

writes DIR/primary.{pem,pub}, DIR/second.{pem,pub}, one manifest per case and
DIR/index.json listing the cases.
"""
import base64
import hashlib
import json
import sys
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional

from support import release_keys

NOW = 1_800_000_000
ORIGIN = "https://releases.test.example"
MINIMUM_VERSION = "0.19.21"
BASE_VERSION = "0.21.3"
PACKAGE = bytes((i * 7 + 3) % 256 for i in range(1000))

ACCEPT = "accept"
PLATFORM_ERROR = "platform-error"  # the script fails with .NET's own Base64, UTF-8 or JSON message


class Raw(str):
    """JSON text written as it stands (5.0, 1e3, numbers past 64 bits)."""


DROP = object()  # removes the field


def to_json(value) -> str:
    if isinstance(value, Raw):
        return str(value)
    if isinstance(value, dict):
        return "{" + ",".join(json.dumps(k) + ":" + to_json(v) for k, v in value.items()) + "}"
    if isinstance(value, list):
        return "[" + ",".join(to_json(v) for v in value) + "]"
    return json.dumps(value)


def _apply(target: dict, changes: dict) -> None:
    for name, value in changes.items():
        if value is DROP:
            target.pop(name, None)
        else:
            target[name] = value


def download_url(version: str, origin: str = ORIGIN) -> str:
    return f"{origin}/api/releases/download/{version}?channel=beta"


@dataclass
class Case:
    name: str
    expect: str
    version: str = BASE_VERSION  # the claims' version; downloadUrl follows it
    claims: dict = field(default_factory=dict)
    manifest: dict = field(default_factory=dict)
    envelope: dict = field(default_factory=dict)
    key: str = "primary"
    prefix: bytes = release_keys.SIGNED_PREFIX
    sigopts: Optional[list] = None
    payload: Optional[bytes] = None  # signed bytes in place of the claims' JSON
    payload_chars: Optional[int] = None  # pad the claims so the Base64 payload has this length
    signature_length: Optional[int] = None
    tamper: bool = False  # change one payload byte after signing
    wrap_base64: bool = False
    extra_spaces: dict = field(default_factory=dict)  # envelope field -> spaces appended


def base_claims(version: str) -> dict:
    return {"product": "VELMO_TALLOWFIN_AI", "channel": "beta", "version": version,
            "downloadUrl": download_url(version), "executableName": "VELMO_Tallowfin.exe",
            "sha256": hashlib.sha256(PACKAGE).hexdigest(), "sizeBytes": len(PACKAGE),
            "issuedAt": NOW - 60, "expiresAt": NOW + 86400}


def _wrapped(text: str) -> str:
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76)) + " \t\r\n"


def build_manifest(case: Case, keys: dict) -> str:
    claims = base_claims(case.version)
    _apply(claims, case.claims)
    if case.payload_chars:
        claims["notes"] = ""
        claims["notes"] = "x" * (case.payload_chars // 4 * 3 - len(to_json(claims).encode()))
    payload = case.payload if case.payload is not None else to_json(claims).encode("utf-8")
    sigopts = release_keys.PSS_OPTIONS if case.sigopts is None else case.sigopts
    signature = release_keys.sign_message(keys[case.key], case.prefix + payload, sigopts)
    if case.signature_length is not None:
        signature = (signature + bytes(range(1, 256)))[:case.signature_length]
    if case.tamper:
        needle = b'"sizeBytes":1000'
        assert needle in payload
        payload = payload.replace(needle, b'"sizeBytes":1001')

    envelope = {"format": "velmo-release-signature-v1", "keyId": "velmo-release-2026-09",
                "payload": base64.b64encode(payload).decode("ascii"),
                "signature": base64.b64encode(signature).decode("ascii")}
    if case.wrap_base64:
        envelope["payload"] = _wrapped(envelope["payload"])
        envelope["signature"] = _wrapped(envelope["signature"])
    for name, count in case.extra_spaces.items():
        envelope[name] += " " * count
    _apply(envelope, case.envelope)

    manifest = {"status": "ready"}
    for name in ("product", "channel", "version", "downloadUrl", "sha256", "executableName", "sizeBytes"):
        if name in claims:
            manifest[name] = claims[name]
    manifest["signedRelease"] = envelope
    _apply(manifest, case.manifest)
    return to_json(manifest)


OTHER_URL = "https://mirror.test.example/api/releases/download/0.21.3?channel=beta"
SHA = hashlib.sha256(PACKAGE).hexdigest()
PSS = release_keys.PSS_OPTIONS
EXPIRED = {"issuedAt": NOW - 1000, "expiresAt": NOW}

CASES = [
    # Accepted, at the edges of each rule.
    Case("a manifest that keeps every rule (no actualVersion)", ACCEPT),
    Case("actualVersion null", ACCEPT, manifest={"actualVersion": None}),
    Case("actualVersion equal to the signed version", ACCEPT, manifest={"actualVersion": BASE_VERSION}),
    Case("version 0.19.21, the minimum itself", ACCEPT, version="0.19.21"),
    Case("version 0.20.0", ACCEPT, version="0.20.0"),
    Case("issuedAt equal to now plus 300", ACCEPT, claims={"issuedAt": NOW + 300}),
    Case("expiresAt one second after now", ACCEPT, claims={"expiresAt": NOW + 1}),
    Case("a window of exactly 7776000 seconds", ACCEPT,
         claims={"issuedAt": NOW - 100, "expiresAt": NOW - 100 + 7776000}),
    Case("sizeBytes 2000000000", ACCEPT, claims={"sizeBytes": 2000000000}),
    Case("sizeBytes 1", ACCEPT, claims={"sizeBytes": 1}),
    Case("unknown fields in claims, manifest and envelope", ACCEPT,
         claims={"notes": "first beta"}, manifest={"notes": 1}, envelope={"comment": "x"}),
    Case("Base64 broken into lines and followed by white space", ACCEPT, wrap_base64=True),
    Case("a payload of exactly 24000 characters", ACCEPT, payload_chars=24000),
    Case("a signature padded with spaces to 1024 characters", ACCEPT, extra_spaces={"signature": 1024 - 684}),

    # 1: the envelope.
    Case("no signedRelease", "Trusted release signature missing", manifest={"signedRelease": DROP}),
    Case("signedRelease null", "Trusted release signature missing", manifest={"signedRelease": None}),
    Case("signedRelease a string", "Trusted release signature missing", manifest={"signedRelease": "signed"}),
    Case("format of another version", "Trusted release signature missing",
         envelope={"format": "velmo-release-signature-v2"}),
    Case("format in other letter case", "Trusted release signature missing",
         envelope={"format": "Velmo-Release-Signature-V1"}),
    Case("keyId of another key", "Trusted release signature missing", envelope={"keyId": "velmo-release-2025-01"}),
    Case("keyId missing", "Trusted release signature missing", envelope={"keyId": DROP}),
    Case("keyId as a one-element array", "Trusted release signature missing",
         envelope={"keyId": ["velmo-release-2026-09"]}),

    # 2: encoding of payload and signature.
    Case("payload a number", "Invalid release signature encoding", envelope={"payload": 12345}),
    Case("payload missing", "Invalid release signature encoding", envelope={"payload": DROP}),
    Case("signature null", "Invalid release signature encoding", envelope={"signature": None}),
    Case("a payload of 24001 characters", "Invalid release signature encoding",
         payload_chars=24000, extra_spaces={"payload": 1}),
    Case("a signature of 1025 characters", "Invalid release signature encoding",
         extra_spaces={"signature": 1025 - 684}),

    # 3: Base64 decoding fails with the platform's own error.
    Case("payload not Base64", PLATFORM_ERROR, envelope={"payload": "not Base64!"}),
    Case("signature not Base64", PLATFORM_ERROR, envelope={"signature": "####"}),

    # 4: signature length, before any RSA work.
    Case("a signature of 511 bytes", "Invalid release signature length", signature_length=511),
    Case("a signature of 513 bytes", "Invalid release signature length", signature_length=513),
    Case("an empty signature", "Invalid release signature length", envelope={"signature": ""}),

    # 6: the RSA-PSS signature.
    Case("signed with a second key pair", "Release signature verification failed", key="second"),
    Case("one payload byte changed after signing", "Release signature verification failed", tamper=True),
    Case("the prefix without its NUL byte", "Release signature verification failed",
         prefix=b"VELMO-TALLOWFIN-UPDATE-V1"),
    Case("another prefix", "Release signature verification failed", prefix=b"VELMO-TALLOWFIN-UPDATE-V2\x00"),
    Case("the payload signed without the prefix", "Release signature verification failed", prefix=b""),
    Case("PKCS #1 v1.5 padding instead of PSS", "Release signature verification failed", sigopts=[]),
    Case("PSS with a 20-byte salt", "Release signature verification failed",
         sigopts=PSS[:2] + ["-sigopt", "rsa_pss_saltlen:20"] + PSS[4:]),
    Case("PSS with MGF1-SHA-1", "Release signature verification failed",
         sigopts=PSS[:4] + ["-sigopt", "rsa_mgf1_md:sha1"]),

    # 7: the payload must be strict UTF-8 and JSON.
    Case("a signed payload that is not UTF-8", PLATFORM_ERROR, payload=b'{"product":"VELMO\xff"}'),
    Case("a signed payload that is not JSON", PLATFORM_ERROR, payload=b"release 0.21.3"),

    # 8: product, channel and status.
    Case("product in lower case", "Wrong release product or channel", claims={"product": "velmo_tallowfin_ai"}),
    Case("product missing", "Wrong release product or channel", claims={"product": DROP}),
    Case("product as a one-element array", "Wrong release product or channel",
         claims={"product": ["VELMO_TALLOWFIN_AI"]}),
    Case("channel stable", "Wrong release product or channel", claims={"channel": "stable"}),
    Case("channel Beta", "Wrong release product or channel", claims={"channel": "Beta"}),
    Case("manifest status Ready", "Wrong release product or channel", manifest={"status": "Ready"}),
    Case("manifest status missing", "Wrong release product or channel", manifest={"status": DROP}),
    Case("manifest status as a one-element array", "Wrong release product or channel",
         manifest={"status": ["ready"]}),

    # 9: version pattern and minimum.
    Case("version 1.0", "Release downgrade refused", version="1.0"),
    Case("version 1.2.3.4", "Release downgrade refused", version="1.2.3.4"),
    Case("version 10000.0.0", "Release downgrade refused", version="10000.0.0"),
    Case("version 0.19.20", "Release downgrade refused", version="0.19.20"),
    Case("version 0.19.9", "Release downgrade refused", version="0.19.9"),
    Case("version with a trailing line feed", "Release downgrade refused", version="0.21.3\n"),
    Case("version with a non-ASCII digit", "Release downgrade refused", version="0.\u0662\u0661.3"),
    Case("version a number", "Release downgrade refused", claims={"version": Raw("0.21")}),
    Case("version missing", "Release downgrade refused", claims={"version": DROP}),

    # 10: download address, executable name, digest.
    Case("downloadUrl on another host", "Invalid signed release target", claims={"downloadUrl": OTHER_URL}),
    Case("downloadUrl over http", "Invalid signed release target",
         claims={"downloadUrl": download_url(BASE_VERSION).replace("https:", "http:")}),
    Case("downloadUrl of another version", "Invalid signed release target",
         claims={"downloadUrl": download_url("0.21.4")}),
    Case("downloadUrl with a further query", "Invalid signed release target",
         claims={"downloadUrl": download_url(BASE_VERSION) + "&x=1"}),
    Case("executableName in other letter case", "Invalid signed release target",
         claims={"executableName": "velmo_tallowfin.exe"}),
    Case("sha256 in upper case", "Invalid signed release target", claims={"sha256": SHA.upper()}),
    Case("sha256 of 63 characters", "Invalid signed release target", claims={"sha256": SHA[:63]}),
    Case("sha256 with a trailing line feed", "Invalid signed release target", claims={"sha256": SHA + "\n"}),

    # 11: integers only.
    Case("sizeBytes 5.0", "Invalid signed numeric field", claims={"sizeBytes": Raw("5.0")}),
    Case("sizeBytes as the string 5", "Invalid signed numeric field", claims={"sizeBytes": "5"}),
    Case("sizeBytes 1e3", "Invalid signed numeric field", claims={"sizeBytes": Raw("1e3")}),
    Case("sizeBytes past 64 bits", "Invalid signed numeric field",
         claims={"sizeBytes": Raw("9223372036854775808")}),
    Case("issuedAt as a string", "Invalid signed numeric field", claims={"issuedAt": str(NOW - 60)}),
    Case("issuedAt null", "Invalid signed numeric field", claims={"issuedAt": None}),
    Case("expiresAt with an exponent", "Invalid signed numeric field", claims={"expiresAt": Raw("1.8e9")}),
    Case("expiresAt missing", "Invalid signed numeric field", claims={"expiresAt": DROP}),

    # 12: package size.
    Case("sizeBytes 0", "Invalid signed package size", claims={"sizeBytes": 0}),
    Case("sizeBytes -1", "Invalid signed package size", claims={"sizeBytes": -1}),
    Case("sizeBytes 2000000001", "Invalid signed package size", claims={"sizeBytes": 2000000001}),

    # 13: validity window against the clock.
    Case("expiresAt equal to now", "Release signature expired or PC clock incorrect", claims={"expiresAt": NOW}),
    Case("expiresAt before now", "Release signature expired or PC clock incorrect", claims={"expiresAt": NOW - 1}),
    Case("issuedAt after now plus 300", "Release signature expired or PC clock incorrect",
         claims={"issuedAt": NOW + 301}),
    Case("expiresAt equal to issuedAt", "Release signature expired or PC clock incorrect",
         claims={"issuedAt": NOW + 100, "expiresAt": NOW + 100}),
    Case("a window of 7776001 seconds", "Release signature expired or PC clock incorrect",
         claims={"issuedAt": NOW - 100, "expiresAt": NOW - 100 + 7776001}),
    Case("a window whose length overflows 64 bits", "Release signature expired or PC clock incorrect",
         claims={"issuedAt": -9223372036854775808, "expiresAt": 9223372036854775807}),

    # 14: unsigned text fields must repeat the claims.
    Case("manifest product in other letter case", "Release metadata differs from signed payload",
         manifest={"product": "VELMO_TALLOWFIN_Ai"}),
    Case("manifest channel missing", "Release metadata differs from signed payload", manifest={"channel": DROP}),
    Case("manifest version another release", "Release metadata differs from signed payload",
         manifest={"version": "0.21.4"}),
    Case("manifest version a number", "Release metadata differs from signed payload",
         version="0.21.0", manifest={"version": Raw("0.21")}),
    Case("manifest downloadUrl elsewhere", "Release metadata differs from signed payload",
         manifest={"downloadUrl": OTHER_URL}),
    Case("manifest sha256 in upper case", "Release metadata differs from signed payload",
         manifest={"sha256": SHA.upper()}),
    Case("manifest executableName as a one-element array", "Release metadata differs from signed payload",
         manifest={"executableName": ["VELMO_Tallowfin.exe"]}),

    # 15: unsigned size.
    Case("manifest sizeBytes one less", "Release size differs from signed payload", manifest={"sizeBytes": 999}),
    Case("manifest sizeBytes as a string", "Release size differs from signed payload",
         manifest={"sizeBytes": "1000"}),
    Case("manifest sizeBytes 1000.0", "Release size differs from signed payload",
         manifest={"sizeBytes": Raw("1000.0")}),
    Case("manifest sizeBytes missing", "Release size differs from signed payload", manifest={"sizeBytes": DROP}),

    # 16: actualVersion.
    Case("actualVersion of another release", "Release actual version differs from signed payload",
         manifest={"actualVersion": "0.21.4"}),
    Case("actualVersion a number", "Release actual version differs from signed payload",
         manifest={"actualVersion": Raw("0.21")}),
    Case("actualVersion as a one-element array", "Release actual version differs from signed payload",
         manifest={"actualVersion": [BASE_VERSION]}),

    # Several rules broken: the earliest check's message wins.
    Case("wrong keyId and a payload that is no string", "Trusted release signature missing",
         envelope={"keyId": "other", "payload": 5}),
    Case("a 511-byte signature over claims of another product", "Invalid release signature length",
         signature_length=511, claims={"product": "OTHER"}),
    Case("a second key's signature over an expired downgrade", "Release signature verification failed",
         key="second", version="0.19.20", claims=EXPIRED),
    Case("status Ready, a downgrade, size 0 and expired", "Wrong release product or channel",
         version="0.19.20", manifest={"status": "Ready"}, claims={"sizeBytes": 0, **EXPIRED}),
    Case("a downgrade with an upper-case digest and a string size", "Release downgrade refused",
         version="0.19.20", claims={"sha256": SHA.upper(), "sizeBytes": "5"}),
    Case("an upper-case digest, a string size and expired", "Invalid signed release target",
         claims={"sha256": SHA.upper(), "sizeBytes": "5", **EXPIRED}),
    Case("a string size, size-less manifest and expired", "Invalid signed numeric field",
         claims={"sizeBytes": "5", **EXPIRED}, manifest={"sizeBytes": DROP}),
    Case("size 0 and expired", "Invalid signed package size", claims={"sizeBytes": 0, **EXPIRED}),
    Case("expired, with manifest fields and actualVersion that differ",
         "Release signature expired or PC clock incorrect",
         claims=EXPIRED, manifest={"version": "0.21.4", "sizeBytes": 5, "actualVersion": "9.9.9"}),
    Case("manifest version and size differ, and actualVersion", "Release metadata differs from signed payload",
         manifest={"version": "0.21.4", "sizeBytes": 5, "actualVersion": "9.9.9"}),
    Case("manifest size and actualVersion differ", "Release size differs from signed payload",
         manifest={"sizeBytes": 5, "actualVersion": "9.9.9"}),
]


def write_cases(directory: Path) -> dict:
    """Makes the two key pairs, writes every case's manifest and index.json."""
    directory = Path(directory)
    keys = {}
    for name in ("primary", "second"):
        keys[name], _ = release_keys.make_key_pair(directory, name)
    names = set()
    entries = []
    for number, case in enumerate(CASES, start=1):
        assert case.name not in names, f"duplicate case name {case.name}"
        names.add(case.name)
        path = directory / f"case-{number:03d}.json"
        path.write_text(build_manifest(case, keys), encoding="utf-8")
        entries.append({"name": case.name, "file": str(path), "expect": case.expect})
    index = {"now": NOW, "origin": ORIGIN, "minimumVersion": MINIMUM_VERSION,
             "publicKey": str(directory / "primary.pub"), "privateKey": str(directory / "primary.pem"),
             "secondPublicKey": str(directory / "second.pub"), "cases": entries}
    (directory / "index.json").write_text(json.dumps(index, indent=1), encoding="utf-8")
    return index


def main(argv) -> int:
    if len(argv) != 3 or argv[1] != "write":
        print("usage: python3 -m support.release_cases write DIR", file=sys.stderr)
        return 2
    write_cases(Path(argv[2]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
