# Get-VelmoSignedRelease: only a release record signed with the pinned key,
# fresh, not a downgrade and repeated by the manifest is accepted.
#
# The table of manifests comes from tests/support/release_cases.py (signed with
# the openssl command line); velmo-release verify is held to the same table in
# tests/tools/test_velmo_release_verify.py.
BeforeDiscovery {
    $source = $env:VTF_SOURCE_DIR
    if (-not $source) { $source = (Resolve-Path "$PSScriptRoot/../..").Path }
    if (-not $env:PYTHONPATH) { $env:PYTHONPATH = Join-Path $source 'tests' }
    $work = Join-Path ([IO.Path]::GetTempPath()) ('vtf-signed-release-' + [Guid]::NewGuid().ToString('N'))
    & python3 -m support.release_cases write $work
    if ($LASTEXITCODE -ne 0) { throw 'writing the release cases failed' }
    # Discovery and run are separate phases; the environment carries the folder across.
    $env:VTF_RELEASE_CASES = $work
    $index = Get-Content -Raw -LiteralPath (Join-Path $work 'index.json') | ConvertFrom-Json
    $cases = @($index.cases | ForEach-Object { @{ Name = $_.name; File = $_.file; Expect = $_.expect } })
}

BeforeAll {
    $source = $env:VTF_SOURCE_DIR
    if (-not $source) { $source = (Resolve-Path "$PSScriptRoot/../..").Path }
    $work = $env:VTF_RELEASE_CASES
    $index = Get-Content -Raw -LiteralPath (Join-Path $work 'index.json') | ConvertFrom-Json
    $tool = Join-Path $env:VTF_HOST_BUILD_DIR 'tools/velmo-release/velmo-release'

    $script = Join-Path $work 'installer.ps1'
    & python3 (Join-Path $source 'tools/embed_script.py') --origin $index.origin `
        --release-key $index.publicKey --out-script $script
    if ($LASTEXITCODE -ne 0) { throw 'embed_script failed' }
    . $script

    $ruleMessages = @(
        'Trusted release signature missing', 'Invalid release signature encoding',
        'Invalid release signature length', 'Release signature verification failed',
        'Wrong release product or channel', 'Release downgrade refused', 'Invalid signed release target',
        'Invalid signed numeric field', 'Invalid signed package size',
        'Release signature expired or PC clock incorrect', 'Release metadata differs from signed payload',
        'Release size differs from signed payload', 'Release actual version differs from signed payload')

    function Read-Manifest([string]$Path) {
        Get-Content -Raw -LiteralPath $Path | ConvertFrom-Json
    }
    function Get-CaseFile([string]$Name) {
        ($index.cases | Where-Object { $_.name -ceq $Name }).file
    }
    function Invoke-ReleaseTool {
        $output = & $tool @args 2>&1
        [pscustomobject]@{ ExitCode = $LASTEXITCODE; Output = ($output | Out-String).Trim() }
    }
}

AfterAll {
    if ($env:VTF_RELEASE_CASES) { Remove-Item -LiteralPath $env:VTF_RELEASE_CASES -Recurse -Force -ErrorAction SilentlyContinue }
}

Describe 'Get-VelmoSignedRelease against the table of manifests' {
    BeforeAll {
        Mock Get-VelmoUnixTime { [long]$index.now }
    }

    It '<Name>: <Expect>' -ForEach $cases {
        $manifest = Read-Manifest $File
        if ($Expect -ceq 'accept') {
            $claims = Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21'
            $claims.version | Should -BeExactly $manifest.version
            $claims.downloadUrl | Should -BeExactly $manifest.downloadUrl
            $claims.sha256 | Should -BeExactly $manifest.sha256
            $claims.sizeBytes | Should -Be $manifest.sizeBytes
        } elseif ($Expect -ceq 'platform-error') {
            $thrown = { Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21' } | Should -Throw -PassThru
            $thrown.Exception.Message | Should -Not -BeIn $ruleMessages
            # The platform's decoding errors, not a fault of the script's own
            # (a null reference, a missing command).
            $types = @()
            for ($e = $thrown.Exception; $null -ne $e; $e = $e.InnerException) { $types += $e.GetType().FullName }
            $decoding = @('System.FormatException', 'System.Text.DecoderFallbackException', 'System.ArgumentException')
            @($types | Where-Object { $decoding -contains $_ }).Count | Should -BeGreaterThan 0 -Because ($types -join ' <- ')
        } else {
            { Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21' } |
                Should -Throw -ExpectedMessage $Expect
        }
    }

    It 'refuses a signature of <Length> bytes before any RSA work' -ForEach @(
        @{ Length = 511 }, @{ Length = 513 }
    ) {
        $manifest = Read-Manifest (Get-CaseFile "a signature of $Length bytes")
        $good = Read-Manifest (Get-CaseFile 'a manifest that keeps every rule (no actualVersion)')
        # A pinned key that cannot even be decoded: any RSA step would fail on it.
        $VelmoReleaseKeyModulus = 'not a key'
        { Get-VelmoSignedRelease -Manifest $good -MinimumVersion '0.19.21' } | Should -Throw -ExpectedMessage '*Base-64*'
        { Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21' } |
            Should -Throw -ExpectedMessage 'Invalid release signature length'
    }

    It 'applies the minimum version it is given' {
        $manifest = Read-Manifest (Get-CaseFile 'version 0.20.0')
        { Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.20.1' } | Should -Throw -ExpectedMessage 'Release downgrade refused'
        (Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.20.0').version | Should -BeExactly '0.20.0'
    }

    It 'accepts a manifest sizeBytes of type <Type> and refuses <Refused>' -ForEach @(
        @{ Type = 'int'; Value = [int]1000; Refused = 'double'; Bad = [double]1000 }
        @{ Type = 'long'; Value = [long]1000; Refused = 'decimal'; Bad = [decimal]1000 }
    ) {
        # Windows PowerShell 5.1 parses small JSON integers as [int], PowerShell 7 as [long].
        $manifest = Read-Manifest (Get-CaseFile 'a manifest that keeps every rule (no actualVersion)')
        $manifest.sizeBytes = $Value
        (Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21').sizeBytes | Should -Be 1000
        $manifest.sizeBytes = $Bad
        { Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21' } |
            Should -Throw -ExpectedMessage 'Release size differs from signed payload'
    }
}

Describe 'Get-VelmoSignedRelease called again after the download' {
    It 'reads the clock anew, so a record that expired meanwhile is refused' {
        $manifest = Read-Manifest (Get-CaseFile 'a manifest that keeps every rule (no actualVersion)')
        Mock Get-VelmoUnixTime { [long]$index.now }
        $first = Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21'
        Mock Get-VelmoUnixTime { [long]$first.expiresAt - 1 }
        $again = Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21'
        $again.sha256 | Should -BeExactly $first.sha256
        Mock Get-VelmoUnixTime { [long]$first.expiresAt }
        { Get-VelmoSignedRelease -Manifest $manifest -MinimumVersion '0.19.21' } |
            Should -Throw -ExpectedMessage 'Release signature expired or PC clock incorrect'
    }
}

Describe 'Signatures made by velmo-release and by openssl' {
    BeforeAll {
        $package = Join-Path $work 'package.zip'
        [IO.File]::WriteAllBytes($package, [byte[]](1..250 + 1..250))
    }

    It 'a manifest that velmo-release signs is accepted, on the real clock' {
        $out = Join-Path $work 'tool-signed.json'
        $run = Invoke-ReleaseTool sign --key $index.privateKey --package $package --version 0.20.7 `
            --origin $index.origin --out $out
        $run.ExitCode | Should -Be 0 -Because $run.Output
        $claims = Get-VelmoSignedRelease -Manifest (Read-Manifest $out) -MinimumVersion '0.19.21'
        $claims.version | Should -BeExactly '0.20.7'
        $claims.sizeBytes | Should -Be 500
        $claims.sha256 | Should -BeExactly (Get-FileHash -LiteralPath $package -Algorithm SHA256).Hash.ToLowerInvariant()
        $claims.downloadUrl | Should -BeExactly ($index.origin + '/api/releases/download/0.20.7?channel=beta')
        $claims.executableName | Should -BeExactly 'VELMO_Tallowfin.exe'
        $now = [DateTimeOffset]::UtcNow.ToUnixTimeSeconds()
        $claims.issuedAt | Should -BeLessOrEqual $now
        $claims.expiresAt - $claims.issuedAt | Should -Be (30 * 86400)
    }

    It 'a manifest signed with openssl dgst is accepted by the script and by velmo-release verify' {
        $file = Get-CaseFile 'a manifest that keeps every rule (no actualVersion)'
        Mock Get-VelmoUnixTime { [long]$index.now }
        (Get-VelmoSignedRelease -Manifest (Read-Manifest $file) -MinimumVersion '0.19.21').version | Should -BeExactly '0.21.3'
        $run = Invoke-ReleaseTool verify --key $index.publicKey --origin $index.origin --at $index.now $file
        $run.ExitCode | Should -Be 0 -Because $run.Output
        $run.Output | Should -BeLike 'OK:*'
    }

    It 'a manifest signed with a second key pair is refused by both, whoever signed it' {
        $byTool = Join-Path $work 'second-key.json'
        $secondPrivate = $index.secondPublicKey -replace '\.pub$', '.pem'
        $run = Invoke-ReleaseTool sign --key $secondPrivate --package $package --version 0.20.7 --origin $index.origin --out $byTool
        $run.ExitCode | Should -Be 0 -Because $run.Output
        { Get-VelmoSignedRelease -Manifest (Read-Manifest $byTool) -MinimumVersion '0.19.21' } |
            Should -Throw -ExpectedMessage 'Release signature verification failed'
        $run = Invoke-ReleaseTool verify --key $index.publicKey --origin $index.origin $byTool
        $run.ExitCode | Should -Be 1
        $run.Output | Should -BeLike '*refused: Release signature verification failed'
        # The same manifest passes against its own key, so the refusal is the key's doing.
        (Invoke-ReleaseTool verify --key $index.secondPublicKey --origin $index.origin $byTool).ExitCode | Should -Be 0

        $byOpenssl = Get-CaseFile 'signed with a second key pair'
        $run = Invoke-ReleaseTool verify --key $index.publicKey --origin $index.origin --at $index.now $byOpenssl
        $run.Output | Should -BeLike '*refused: Release signature verification failed'
    }
}

