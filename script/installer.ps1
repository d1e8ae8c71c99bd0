# VELMO Tallowfin online installer script.
# Started hidden by the installer window; fetches the signed release record,
# verifies it, downloads and checks the package and runs its installer.
# Every parameter is named; words that a split folder path leaves over land in Tail.
[CmdletBinding(PositionalBinding = $false)]
param(
    [string]$InstallDir = '',
    [int]$Desktop = 0,
    [int]$StartMenu = 0,
    [int]$Startup = 0,
    [Parameter(ValueFromRemainingArguments = $true)]
    [string[]]$Tail
)

$ErrorActionPreference = 'Stop'
[Net.ServicePointManager]::SecurityProtocol = [Net.SecurityProtocolType]::Tls12

# Build-time configuration: written in by the build, never read from any input.
# The version is also the lowest release version accepted and the user agent's token.
$VelmoReleaseOrigin = '__VTF_RELEASE_ORIGIN__'
$VelmoReleaseKeyModulus = '__VTF_RELEASE_KEY_MODULUS__'
$VelmoInstallerVersion = '__VTF_VERSION__'

# The folder of the log, the lock and the attempt folders, from the environment as on Windows.
function Get-VelmoWorkFolder {
    Join-Path $env:LOCALAPPDATA 'VTFI'
}

function Write-InstallLog {
    param([Parameter(Mandatory = $true)] [string]$Message)
    $line = (Get-Date -Format s) + ' ' + $Message
    Add-Content -LiteralPath (Join-Path (Get-VelmoWorkFolder) 'install.log') -Value $line
}

# A folder path split at spaces arrives as InstallDir and the words in Tail.
function Get-VelmoInstallFolder {
    param([string]$InstallDir, [string[]]$Tail)
    $words = @($InstallDir)
    if ($null -ne $Tail) { $words += $Tail }
    ($words -join ' ').Trim()
}

function Get-VelmoReleaseMetadata {
    $request = [Net.HttpWebRequest]::Create($VelmoReleaseOrigin + '/api/releases/latest?channel=beta')
    $request.AllowAutoRedirect = $false
    $request.Timeout = 15000
    $request.ReadWriteTimeout = 15000
    $request.UserAgent = 'VTFI/' + $VelmoInstallerVersion
    $request.Accept = 'application/json'
    $response = $null
    $stream = $null
    $body = $null
    try {
        $response = $request.GetResponse()
        # Without Content-Length the length reads -1 and the count below decides.
        if ([int]$response.StatusCode -ne 200 -or $response.ContentLength -gt 128000) {
            throw 'Invalid release response'
        }
        $stream = $response.GetResponseStream()
        $body = New-Object IO.MemoryStream
        $buffer = New-Object byte[] 8192
        $clock = [Diagnostics.Stopwatch]::StartNew()
        while ($true) {
            $read = $stream.Read($buffer, 0, $buffer.Length)
            if ($read -eq 0) { break }
            if ($body.Length + $read -gt 128000 -or $clock.Elapsed.TotalSeconds -gt 30) {
                throw 'Release response limit exceeded'
            }
            $body.Write($buffer, 0, $read)
        }
        # Strict decoding; a byte-order mark stays in front of the text.
        $strictUtf8 = New-Object Text.UTF8Encoding -ArgumentList $false, $true
        $text = $strictUtf8.GetString($body.ToArray())
        ConvertFrom-Json -InputObject $text
    }
    finally {
        if ($null -ne $body) { $body.Dispose() }
        if ($null -ne $stream) { $stream.Dispose() }
        if ($null -ne $response) { $response.Dispose() }
        $request.Abort()
    }
}

# The release check's clock: the current UTC time in whole Unix seconds.
function Get-VelmoUnixTime {
    [DateTimeOffset]::UtcNow.ToUnixTimeSeconds()
}

