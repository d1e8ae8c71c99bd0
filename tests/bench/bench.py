#!/usr/bin/env python3
"""Download and validation benchmarks of the installer script (./dev bench).

In one run, against one nginx on loopback TLS:

- the script's download (Receive-VelmoPackage) of a 1 GiB package beside curl
  fetching the same file from the same server, both over TLS 1.2 into a file;
- Get-FileHash beside sha256sum on that file;
- Assert-VelmoArchive on an archive of 50000 entries;
- the peak memory (maximum resident set) of a PowerShell process that loads
  the script and downloads 64 MiB, and one that downloads 1 GiB, beside one
  that only loads the script.

Prints the figures and their ratios, and whether the goals are met: the
download at least 0.8 of curl's throughput, and peak memory that does not grow
by more than 16 MiB from the 64 MiB download to the 1 GiB one.
"""
import argparse
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests"))

from support import tls, zip_fixtures  # noqa: E402
from support.nginx import Nginx  # noqa: E402

MIB = 1048576
PWSH = os.environ.get("VTF_PWSH", str(ROOT / ".tools/pwsh/pwsh"))

DOWNLOAD = r"""
param([string]$Script, [string]$Url, [long]$Size, [string]$Dest)
. $Script
[Net.ServicePointManager]::SecurityProtocol = [Net.SecurityProtocolType]::Tls12
$claims = [pscustomobject]@{ downloadUrl = $Url; sizeBytes = $Size }
$watch = [Diagnostics.Stopwatch]::StartNew()
if ($Size -gt 0) { Receive-VelmoPackage -Claims $claims -Destination $Dest }
[Console]::Out.WriteLine($watch.Elapsed.TotalSeconds)
"""

# The same range requests with the copying left to .NET (Stream.CopyTo): what
# the platform's HTTP client gives without the script's per-chunk checks.
PLATFORM_COPY = r"""
param([string]$Url, [long]$Size, [string]$Dest)
[Net.ServicePointManager]::SecurityProtocol = [Net.SecurityProtocolType]::Tls12
$watch = [Diagnostics.Stopwatch]::StartNew()
$file = [IO.File]::Open($Dest, 'CreateNew', 'Write', 'None')
for ([long]$offset = 0; $offset -lt $Size; $offset += 33554432) {
    $request = [Net.HttpWebRequest]::Create($Url)
    $request.AddRange($offset, [Math]::Min($offset + 33554431, $Size - 1))
    $response = $request.GetResponse()
    $stream = $response.GetResponseStream()
    $stream.CopyTo($file, 1048576)
    $stream.Dispose(); $response.Dispose(); $request.Abort()
}
$file.Dispose()
[Console]::Out.WriteLine($watch.Elapsed.TotalSeconds)
"""

HASH = r"""
param([string]$Path)
$watch = [Diagnostics.Stopwatch]::StartNew()
$null = Get-FileHash -LiteralPath $Path -Algorithm SHA256
[Console]::Out.WriteLine($watch.Elapsed.TotalSeconds)
"""

ARCHIVE = r"""
param([string]$Script, [string]$Path)
. $Script
$claims = [pscustomobject]@{ executableName = 'VELMO_Tallowfin.exe' }
$null = Assert-VelmoArchive -Path $Path -Claims $claims
$watch = [Diagnostics.Stopwatch]::StartNew()
$root = Assert-VelmoArchive -Path $Path -Claims $claims
[Console]::Out.WriteLine($watch.Elapsed.TotalSeconds)
"""


def write_package(path: Path, size: int):
    block = hashlib.shake_256(b"bench").digest(MIB)
    with open(path, "wb") as out:
        for n in range(0, size, MIB):
            out.write(n.to_bytes(8, "little") + block[8:min(MIB, size - n)])


def run_measured(argv, env=None):
    """Runs a program; returns (seconds, peak resident set in MiB)."""
    start = time.monotonic()
    proc = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    _, status, usage = os.wait4(proc.pid, 0)
    seconds = time.monotonic() - start
    out = proc.stdout.read().decode()
    err = proc.stderr.read().decode(errors="replace")
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise RuntimeError(f"{argv[0]} failed ({proc.returncode}): {err}")
    return seconds, usage.ru_maxrss / 1024, out