Describe 'Get-VelmoSignedRelease stays within Windows PowerShell 5.1' {
    It 'uses no PowerShell 6+ syntax and no .NET Core-only member' {
        $tokens = $null; $errors = $null
        $ast = [Management.Automation.Language.Parser]::ParseFile($script, [ref]$tokens, [ref]$errors)
        $errors | Should -BeNullOrEmpty
        $functions = $ast.FindAll({ param($n)
                $n -is [Management.Automation.Language.FunctionDefinitionAst] -and
                $n.Name -in 'Get-VelmoSignedRelease', 'Get-VelmoUnixTime' }, $false)
        @($functions).Count | Should -Be 2
        $newer = 'ImportFromPem', 'ImportRSAPublicKey', 'ImportSubjectPublicKeyInfo', 'ToHexString', 'HashData'
        foreach ($function in $functions) {
            $found = $function.FindAll({ param($n)
                    $n -is [Management.Automation.Language.TernaryExpressionAst] -or
                    $n -is [Management.Automation.Language.PipelineChainAst] -or
                    ($n -is [Management.Automation.Language.BinaryExpressionAst] -and $n.Operator -eq 'QuestionQuestion') -or
                    ($n -is [Management.Automation.Language.AssignmentStatementAst] -and $n.Operator -eq 'QuestionQuestionEquals') -or
                    ($n -is [Management.Automation.Language.MemberExpressionAst] -and $n.NullConditional) -or
                    ($n -is [Management.Automation.Language.InvokeMemberExpressionAst] -and $n.Member.Value -in $newer) }, $true)
            @($found | ForEach-Object { $_.Extent.Text }) | Should -BeNullOrEmpty -Because $function.Name
        }
        # RSA.Create() without arguments is the only overload .NET Framework has.
        $verifier = $functions | Where-Object { $_.Name -eq 'Get-VelmoSignedRelease' }
        $creates = $verifier.FindAll({ param($n)
                $n -is [Management.Automation.Language.InvokeMemberExpressionAst] -and $n.Member.Value -eq 'Create' }, $true)
        @($creates | Where-Object { $_.Arguments.Count -gt 0 }) | Should -BeNullOrEmpty
    }
}