function Get-VelmoSignedRelease {
    param(
        [Parameter(Mandatory = $true)] $Manifest,
        [Parameter(Mandatory = $true)] [string]$MinimumVersion
    )
    # Only a real string counts: -ceq on an array filters instead of comparing,
    # so a JSON array such as ["ready"] must not pass for "ready".
    function Test-ExactText($Value, [string]$Expected) {
        ($Value -is [string]) -and ($Value -ceq $Expected)
    }
    function Test-Integer($Value) {
        ($Value -is [int]) -or ($Value -is [long])
    }

    $envelope = $Manifest.signedRelease
    if ($null -eq $envelope -or -not (Test-ExactText $envelope.format 'velmo-release-signature-v1') -or
        -not (Test-ExactText $envelope.keyId 'velmo-release-2026-09')) {
        throw 'Trusted release signature missing'
    }
    $payloadText = $envelope.payload
    $signatureText = $envelope.signature
    if ($payloadText -isnot [string] -or $payloadText.Length -gt 24000 -or
        $signatureText -isnot [string] -or $signatureText.Length -gt 1024) {
        throw 'Invalid release signature encoding'
    }
    $payload = [Convert]::FromBase64String($payloadText)
    $signature = [Convert]::FromBase64String($signatureText)
    if ($signature.Length -ne 512) {
        throw 'Invalid release signature length'
    }

    # The key pinned at build time; a key is never taken from any input.
    $key = New-Object Security.Cryptography.RSAParameters
    $key.Modulus = [Convert]::FromBase64String($VelmoReleaseKeyModulus)
    $key.Exponent = [byte[]](1, 0, 1)
    # Signed message: the 25 ASCII bytes of the prefix, one NUL, the payload.
    $message = New-Object byte[] (26 + $payload.Length)
    [Text.Encoding]::ASCII.GetBytes('VELMO-TALLOWFIN-UPDATE-V1').CopyTo($message, 0)
    $payload.CopyTo($message, 26)
    $verified = $false
    $rsa = $null
    try {
        if ([Environment]::OSVersion.Platform -eq 'Win32NT') {
            # CNG gives Windows PowerShell 5.1 RSA-PSS.
            $rsa = New-Object Security.Cryptography.RSACng
        } else {
            $rsa = [Security.Cryptography.RSA]::Create()
        }
        $rsa.ImportParameters($key)
        $verified = $rsa.VerifyData($message, $signature, [Security.Cryptography.HashAlgorithmName]::SHA256,
            [Security.Cryptography.RSASignaturePadding]::Pss)
    } finally {
        if ($null -ne $rsa) { $rsa.Dispose() }
    }
    if (-not $verified) {
        throw 'Release signature verification failed'
    }

    $strictUtf8 = New-Object Text.UTF8Encoding -ArgumentList $false, $true
    $claims = ConvertFrom-Json -InputObject $strictUtf8.GetString($payload)
    if (-not (Test-ExactText $claims.product 'VELMO_TALLOWFIN_AI') -or -not (Test-ExactText $claims.channel 'beta') -or
        -not (Test-ExactText $Manifest.status 'ready')) {
        throw 'Wrong release product or channel'
    }
    # ASCII digits and \z: .NET's \d takes any Unicode digit, and $ would
    # let a trailing line feed through into the download address.
    $version = $claims.version
    if ($version -isnot [string] -or $version -cnotmatch '^[0-9]{1,4}(?:\.[0-9]{1,4}){2}\z' -or
        [version]$version -lt [version]$MinimumVersion) {
        throw 'Release downgrade refused'
    }
    $expectedUrl = $VelmoReleaseOrigin + '/api/releases/download/' + $version + '?channel=beta'
    if (-not (Test-ExactText $claims.downloadUrl $expectedUrl) -or
        -not (Test-ExactText $claims.executableName 'VELMO_Tallowfin.exe') -or
        $claims.sha256 -isnot [string] -or $claims.sha256 -cnotmatch '^[a-f0-9]{64}\z') {
        throw 'Invalid signed release target'
    }
    foreach ($name in 'sizeBytes', 'issuedAt', 'expiresAt') {
        if (-not (Test-Integer $claims.$name)) {
            throw 'Invalid signed numeric field'
        }
    }
    if ($claims.sizeBytes -le 0 -or $claims.sizeBytes -gt 2000000000) {
        throw 'Invalid signed package size'
    }
    # A [long] difference that overflows becomes a [double]: still too large.
    $now = Get-VelmoUnixTime
    $issuedAt = $claims.issuedAt
    $expiresAt = $claims.expiresAt
    if ($issuedAt -gt $now + 300 -or $expiresAt -le $now -or $expiresAt -le $issuedAt -or
        $expiresAt - $issuedAt -gt 7776000) {
        throw 'Release signature expired or PC clock incorrect'
    }
    foreach ($name in 'product', 'channel', 'version', 'downloadUrl', 'sha256', 'executableName') {
        if (-not (Test-ExactText $Manifest.$name $claims.$name)) {
            throw 'Release metadata differs from signed payload'
        }
    }
    if (-not (Test-Integer $Manifest.sizeBytes) -or $Manifest.sizeBytes -ne $claims.sizeBytes) {
        throw 'Release size differs from signed payload'
    }
    $actualVersion = $Manifest.actualVersion
    if ($null -ne $actualVersion -and -not (Test-ExactText $actualVersion $version)) {
        throw 'Release actual version differs from signed payload'
    }
    $claims
}

