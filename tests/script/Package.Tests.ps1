# Assert-VelmoPackage: the downloaded file must have the signed length and digest.
BeforeAll {
    $source = $env:VTF_SOURCE_DIR
    if (-not $source) { $source = (Resolve-Path "$PSScriptRoot/../..").Path }
    $script = Join-Path $TestDrive 'installer.ps1'
    & python3 (Join-Path $source 'tools/embed_script.py') --origin 'https://127.0.0.1' `
        --release-key (Join-Path $source '.local/keys/dev-release.pub') --out-script $script
    if ($LASTEXITCODE -ne 0) { throw 'embed_script failed' }
    . $script

    $bytes = [byte[]](1..200 | ForEach-Object { $_ % 256 })
    $package = Join-Path $TestDrive 'package.zip'
    [IO.File]::WriteAllBytes($package, $bytes)
    $digest = (Get-FileHash -LiteralPath $package -Algorithm SHA256).Hash.ToLowerInvariant()

    function New-Claims([object]$Size, [string]$Sha) {
        [pscustomobject]@{ sizeBytes = $Size; sha256 = $Sha }
    }
}

Describe 'Assert-VelmoPackage' {
    It 'accepts the signed length and digest (sizeBytes as <Type>)' -ForEach @(
        @{ Type = 'int'; Size = [int]200 }
        @{ Type = 'long'; Size = [long]200 }
    ) {
        Assert-VelmoPackage -Path $package -Claims (New-Claims $Size $digest) | Should -BeNullOrEmpty
    }

    It 'refuses <Case>' -ForEach @(
        @{ Case = 'a file one byte short of the signed size'; Size = 201; Flip = $false; Upper = $false; Message = 'Package size mismatch' }
        @{ Case = 'a file one byte longer than the signed size'; Size = 199; Flip = $false; Upper = $false; Message = 'Package size mismatch' }
        @{ Case = 'one changed byte of the same length'; Size = 200; Flip = $true; Upper = $false; Message = 'Package SHA-256 mismatch' }
        @{ Case = 'a signed digest in upper case'; Size = 200; Flip = $false; Upper = $true; Message = 'Package SHA-256 mismatch' }
    ) {
        $path = Join-Path $TestDrive 'candidate.zip'
        $copy = [byte[]]$bytes.Clone()
        if ($Flip) { $copy[100] = $copy[100] -bxor 1 }
        [IO.File]::WriteAllBytes($path, $copy)
        $sha = $digest
        if ($Upper) { $sha = $digest.ToUpperInvariant() }
        { Assert-VelmoPackage -Path $path -Claims (New-Claims $Size $sha) } | Should -Throw -ExpectedMessage $Message
    }

    It 'does not hash a file whose length is already wrong' {
        Mock Get-FileHash { throw 'hashed' }
        { Assert-VelmoPackage -Path $package -Claims (New-Claims 5 $digest) } | Should -Throw -ExpectedMessage 'Package size mismatch'
        Should -Invoke Get-FileHash -Times 0 -Exactly
    }

    It 'fails when the package file is missing' {
        { Assert-VelmoPackage -Path (Join-Path $TestDrive 'absent.zip') -Claims (New-Claims 200 $digest) } | Should -Throw
    }
}
