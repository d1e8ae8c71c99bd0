# Installs VELMO Tallowfin AI (demo edition) from an extracted package.
# Started by the online installer with the package's root folder as SourceRoot;
# everything it needs is copied out before it returns, since that folder is
# deleted right after. Exit code 0 means installed.
param(
    [Parameter(Mandatory = $true)] [string]$SourceRoot,
    [Parameter(Mandatory = $true)] [string]$InstallDir,
    [ValidateRange(0, 1)] [int]$Desktop = 0,
    [ValidateRange(0, 1)] [int]$StartMenu = 0,
    [ValidateRange(0, 1)] [int]$Startup = 0,
    [ValidateRange(0, 1)] [int]$SelectLanguage = 0,
    [Parameter(Mandatory = $true)] [string]$ExpectedVersion
)

$ErrorActionPreference = 'Stop'
$ShortcutName = 'VELMO Tallowfin AI.lnk'

function Write-InstallStep([string]$Message) {
    Write-Output ('Install-VelmoTallowfin: ' + $Message)
}

function Test-PackageIntegrity([object]$Manifest) {
    foreach ($file in $Manifest.files) {
        $path = Join-Path $SourceRoot $file.path
        $digest = (Get-FileHash -LiteralPath $path -Algorithm SHA256).Hash.ToLowerInvariant()
        if ($digest -cne $file.sha256) { throw ('package file damaged: ' + $file.path) }
    }
}

function Set-Shortcut([string]$Folder, [int]$Wanted, [string]$What, [string]$Target) {
    $link = Join-Path $Folder $ShortcutName
    if ($Wanted -eq 1) {
        $shell = New-Object -ComObject WScript.Shell
        $shortcut = $shell.CreateShortcut($link)
        $shortcut.TargetPath = $Target
        $shortcut.WorkingDirectory = $InstallDir
        $shortcut.Save()
        Write-InstallStep ($What + ' created: ' + $link)
    } elseif (Test-Path -LiteralPath $link) {
        # A shortcut left by an earlier installation is not wanted any more.
        Remove-Item -LiteralPath $link -Force
        Write-InstallStep ($What + ' removed: ' + $link)
    }
}

try {
    $release = Get-Content -LiteralPath (Join-Path $SourceRoot 'release.json') -Raw | ConvertFrom-Json
    if ($release.version -cne $ExpectedVersion) {
        throw ('package holds version ' + $release.version + ', expected ' + $ExpectedVersion)
    }
    $manifest = Get-Content -LiteralPath (Join-Path $SourceRoot 'integrity_manifest.json') -Raw | ConvertFrom-Json
    Test-PackageIntegrity $manifest
    Write-InstallStep ('installing version ' + $release.version + ' into ' + $InstallDir)

    # The application is every checked file outside the installer folder.
    New-Item -ItemType Directory -Path $InstallDir -Force | Out-Null
    foreach ($file in $manifest.files) {
        if ($file.path.StartsWith('installer/')) { continue }
        $target = Join-Path $InstallDir $file.path
        New-Item -ItemType Directory -Path (Split-Path -Parent $target) -Force | Out-Null
        Copy-Item -LiteralPath (Join-Path $SourceRoot $file.path) -Destination $target -Force
    }
    Copy-Item -LiteralPath (Join-Path $SourceRoot 'integrity_manifest.json') -Destination $InstallDir -Force

    # The application reads the choices made at installation from install.json.
    $choices = [ordered]@{
        version = $release.version
        selectLanguage = ($SelectLanguage -eq 1)
        desktopShortcut = ($Desktop -eq 1)
        startMenuShortcut = ($StartMenu -eq 1)
        startWithWindows = ($Startup -eq 1)
    }
    $json = ConvertTo-Json -InputObject $choices
    [IO.File]::WriteAllText((Join-Path $InstallDir 'install.json'), $json, (New-Object Text.UTF8Encoding $false))
    if ($SelectLanguage -eq 1) { Write-InstallStep 'the language will be chosen at first start' }

    $executable = Join-Path $InstallDir $release.executableName
    if ([Environment]::OSVersion.Platform -eq [PlatformID]::Win32NT) {
        Set-Shortcut ([Environment]::GetFolderPath('Desktop')) $Desktop 'desktop shortcut' $executable
        Set-Shortcut ([Environment]::GetFolderPath('Programs')) $StartMenu 'Start-menu shortcut' $executable
        Set-Shortcut ([Environment]::GetFolderPath('Startup')) $Startup 'start-up entry' $executable
    } else {
        $wanted = @()
        if ($Desktop -eq 1) { $wanted += 'desktop shortcut' }
        if ($StartMenu -eq 1) { $wanted += 'Start-menu shortcut' }
        if ($Startup -eq 1) { $wanted += 'start-up entry' }
        foreach ($item in $wanted) {
            Write-InstallStep ($item + ' skipped: this platform has no Windows shortcuts')
        }
    }
    Write-InstallStep 'done'
    exit 0
} catch {
    Write-InstallStep ('failed: ' + $_.Exception.Message)
    exit 1
}