# The transfer clock: a stopwatch, made only here so that a test can put a
# clock of its own in its place. Its Elapsed is read after every chunk.
function Start-VelmoTransferClock {
    [Diagnostics.Stopwatch]::StartNew()
}

function Receive-VelmoPackage {
    param(
        [Parameter(Mandatory = $true)] $Claims,
        [Parameter(Mandatory = $true)] [string]$Destination
    )
    [long]$size = $Claims.sizeBytes
    $limit = [TimeSpan]::FromMinutes(30)
    $file = [IO.File]::Open($Destination, [IO.FileMode]::CreateNew, [IO.FileAccess]::Write, [IO.FileShare]::None)
    try {
        $clock = Start-VelmoTransferClock
        [long]$offset = 0
        while ($offset -lt $size) {
            [long]$last = [Math]::Min($offset + 33554432 - 1, $size - 1)
            $expectedRange = 'bytes ' + $offset + '-' + $last + '/' + $size
            for ($attempt = 1; $attempt -le 3; $attempt++) {
                $request = $null; $response = $null; $stream = $null
                try {
                    $request = [Net.HttpWebRequest]::Create($Claims.downloadUrl)
                    $request.AllowAutoRedirect = $false
                    $request.Timeout = 30000
                    $request.ReadWriteTimeout = 30000
                    $request.UserAgent = 'VTFI/' + $VelmoInstallerVersion
                    $request.Headers.Add('Accept-Encoding', 'identity')
                    $request.AddRange($offset, $last)
                    $response = $request.GetResponse()
                    if ([int]$response.StatusCode -ne 206 -or -not [string]::Equals($response.Headers['Content-Range'], $expectedRange, [StringComparison]::Ordinal) -or
                        $response.ContentLength -ne ($last - $offset + 1)) {
                        throw 'Package range differs from signed size'
                    }
                    $stream = $response.GetResponseStream()
                    $buffer = New-Object byte[] 1048576
                    [long]$position = $offset
                    while (($read = $stream.Read($buffer, 0, $buffer.Length)) -gt 0) {
                        $position += $read
                        # Bytes beyond the range, or past the time limit, are never written.
                        if ($position -gt $last + 1 -or $clock.Elapsed -gt $limit) {
                            throw 'Package transfer limit exceeded'
                        }
                        $file.Write($buffer, 0, $read)
                    }
                    if ($position -ne $last + 1) { throw 'Incomplete package range' }
                    break
                } catch {
                    # Nothing of a failed attempt stays in the file.
                    $file.SetLength($offset)
                    $file.Position = $offset
                    if ($attempt -ge 3 -or $clock.Elapsed -gt $limit) { throw }
                } finally {
                    if ($null -ne $stream) { $stream.Dispose() }
                    if ($null -ne $response) { $response.Dispose() }
                    if ($null -ne $request) { $request.Abort() }
                }
            }
            $offset = $last + 1
        }
    } finally {
        $file.Dispose()
    }
}

