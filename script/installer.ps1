# VELMO Tallowfin online installer script.
# Started hidden by the installer window; fetches the signed release record,
# verifies it, downloads and checks the package and runs its installer.
param(
    [string]$InstallDir = '',
    [int]$Desktop = 0,
    [int]$StartMenu = 0,
    [int]$Startup = 0,
    [Parameter(ValueFromRemainingArguments = $true)]
    [string[]]$Tail
)

$ErrorActionPreference = 'Stop'

# Build-time configuration: written in by the build, never read from any input.
$VelmoReleaseOrigin = '__VTF_RELEASE_ORIGIN__'
$VelmoReleaseKeyModulus = '__VTF_RELEASE_KEY_MODULUS__'
$VelmoInstallerVersion = '__VTF_VERSION__'

function Get-VelmoReleaseMetadata {
    throw 'Release manifest request is not available in this build'
}

function Get-VelmoSignedRelease {
    param(
        [Parameter(Mandatory = $true)] $Manifest,
        [Parameter(Mandatory = $true)] [string]$MinimumVersion
    )
    throw 'Release signature verification is not available in this build'
}

function Receive-VelmoPackage {
    param(
        [Parameter(Mandatory = $true)] $Claims,
        [Parameter(Mandatory = $true)] [string]$Destination
    )
    throw 'Package download is not available in this build'
}

function Assert-VelmoPackage {
    param(
        [Parameter(Mandatory = $true)] [string]$Path,
        [Parameter(Mandatory = $true)] $Claims
    )
    throw 'Package validation is not available in this build'
}

function Assert-VelmoArchive {
    param(
        [Parameter(Mandatory = $true)] [string]$Path,
        [Parameter(Mandatory = $true)] $Claims
    )
    throw 'Archive validation is not available in this build'
}

# The main sequence runs only when the script is executed, not dot-sourced.
if ($MyInvocation.InvocationName -ne '.') {
    exit 1
}
