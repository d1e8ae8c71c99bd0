"""Receive-VelmoPackage against a server that answers range requests badly on purpose.

One fault server holds one package per case (the path names the case) and
answers by the case's scenario; one PowerShell process dot-sources the built
installer script and downloads every case in turn. The transfer clock is
replaced after dot-sourcing, so that it can show 30 minutes, or a moment more
once the server has created a marker file; breakpoints record what the file
holds before each write and when the transfer limit is thrown.
"""
import hashlib
import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

from support import tls
from support.range_fault_server import Answer, RangeFaultServer

SOURCE = Path(os.environ.get("VTF_SOURCE_DIR", Path(__file__).resolve().parents[2]))
PWSH = os.environ.get("VTF_PWSH", str(SOURCE / ".tools/pwsh/pwsh"))

RANGE = 33554432
RANGE_DIFFERS = "Package range differs from signed size"
LIMIT = "Package transfer limit exceeded"
INCOMPLETE = "Incomplete package range"


def pattern(size: int, seed: int) -> bytes:
    """Incompressible-looking bytes, quick to make and the same every run."""
    block = hashlib.sha256(seed.to_bytes(4, "little")).digest() * 2048  # 64 KiB
    counter = bytes(range(256)) * 256
    block = bytes(a ^ b for a, b in zip(block, counter))
    return (block * (size // len(block) + 1))[:size]


SMALL = pattern(1000, 1)
TWO_RANGES = pattern(RANGE + 1000, 2)
BIG_SECOND = pattern(RANGE + 4 * 1048576, 3)

RUNNER = r"""
param([string]$Script, [string]$Cases)
. $Script
$clockMode = 'real'
$clockMarker = ''
# Replaces the product's clock with one that can show 30 minutes, or a moment
# more once the fault server has created the marker file.
function Start-VelmoTransferClock {
    $clock = [pscustomobject]@{ Watch = [Diagnostics.Stopwatch]::StartNew() }
    Add-Member -InputObject $clock -MemberType ScriptProperty -Name Elapsed -Value {
        if ($clockMode -eq 'exactly30') { return [TimeSpan]::FromMinutes(30) }
        if ($clockMode -eq 'marker' -and (Test-Path -LiteralPath $clockMarker)) {
            return [TimeSpan]::FromMinutes(30).Add([TimeSpan]::FromTicks(1))
        }
        $this.Watch.Elapsed
    }
    $clock
}
# Breakpoints record the download's state just before each write to the file,
# and at the moment the transfer limit is thrown.
# (The actions see the download's variables: they run in its scope.)
function Set-Probe([string]$Text, [scriptblock]$Action) {
    $line = (Select-String -LiteralPath $Script -SimpleMatch $Text).LineNumber
    if (@($line).Count -ne 1) { throw "no single line holds $Text" }
    $null = Set-PSBreakpoint -Script $Script -Line $line -Action $Action
}
$writeLog = New-Object System.Collections.ArrayList
$limitLog = New-Object System.Collections.ArrayList
Set-Probe '$file.Write($buffer, 0, $read)' {
    [void]$writeLog.Add(@{ attempt = $attempt; offset = $offset; fileLength = $file.Length })
}
Set-Probe "throw 'Package transfer limit exceeded'" {
    [void]$limitLog.Add(@{ fileLength = $file.Length; position = $position })
}
$results = @{}
foreach ($case in (Get-Content -LiteralPath $Cases -Raw | ConvertFrom-Json)) {
    $clockMode = $case.clock
    $clockMarker = $case.marker
    $writeLog.Clear()
    $limitLog.Clear()
    $claims = [pscustomobject]@{ downloadUrl = $case.url; sizeBytes = [long]$case.size }
    $r = @{}
    $started = [Diagnostics.Stopwatch]::StartNew()
    try {
        Receive-VelmoPackage -Claims $claims -Destination $case.dest
        $r.ok = $true
    } catch {
        $r.ok = $false
        $r.message = $_.Exception.Message
        $r.type = $_.Exception.GetType().FullName
        if ($_.Exception.InnerException) { $r.inner = $_.Exception.InnerException.GetType().FullName }
    }
    $r.seconds = $started.Elapsed.TotalSeconds
    if (Test-Path -LiteralPath $case.dest) {
        $r.length = (Get-Item -LiteralPath $case.dest).Length
        $r.sha256 = (Get-FileHash -LiteralPath $case.dest -Algorithm SHA256).Hash.ToLowerInvariant()
        try { $probe = [IO.File]::Open($case.dest, 'Open', 'ReadWrite', 'None'); $probe.Dispose(); $r.released = $true }
        catch { $r.released = $false }
    }
    $r.writes = @($writeLog)
    $r.limit = @($limitLog)
    $results[$case.name] = $r
}
ConvertTo-Json -InputObject $results -Depth 4 -Compress
"""


def build_script(folder: Path) -> Path:
    out = folder / "installer.ps1"
    subprocess.run([sys.executable, str(SOURCE / "tools/embed_script.py"), "--origin", "https://127.0.0.1",
                    "--release-key", str(SOURCE / ".local/keys/dev-release.pub"), "--out-script", str(out)],
                   check=True)
    return out


class Case:
    def __init__(self, name, data, scenario, clock="real", marker_on=None):
        self.name, self.data, self.scenario, self.clock = name, data, scenario, clock
        self.marker_on = marker_on  # (range start, attempt) whose arrival creates the clock's marker


def fixed(answer):
    return lambda request: answer


def first_attempts_fail(count, answer):
    return lambda request: answer if request.attempt <= count else Answer()


def on_range(start, answer_for_attempt):
    return lambda request: answer_for_attempt(request.attempt) if request.range[0] == start else Answer()


CASES = [
    Case("ok-small", SMALL, fixed(Answer())),
    Case("ok-two-ranges", TWO_RANGES, fixed(Answer())),
    Case("ignores-range", SMALL, fixed(Answer(status=200, whole_file=True, content_range=None))),
    Case("ignores-range-two", TWO_RANGES, fixed(Answer(status=200, whole_file=True, content_range=None))),
    Case("total-unknown", SMALL, fixed(Answer(content_range="bytes 0-999/*"))),
    # The HTTP client of PowerShell 7 hands the script a re-formatted
    # Content-Range when it can parse it ("bytes 0 - 999/1000" and
    # "bytes 0-999/01000" arrive as "bytes 0-999/1000"); the one of Windows
    # PowerShell 5.1 hands over the text as sent. These reach both unchanged.
    Case("no-space-after-unit", SMALL, fixed(Answer(content_range="bytes0-999/1000"))),
    Case("capital-unit", SMALL, fixed(Answer(content_range="Bytes 0-999/1000"))),
    Case("signed-total", SMALL, fixed(Answer(content_range="bytes 0-999/+1000"))),
    Case("trailing-text", SMALL, fixed(Answer(content_range="bytes 0-999/1000x"))),
    # A soft hyphen inside the numbers: equal to the right text for a culture
    # comparison, not for an exact one.
    Case("invisible-character", SMALL, fixed(Answer(content_range="bytes 0-999/10\u00ad00"))),
    Case("two-content-ranges", SMALL, fixed(Answer(content_range="bytes 0-999/1000, bytes 0-999/1000"))),
    Case("wrong-total", SMALL, fixed(Answer(content_range="bytes 0-999/1001"))),
    Case("no-content-range", SMALL, fixed(Answer(content_range=None))),
    Case("status-200-exact-headers", SMALL, fixed(Answer(status=200))),
    Case("redirect", SMALL, fixed(Answer(status=302, content_range=None))),
    Case("length-short", SMALL, fixed(Answer(content_length=999, chunked=True))),
    Case("length-long", SMALL, fixed(Answer(content_length=1001, chunked=True, extra=1))),
    Case("length-absent", SMALL, fixed(Answer(content_length=None, chunked=True))),
    Case("extra-bytes", TWO_RANGES, on_range(RANGE, lambda a: Answer(chunked=True, extra=1))),
    Case("early-end", TWO_RANGES, on_range(RANGE, lambda a: Answer(chunked=True, send=999))),
    Case("drop-second-range", BIG_SECOND,
         on_range(RANGE, lambda a: Answer(send=2 * 1048576, drop=True) if a == 1 else Answer())),
    Case("two-failures-each-range", TWO_RANGES, first_attempts_fail(2, Answer(content_range="bytes */1"))),
    Case("unavailable", SMALL, fixed(Answer(status=503, content_range=None))),
    Case("not-satisfiable", SMALL, fixed(Answer(status=416, content_range="bytes */1000"))),
    Case("clock-exactly-30-minutes", TWO_RANGES, fixed(Answer()), clock="exactly30"),
    Case("clock-passes-during-second-range", TWO_RANGES, fixed(Answer()), clock="marker", marker_on=(RANGE, 1)),
    Case("clock-passed-when-retrying", TWO_RANGES, fixed(Answer(status=200, content_range=None)),
         clock="marker", marker_on=(0, 1)),
    Case("stall-then-recover", SMALL, first_attempts_fail(1, Answer(stall_after=500, stall_seconds=45))),
]


class RangeDownloadFaults(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        folder = Path(cls.tmp.name)
        script = build_script(folder)
        cls.cases = {c.name: c for c in CASES}
        by_path = {f"/api/releases/download/{c.name}": c for c in CASES}

        def scenario(request):
            case = by_path[request.path]
            if case.marker_on == (request.range[0], request.attempt):
                (folder / f"{case.name}.marker").write_text("now")
            return case.scenario(request)

        pki = tls.make_pki(folder / "pki")
        with RangeFaultServer({p: c.data for p, c in by_path.items()}, tls.server_context(pki), scenario,
                              max_requests=200) as server:
            table = [{"name": c.name, "url": server.url(p), "size": len(c.data), "clock": c.clock,
                      "marker": str(folder / f"{c.name}.marker"), "dest": str(folder / f"{c.name}.zip")}
                     for p, c in by_path.items()]
            (folder / "cases.json").write_text(json.dumps(table))
            (folder / "runner.ps1").write_text(RUNNER)
            env = dict(os.environ, **tls.trust_env(pki))
            proc = subprocess.run([PWSH, "-NoProfile", "-NonInteractive", "-File", str(folder / "runner.ps1"),
                                   str(script), str(folder / "cases.json")],
                                  capture_output=True, text=True, timeout=900, env=env)
        if proc.returncode != 0:
            raise AssertionError(f"PowerShell failed:\n{proc.stdout}\n{proc.stderr}")
        cls.results = json.loads(proc.stdout)
        cls.requests = {}
        for request in server.requests:
            cls.requests.setdefault(request.path.rsplit("/", 1)[1], []).append(request)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def ranges(self, name):
        return [r.range for r in self.requests.get(name, [])]

    def assertDownloaded(self, name):
        result = self.results[name]
        self.assertTrue(result["ok"], result.get("message"))
        self.assertEqual(result["sha256"], hashlib.sha256(self.cases[name].data).hexdigest())

    def assertFailed(self, name, message, length):
        result = self.results[name]
        self.assertFalse(result["ok"])
        self.assertEqual(result["message"], message)
        self.assertEqual(result["length"], length)
        self.assertTrue(result["released"], "the package file was left open")

    def test_correct_answers_give_the_package(self):
        for name, ranges in (("ok-small", [(0, 999)]),
                             ("ok-two-ranges", [(0, RANGE - 1), (RANGE, RANGE + 999)])):
            with self.subTest(name):
                self.assertDownloaded(name)
                self.assertEqual(self.ranges(name), ranges)
                self.assertTrue(self.results[name]["released"])
                for request in self.requests[name]:
                    self.assertEqual(request.headers.get("user-agent"), "VTFI/0.19.21")
                    self.assertEqual(request.headers.get("accept-encoding"), "identity")

    def test_answers_that_break_the_range_rules_are_tried_three_times(self):
        for name in ("ignores-range", "total-unknown", "no-space-after-unit", "capital-unit", "signed-total",
                     "trailing-text", "invisible-character", "two-content-ranges", "wrong-total", "no-content-range", "status-200-exact-headers",
                     "redirect", "length-short", "length-long", "length-absent"):
            with self.subTest(name):
                self.assertFailed(name, RANGE_DIFFERS, 0)
                self.assertEqual(self.ranges(name), [(0, 999)] * 3)

    def test_a_server_ignoring_the_range_fails_on_the_first_range(self):
        self.assertFailed("ignores-range-two", RANGE_DIFFERS, 0)
        self.assertEqual(self.ranges("ignores-range-two"), [(0, RANGE - 1)] * 3)

    def test_bytes_beyond_the_range_are_never_written(self):
        self.assertFailed("extra-bytes", LIMIT, RANGE)
        self.assertEqual(self.ranges("extra-bytes"), [(0, RANGE - 1)] + [(RANGE, RANGE + 999)] * 3)
        # When the limit is thrown, the chunk that broke it is not in the file.
        seen = self.results["extra-bytes"]["limit"]
        self.assertEqual(len(seen), 3)
        for moment in seen:
            self.assertEqual(moment["position"], RANGE + 1001)
            self.assertLess(moment["fileLength"], RANGE + 1000)
        with open(self.tmp.name + "/extra-bytes.zip", "rb") as f:
            self.assertEqual(f.read(), TWO_RANGES[:RANGE])

    def test_an_early_end_is_incomplete(self):
        self.assertFailed("early-end", INCOMPLETE, RANGE)
        self.assertEqual(self.ranges("early-end"), [(0, RANGE - 1)] + [(RANGE, RANGE + 999)] * 3)

    def test_a_dropped_connection_cuts_the_file_back_and_asks_again(self):
        self.assertDownloaded("drop-second-range")
        second = (RANGE, len(BIG_SECOND) - 1)
        self.assertEqual(self.ranges("drop-second-range"), [(0, RANGE - 1), second, second])
        writes = [w for w in self.results["drop-second-range"]["writes"] if w["offset"] == RANGE]
        self.assertTrue(any(w["attempt"] == 1 and w["fileLength"] > RANGE for w in writes),
                        "the dropped attempt never wrote any bytes, so nothing was cut back")
        retry = [w for w in writes if w["attempt"] == 2]
        self.assertEqual(retry[0]["fileLength"], RANGE, "the failed attempt's bytes were kept")

    def test_each_range_has_its_own_three_attempts(self):
        self.assertDownloaded("two-failures-each-range")
        self.assertEqual(self.ranges("two-failures-each-range"),
                         [(0, RANGE - 1)] * 3 + [(RANGE, RANGE + 999)] * 3)

    def test_error_statuses_are_network_failures(self):
        for name in ("unavailable", "not-satisfiable"):
            with self.subTest(name):
                result = self.results[name]
                self.assertFalse(result["ok"])
                self.assertEqual(result.get("inner"), "System.Net.WebException", result)
                self.assertEqual(result["length"], 0)
                self.assertEqual(self.ranges(name), [(0, 999)] * 3)

    def test_exactly_30_minutes_is_within_the_limit(self):
        self.assertDownloaded("clock-exactly-30-minutes")

    def test_the_clock_passing_30_minutes_ends_at_the_next_chunk_without_another_attempt(self):
        self.assertFailed("clock-passes-during-second-range", LIMIT, RANGE)
        self.assertEqual(self.ranges("clock-passes-during-second-range"), [(0, RANGE - 1), (RANGE, RANGE + 999)])
        [moment] = self.results["clock-passes-during-second-range"]["limit"]
        self.assertGreater(moment["position"], RANGE)
        self.assertEqual(moment["fileLength"], RANGE, "the chunk read after the limit was written")

    def test_a_failure_after_30_minutes_is_not_tried_again(self):
        self.assertFailed("clock-passed-when-retrying", RANGE_DIFFERS, 0)
        self.assertEqual(self.ranges("clock-passed-when-retrying"), [(0, RANGE - 1)])

    def test_a_stalled_body_times_out_after_30_seconds_and_is_asked_again(self):
        self.assertDownloaded("stall-then-recover")
        first, second = self.requests["stall-then-recover"]
        self.assertEqual(self.ranges("stall-then-recover"), [(0, 999)] * 2)
        self.assertGreater(second.time - first.time, 29)
        self.assertLess(second.time - first.time, 44, "the retry waited for the server, not for the time-out")


if __name__ == "__main__":
    unittest.main()