function Assert-VelmoPackage {
    param(
        [Parameter(Mandatory = $true)] [string]$Path,
        [Parameter(Mandatory = $true)] $Claims
    )
    $item = Get-Item -LiteralPath $Path
    if ($item.Length -ne $Claims.sizeBytes) { throw 'Package size mismatch' }
    # The length is checked first so that a wrong file is never hashed.
    $digest = (Get-FileHash -LiteralPath $Path -Algorithm SHA256).Hash.ToLowerInvariant()
    if ($digest -cne $Claims.sha256) { throw 'Package SHA-256 mismatch' }
}

function Assert-VelmoArchive {
    param(
        [Parameter(Mandatory = $true)] [string]$Path,
        [Parameter(Mandatory = $true)] $Claims
    )
    Add-Type -AssemblyName System.IO.Compression.FileSystem
    # Only the ZIP directory is read here; nothing is decompressed.
    $archive = [IO.Compression.ZipFile]::OpenRead($Path)
    try {
        $entries = $archive.Entries
        if ($entries.Count -lt 1 -or $entries.Count -gt 50000) { throw 'Invalid archive entry count' }
        $reserved = '^(CON|PRN|AUX|NUL|COM[1-9\u00b9\u00b2\u00b3]|LPT[1-9\u00b9\u00b2\u00b3])(?:\..*)?$'
        $files = New-Object 'System.Collections.Generic.HashSet[string]' ([StringComparer]::OrdinalIgnoreCase)
        $root = $null
        [long]$total = 0
        foreach ($entry in $entries) {
            $name = $entry.FullName.Replace('\', '/')
            $parts = $name.TrimEnd('/').Split('/')
            foreach ($part in $parts) {
                if ($part.Length -eq 0 -or $part -ceq '.' -or $part -ceq '..' -or
                    $part -cne $part.TrimEnd(' ', '.') -or
                    $part -cmatch '[<>:"|?*\x00-\x1f]' -or $part -imatch $reserved) {
                    throw 'Unsafe archive path'
                }
            }
            if ($null -eq $root) { $root = $parts[0] }
            # Ordinal: a culture comparison would take "ro<soft hyphen>ot" for "root".
            if (-not [string]::Equals($parts[0], $root, [StringComparison]::Ordinal) -or $parts.Count -lt 2) {
                throw 'Archive must have one root directory'
            }
            # The Unix file type sits in the high half; the shift keeps the sign,
            # and the mask drops it again.
            if ((($entry.ExternalAttributes -shr 16) -band 61440) -eq 40960) { throw 'Archive symlink refused' }
            $total += $entry.Length
            if ($total -gt 2500000000) { throw 'Archive expanded size exceeds limit' }
            if (-not $name.EndsWith('/', [StringComparison]::Ordinal)) {
                if (-not $files.Add($name)) { throw 'Duplicate archive path' }
            }
        }
        $required = @('release.json', 'integrity_manifest.json', 'app/main.py', 'app/runtime.py',
            'config.json', 'installer/Install-VelmoTallowfin.ps1', $Claims.executableName)
        foreach ($file in $required) {
            if (-not $files.Contains($root + '/' + $file)) { throw 'Required package file missing' }
        }
        return $root
    } finally {
        $archive.Dispose()
    }
}

# The failure message box of Windows PowerShell; the script waits until it is closed.
function Show-VelmoFailure {
    param([Parameter(Mandatory = $true)] [string]$Text)
    Add-Type -AssemblyName System.Windows.Forms
    $null = [Windows.Forms.MessageBox]::Show($Text, 'VELMO Tallowfin')
}

# One installation attempt. Ends the process with 0, 10 (network) or 1.
function Invoke-VelmoInstall {
    param(
        [string]$InstallDir = '',
        [int]$Desktop = 0,
        [int]$StartMenu = 0,
        [int]$Startup = 0,
        [string[]]$Tail
    )
    $installFolder = Get-VelmoInstallFolder -InstallDir $InstallDir -Tail $Tail
    $workFolder = Get-VelmoWorkFolder
    $null = New-Item -Path $workFolder -ItemType Directory -Force
    $logPath = Join-Path $workFolder 'install.log'
    $attemptFolder = Join-Path $workFolder ([Guid]::NewGuid().ToString('N'))
    $lock = $null
    try {
        $lock = [IO.File]::Open((Join-Path $workFolder 'install.lock'), [IO.FileMode]::OpenOrCreate,
            [IO.FileAccess]::ReadWrite, [IO.FileShare]::None)
        $null = New-Item -Path $attemptFolder -ItemType Directory
        Write-InstallLog -Message 'start'
        $manifest = Get-VelmoReleaseMetadata
        $claims = Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion $VelmoInstallerVersion
        Write-InstallLog -Message 'signature verified'
        $packagePath = Join-Path $attemptFolder 'package.zip'
        Write-InstallLog -Message 'download'
        Receive-VelmoPackage -Claims $claims -Destination $packagePath
        # Verified again with a fresh clock: a signature may expire during the download.
        $claims = Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion $VelmoInstallerVersion
        Assert-VelmoPackage -Path $packagePath -Claims $claims
        $rootName = Assert-VelmoArchive -Path $packagePath -Claims $claims
        $stageFolder = Join-Path $attemptFolder 'stage'
        $null = New-Item -Path $stageFolder -ItemType Directory
        Write-InstallLog -Message 'extract'
        Expand-Archive -LiteralPath $packagePath -DestinationPath $stageFolder
        $sourceRoot = Join-Path $stageFolder $rootName
        $release = ConvertFrom-Json -InputObject (Get-Content -LiteralPath (Join-Path $sourceRoot 'release.json') -Raw)
        if ($release.version -isnot [string] -or $release.version -cne $claims.version) {
            throw 'Extracted version differs from signed release'
        }
        $packagedInstaller = Join-Path $sourceRoot 'installer/Install-VelmoTallowfin.ps1'
        $arguments = @('-NoProfile', '-ExecutionPolicy', 'Bypass', '-File', $packagedInstaller,
            '-SourceRoot', $sourceRoot, '-InstallDir', $installFolder, '-Desktop', $Desktop,
            '-StartMenu', $StartMenu, '-Startup', $Startup, '-SelectLanguage', 1,
            '-ExpectedVersion', [string]$claims.version)
        Write-InstallLog -Message 'install'
        # The packaged installer shares this hidden console; the script waits for it.
        & (Join-Path $PSHOME 'powershell.exe') $arguments
        $installExit = $LASTEXITCODE
        if ($installExit -ne 0) {
            throw ('Install script exit ' + $installExit)
        }
        Write-InstallLog -Message 'success'
        exit 0
    }
    catch {
        $failure = $_.Exception
        Write-InstallLog -Message ('FAILED ' + $failure.Message)
        # A failing .NET call arrives wrapped once; nothing deeper counts.
        $network = ($failure -is [Net.WebException]) -or ($failure.InnerException -is [Net.WebException])
        if ($network) {
            $hint = 'An Internet connection is required. Check your connection and try again.'
        } else {
            $hint = 'The installation could not be completed. See the log for details.'
        }
        Show-VelmoFailure -Text ($hint + "`r`n" + 'Install failed: ' + $failure.Message + "`r`n" + 'Log: ' + $logPath)
        if ($network) { exit 10 }
        exit 1
    }
    finally {
        if (Test-Path -LiteralPath $attemptFolder) {
            Remove-Item -LiteralPath $attemptFolder -Recurse -Force -ErrorAction SilentlyContinue
        }
        if ($null -ne $lock) { $lock.Dispose() }
    }
}

# The main sequence runs only when the script is executed, not dot-sourced.
if ($MyInvocation.InvocationName -ne '.') {
    Invoke-VelmoInstall -InstallDir $InstallDir -Desktop $Desktop -StartMenu $StartMenu -Startup $Startup -Tail $Tail
    exit 1
}
