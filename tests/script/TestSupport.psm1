# Helpers for the installer script's Pester tests. They drive the Python test
# support in tests/support (the test CA, the fault-injecting server, the script
# bed) as programs, so Pester and Python tests share one implementation.
#
#   New-VtfTestPki          test CA and a server certificate for 127.0.0.1
#   Set-VtfProcessTrust     make this process trust that CA (before its first TLS use)
#   New-VtfReleaseKey       a release key pair of the test's own
#   New-VtfInstallerScript  the installer script built for an origin and a key
#   Start-VtfFaultServer    the fault-injecting HTTPS server with a scenario
#   Get-VtfFaultServerRequest / Stop-VtfFaultServer
#   New-VtfScriptBed        what whole runs need: private PowerShell home with the
#                           powershell.exe stand-in, Windows Forms stand-in, CA, key
#   Invoke-VtfScriptRun     run the installer script whole, as the window does

$ErrorActionPreference = 'Stop'
$script:SourceDir = $env:VTF_SOURCE_DIR
if (-not $script:SourceDir) { $script:SourceDir = (Resolve-Path (Join-Path $PSScriptRoot '../..')).Path }
$script:TestsDir = Join-Path $script:SourceDir 'tests'

function New-VtfProcessStart {
    param([string]$FileName, [string[]]$ArgumentList, [hashtable]$Environment, [string]$WorkingDirectory)
    $start = [Diagnostics.ProcessStartInfo]::new($FileName)
    foreach ($argument in $ArgumentList) { $start.ArgumentList.Add($argument) }
    $start.UseShellExecute = $false
    $start.RedirectStandardOutput = $true
    $start.RedirectStandardError = $true
    $start.Environment['PYTHONPATH'] = $script:TestsDir
    $start.Environment['PYTHONDONTWRITEBYTECODE'] = '1'
    if ($Environment) {
        foreach ($name in $Environment.Keys) {
            if ($null -eq $Environment[$name]) { $null = $start.Environment.Remove($name) }
            else { $start.Environment[$name] = [string]$Environment[$name] }
        }
    }
    if ($WorkingDirectory) { $start.WorkingDirectory = $WorkingDirectory }
    $start
}

# Runs python3 with the test support on its path; returns its standard output.
function Invoke-VtfPython {
    param([Parameter(Mandatory = $true)] [string[]]$ArgumentList)
    $process = [Diagnostics.Process]::Start((New-VtfProcessStart -FileName 'python3' -ArgumentList $ArgumentList))
    $out = $process.StandardOutput.ReadToEndAsync()
    $err = $process.StandardError.ReadToEndAsync()
    if (-not $process.WaitForExit(300000)) { $process.Kill($true); throw "python3 $ArgumentList timed out" }
    $process.WaitForExit()
    if ($process.ExitCode -ne 0) { throw "python3 $ArgumentList failed: $($err.Result)" }
    $out.Result
}

function New-VtfTestPki {
    param([Parameter(Mandatory = $true)] [string]$Folder)
    $made = Invoke-VtfPython -ArgumentList @('-m', 'support.tls', 'make', $Folder) | ConvertFrom-Json
    [pscustomobject]@{ CaCert = $made.ca_cert; Cert = $made.cert; Key = $made.key }
}

# .NET on Linux keeps its own copy of the environment; OpenSSL reads the native
# one when it first loads its trust store, so the variables are set there too.
function Set-VtfProcessTrust {
    param([Parameter(Mandatory = $true)] [string]$CaCert)
    if (-not ('VtfTestSupport.Native' -as [type])) {
        Add-Type -Namespace VtfTestSupport -Name Native -MemberDefinition @'
[DllImport("libc", SetLastError = true)]
public static extern int setenv(string name, string value, int overwrite);
'@
    }
    $certDir = Join-Path ([IO.Path]::GetDirectoryName($CaCert)) 'no-certs'
    foreach ($pair in @(@('SSL_CERT_FILE', $CaCert), @('SSL_CERT_DIR', $certDir))) {
        if ([VtfTestSupport.Native]::setenv($pair[0], $pair[1], 1) -ne 0) { throw "setenv $($pair[0]) failed" }
        [Environment]::SetEnvironmentVariable($pair[0], $pair[1])
    }
}

# A new release key pair (velmo-release keygen): Pem (private) and Pub (the pinned modulus).
function New-VtfReleaseKey {
    param([Parameter(Mandatory = $true)] [string]$Folder)
    $made = Invoke-VtfPython -ArgumentList @('-m', 'support.script_runner', 'key', $Folder) | ConvertFrom-Json
    [pscustomobject]@{ Pem = $made.pem; Pub = $made.pub }
}

function New-VtfInstallerScript {
    param(
        [Parameter(Mandatory = $true)] [string]$Origin,
        [Parameter(Mandatory = $true)] [string]$ReleaseKey,
        [Parameter(Mandatory = $true)] [string]$Path
    )
    $null = Invoke-VtfPython -ArgumentList @((Join-Path $script:SourceDir 'tools/embed_script.py'),
        '--origin', $Origin, '--release-key', $ReleaseKey, '--out-script', $Path)
    $Path
}