def script_path(build: Path, folder: Path) -> Path:
    built = build / "win" / "installer-script.ps1"
    if built.exists():
        return built
    out = folder / "installer.ps1"
    subprocess.run([sys.executable, str(ROOT / "tools/embed_script.py"), "--origin", "https://127.0.0.1",
                    "--release-key", str(ROOT / ".local/keys/dev-release.pub"), "--out-script", str(out)],
                   check=True)
    return out


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", type=Path, default=ROOT / "build")
    ap.add_argument("--size-mib", type=int, default=1024, help="size of the large package (default 1024)")
    args = ap.parse_args(argv)

    with tempfile.TemporaryDirectory(prefix="vtf-bench-", dir=os.environ.get("TMPDIR")) as tmp:
        folder = Path(tmp)
        script = script_path(args.build, folder)
        packages = folder / "www" / "beta" / "packages"
        packages.mkdir(parents=True)
        big = args.size_mib * MIB
        sizes = {"1.0.0": big, "0.64.0": 64 * MIB}
        print(f"writing packages of {args.size_mib} MiB and 64 MiB ...", flush=True)
        for version, size in sizes.items():
            write_package(packages / f"{version}.zip", size)
        pki = tls.make_pki(folder / "pki")
        env = dict(os.environ, **tls.trust_env(pki))
        (folder / "download.ps1").write_text(DOWNLOAD)
        (folder / "hash.ps1").write_text(HASH)
        (folder / "copy.ps1").write_text(PLATFORM_COPY)
        (folder / "archive.ps1").write_text(ARCHIVE)
        figures = {}
        with Nginx(folder / "www", pki) as server:
            url = f"{server.origin}/api/releases/download/1.0.0?channel=beta"
            small_url = f"{server.origin}/api/releases/download/0.64.0?channel=beta"

            def script_download(target_url, size, dest):
                seconds, peak, out = run_measured(
                    [PWSH, "-NoProfile", "-NonInteractive", "-File", str(folder / "download.ps1"), str(script),
                     target_url, str(size), str(dest)], env)
                if dest.exists():
                    dest.unlink()
                return float(out.strip().splitlines()[-1]), peak

            print("script download ...", flush=True)
            figures["script_seconds"], figures["peak_big"] = script_download(url, big, folder / "big.download")
            print("curl download ...", flush=True)
            curl_seconds, _, _ = run_measured(["curl", "-sS", "--fail", "--tlsv1.2", "--tls-max", "1.2",
                                               "--cacert", str(pki.ca_cert), "-o", str(folder / "curl.download"),
                                               url])
            figures["curl_seconds"] = curl_seconds
            print(".NET CopyTo download ...", flush=True)
            _, _, out = run_measured([PWSH, "-NoProfile", "-NonInteractive", "-File", str(folder / "copy.ps1"),
                                      url, str(big), str(folder / "copy.download")], env)
            (folder / "copy.download").unlink()
            figures["copyto_seconds"] = float(out.strip().splitlines()[-1])
            print("peak memory runs ...", flush=True)
            _, figures["peak_small"] = script_download(small_url, 64 * MIB, folder / "small.download")
            _, figures["peak_idle"] = script_download(small_url, 0, folder / "none.download")

        target = folder / "curl.download"
        print("hashing ...", flush=True)
        _, _, out = run_measured([PWSH, "-NoProfile", "-NonInteractive", "-File", str(folder / "hash.ps1"),
                                  str(target)])
        figures["filehash_seconds"] = float(out.strip().splitlines()[-1])
        figures["sha256sum_seconds"], _, _ = run_measured(["sha256sum", str(target)])

        print("archive validation ...", flush=True)
        entries = zip_fixtures.package_entries("root") + [
            zip_fixtures.file(f"root/data/{i // 1000:02d}/file{i:05d}.bin") for i in range(50000 - 7)]
        zip_fixtures.write_zip(folder / "entries.zip", entries)
        _, _, out = run_measured([PWSH, "-NoProfile", "-NonInteractive", "-File", str(folder / "archive.ps1"),
                                  str(script), str(folder / "entries.zip")])
        figures["archive_seconds"] = float(out.strip().splitlines()[-1])

    report(figures, big)
    return 0


def report(f, big):
    mib = big / MIB
    script_rate = mib / f["script_seconds"]
    curl_rate = mib / f["curl_seconds"]
    ratio = script_rate / curl_rate
    growth = f["peak_big"] - f["peak_small"]
    hash_ratio = f["filehash_seconds"] / f["sha256sum_seconds"]
    print()
    print(f"download of {mib:.0f} MiB over loopback TLS 1.2")
    print(f"  script (Receive-VelmoPackage)  {f['script_seconds']:8.2f} s  {script_rate:8.1f} MiB/s")
    print(f"  curl                           {f['curl_seconds']:8.2f} s  {curl_rate:8.1f} MiB/s")
    copy_rate = mib / f["copyto_seconds"]
    print(f"  same ranges, .NET CopyTo       {f['copyto_seconds']:8.2f} s  {copy_rate:8.1f} MiB/s"
          f"  (the platform client without the script's checks)")
    print(f"  script / CopyTo throughput     {script_rate / copy_rate:8.2f}")
    print(f"  script / curl throughput       {ratio:8.2f}   (goal >= 0.80: {'met' if ratio >= 0.8 else 'MISSED'})")
    print(f"SHA-256 of {mib:.0f} MiB")
    print(f"  Get-FileHash                   {f['filehash_seconds']:8.2f} s")
    print(f"  sha256sum                      {f['sha256sum_seconds']:8.2f} s")
    print(f"  Get-FileHash / sha256sum time  {hash_ratio:8.2f}")
    print(f"Assert-VelmoArchive, 50000 entries {f['archive_seconds']:6.2f} s")
    print("peak resident memory of the PowerShell process")
    print(f"  loading the script only        {f['peak_idle']:8.1f} MiB")
    print(f"  downloading 64 MiB             {f['peak_small']:8.1f} MiB")
    print(f"  downloading {mib:.0f} MiB           {f['peak_big']:8.1f} MiB")
    print(f"  growth 64 MiB -> {mib:.0f} MiB        {growth:8.1f} MiB  "
          f"(goal <= 16 MiB: {'met' if growth <= 16 else 'MISSED'})")
    print(json.dumps({k: round(v, 3) for k, v in f.items()}))


if __name__ == "__main__":
    sys.exit(main())