# Scenario: a hashtable in the form that tests/support/fault_server.py describes.
function Start-VtfFaultServer {
    param(
        [Parameter(Mandatory = $true)] [hashtable]$Scenario,
        [Parameter(Mandatory = $true)] $Pki,
        [Parameter(Mandatory = $true)] [string]$Folder,
        [int]$MaxRequests = 64,
        [int]$MaxSeconds = 300
    )
    $null = New-Item -ItemType Directory -Force -Path $Folder
    $name = [Guid]::NewGuid().ToString('N')
    $scenarioPath = Join-Path $Folder "$name.scenario.json"
    $recordPath = Join-Path $Folder "$name.requests.jsonl"
    Set-Content -LiteralPath $scenarioPath -Value (ConvertTo-Json -InputObject $Scenario -Depth 10)
    $start = New-VtfProcessStart -FileName 'python3' -ArgumentList @('-m', 'support.fault_server',
        '--cert', $Pki.Cert, '--key', $Pki.Key, '--scenario', $scenarioPath, '--record', $recordPath,
        '--max-requests', $MaxRequests, '--max-seconds', $MaxSeconds, '--stop-on-eof')
    $start.RedirectStandardInput = $true
    # Its diagnostics go straight to the test's output; an unread pipe could stall it.
    $start.RedirectStandardError = $false
    $process = [Diagnostics.Process]::Start($start)
    $line = $process.StandardOutput.ReadLineAsync()
    if (-not $line.Wait(30000) -or -not $line.Result) {
        $process.Kill($true)
        throw 'fault server did not start'
    }
    $port = ($line.Result | ConvertFrom-Json).port
    [pscustomobject]@{
        Process = $process; Port = $port; Origin = "https://127.0.0.1:$port"; RecordPath = $recordPath
    }
}

function Get-VtfFaultServerRequest {
    param([Parameter(Mandatory = $true)] $Server)
    if (-not (Test-Path -LiteralPath $Server.RecordPath)) { return }
    Get-Content -LiteralPath $Server.RecordPath | Where-Object { $_ } | ForEach-Object { $_ | ConvertFrom-Json }
}

function Stop-VtfFaultServer {
    param([Parameter(Mandatory = $true)] $Server)
    $Server.Process.StandardInput.Close()
    if (-not $Server.Process.WaitForExit(10000)) { $Server.Process.Kill($true) }
    $Server.Process.Dispose()
}

function New-VtfScriptBed {
    param([Parameter(Mandatory = $true)] [string]$Folder)
    $null = New-Item -ItemType Directory -Force -Path $Folder
    Invoke-VtfPython -ArgumentList @('-m', 'support.script_runner', 'bed', $Folder) | ConvertFrom-Json
}

# Runs a built script whole in the bed's PowerShell, with the window's command
# line. LocalAppData: the folder for LOCALAPPDATA. Returns the exit code, the
# output, the log lines and the message boxes (caption and text) shown.
function Invoke-VtfScriptRun {
    param(
        [Parameter(Mandatory = $true)] $Bed,
        [Parameter(Mandatory = $true)] [string]$Script,
        [Parameter(Mandatory = $true)] [string]$LocalAppData,
        [string[]]$Arguments = @('-InstallDir', 'C:\Program Files\VELMO Tallowfin', '-Desktop', '1',
            '-StartMenu', '1', '-Startup', '0'),
        [hashtable]$Environment = @{},
        [int]$TimeoutSeconds = 180
    )
    $boxes = Join-Path $LocalAppData '..' ('boxes-' + [Guid]::NewGuid().ToString('N'))
    $null = New-Item -ItemType Directory -Force -Path $LocalAppData, $boxes
    $runEnvironment = @{ LOCALAPPDATA = $LocalAppData; VTF_TEST_MESSAGEBOX_DIR = $boxes }
    foreach ($property in $Bed.env.PSObject.Properties) { $runEnvironment[$property.Name] = $property.Value }
    foreach ($name in $Environment.Keys) { $runEnvironment[$name] = $Environment[$name] }
    $start = New-VtfProcessStart -FileName $Bed.powershell -Environment $runEnvironment `
        -ArgumentList (@('-NoProfile', '-ExecutionPolicy', 'Bypass', '-File', $Script) + $Arguments)
    $process = [Diagnostics.Process]::Start($start)
    $out = $process.StandardOutput.ReadToEndAsync()
    $err = $process.StandardError.ReadToEndAsync()
    if (-not $process.WaitForExit($TimeoutSeconds * 1000)) {
        $process.Kill($true)
        throw "installer script still running after $TimeoutSeconds s"
    }
    $process.WaitForExit()
    $log = Join-Path $LocalAppData 'VTFI/install.log'
    $lines = @()
    if (Test-Path -LiteralPath $log) { $lines = @(Get-Content -LiteralPath $log) }
    $shown = @(Get-ChildItem -LiteralPath $boxes -Filter 'box*.txt' | Sort-Object { [int]($_.BaseName -replace '\D', '') } |
        ForEach-Object {
            $caption, $text = [IO.File]::ReadAllText($_.FullName).Split([char]0, 2)
            [pscustomobject]@{ Caption = $caption; Text = $text }
        })
    [pscustomobject]@{
        ExitCode = $process.ExitCode; Output = $out.Result + $err.Result; LogPath = $log
        LogLines = $lines; Boxes = $shown
    }
}

Export-ModuleMember -Function New-VtfTestPki, Set-VtfProcessTrust, New-VtfReleaseKey, New-VtfInstallerScript, Start-VtfFaultServer,
    Get-VtfFaultServerRequest, Stop-VtfFaultServer, New-VtfScriptBed, Invoke-VtfScriptRun
