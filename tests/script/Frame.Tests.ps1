# The script frame's own pieces, called alone after dot-sourcing: the log line,
# the install folder from its split pieces, the parameters, and the guard that
# keeps dot-sourcing from running an installation. Whole runs with the lock,
# the message box and the hand-over are in test_frame_runs.py.
BeforeAll {
    Import-Module (Join-Path $PSScriptRoot 'TestSupport.psm1') -Force
    $work = Join-Path ([IO.Path]::GetTempPath()) ('vtf-frame-' + [Guid]::NewGuid().ToString('N'))
    $bed = New-VtfScriptBed -Folder $work
    $listener = [Net.Sockets.TcpListener]::new([Net.IPAddress]::Loopback, 0)
    $listener.Start()
    $closedPort = $listener.LocalEndpoint.Port
    $listener.Stop()
    # Nothing listens on this port: a run fails at its first request.
    $script = New-VtfInstallerScript -Origin "https://127.0.0.1:$closedPort" -ReleaseKey $bed.releaseKeyPub `
        -Path (Join-Path $work 'installer.ps1')
    $savedLocalAppData = $env:LOCALAPPDATA
}

AfterAll {
    $env:LOCALAPPDATA = $savedLocalAppData
    Remove-Item -LiteralPath $work -Recurse -Force -ErrorAction SilentlyContinue
}

Describe 'Write-InstallLog' {
    BeforeEach {
        $env:LOCALAPPDATA = Join-Path $TestDrive ([Guid]::NewGuid().ToString('N'))
        $log = Join-Path $env:LOCALAPPDATA 'VTFI/install.log'
        $null = New-Item -ItemType Directory -Path (Split-Path $log)
        . $script
    }

    It 'appends one line per message after the lines already there' {
        $earlier = '2026-01-31T14:05:09 start' + [Environment]::NewLine + '2026-01-31T14:05:10 FAILED old' + [Environment]::NewLine
        [IO.File]::WriteAllText($log, $earlier)
        $before = Get-Date
        Write-InstallLog -Message 'start'
        Write-InstallLog -Message 'signature verified'
        $after = Get-Date
        $text = [IO.File]::ReadAllText($log)
        $text.StartsWith($earlier) | Should -BeTrue
        $added = $text.Substring($earlier.Length).Split([Environment]::NewLine)
        $added.Count | Should -Be 3 -Because 'each line ends with the platform newline, the last one too'
        $added[2] | Should -BeExactly ''
        $added[0] | Should -MatchExactly '^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d start$'
        $added[1] | Should -MatchExactly '^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d signature verified$'
        # Local time, whole seconds, as Get-Date -Format s writes it.
        $stamp = [datetime]::ParseExact($added[1].Substring(0, 19), 's', [Globalization.CultureInfo]::InvariantCulture)
        $stamp | Should -BeGreaterOrEqual $before.AddTicks(-($before.Ticks % [TimeSpan]::TicksPerSecond))
        $stamp | Should -BeLessOrEqual $after
    }

    It 'keeps a failure message whole on its line' {
        Write-InstallLog -Message 'FAILED Exception calling "Open" with "4" argument(s): "in use"'
        (Get-Content -LiteralPath $log) | Should -MatchExactly '^\S+ FAILED Exception calling "Open" with "4" argument\(s\): "in use"$'
    }
}

Describe 'Get-VelmoInstallFolder' {
    BeforeAll { . $script }

    It 'rejoins and trims: <Case>' -ForEach @(
        @{ Case = 'trailing space'; InstallDir = 'C:\Apps\VELMO '; Tail = $null; Expected = 'C:\Apps\VELMO' }
        @{ Case = 'leading spaces'; InstallDir = '   C:\Apps\VELMO'; Tail = $null; Expected = 'C:\Apps\VELMO' }
        @{ Case = 'split at spaces'; InstallDir = 'C:\My'; Tail = @('Apps\VELMO', 'Tallowfin'); Expected = 'C:\My Apps\VELMO Tallowfin' }
        @{ Case = 'last piece ends in a space'; InstallDir = 'C:\My'; Tail = @('Apps '); Expected = 'C:\My Apps' }
        @{ Case = 'empty folder, pieces only'; InstallDir = ''; Tail = @('C:\Apps'); Expected = 'C:\Apps' }
        @{ Case = 'inner spaces kept'; InstallDir = 'C:\In  Two'; Tail = $null; Expected = 'C:\In  Two' }
        @{ Case = 'nothing'; InstallDir = ''; Tail = $null; Expected = '' }
    ) {
        Get-VelmoInstallFolder -InstallDir $InstallDir -Tail $Tail | Should -BeExactly $Expected
    }
}

Describe 'The script''s parameters' {
    It 'are named only: a word left over goes to Tail, not to an option' {
        $env:LOCALAPPDATA = Join-Path $TestDrive 'params'
        . $script -InstallDir 'C:\Apps' 'v2' -Desktop 1
        $InstallDir | Should -BeExactly 'C:\Apps'
        $Tail | Should -HaveCount 1
        $Tail[0] | Should -BeExactly 'v2'
        $StartMenu | Should -Be 0
        $Desktop | Should -Be 1
    }
}

Describe 'Dot-sourcing and running' {
    It 'defines the operations without running an installation' {
        $env:LOCALAPPDATA = Join-Path $TestDrive 'dot-sourced'
        . $script -InstallDir 'C:\Apps' -Desktop 1 -StartMenu 1 -Startup 0
        Get-Command Invoke-VelmoInstall, Get-VelmoReleaseMetadata, Write-InstallLog | Should -HaveCount 3
        Test-Path -LiteralPath $env:LOCALAPPDATA | Should -BeFalse
    }

    It 'runs the installation when started as a script, and fails at a server that is not there with exit code 10' {
        $run = Invoke-VtfScriptRun -Bed $bed -Script $script -LocalAppData (Join-Path $work 'run')
        $run.ExitCode | Should -Be 10 -Because $run.Output
        $run.LogLines | Should -HaveCount 2
        $run.LogLines[0] | Should -MatchExactly '^\S+ start$'
        $run.LogLines[1] | Should -MatchExactly '^\S+ FAILED Exception calling "GetResponse" with "0" argument\(s\): '
        $run.Boxes | Should -HaveCount 1
        $run.Boxes[0].Caption | Should -BeExactly 'VELMO Tallowfin'
        $run.Boxes[0].Text.Split("`r`n")[0] | Should -BeExactly 'An Internet connection is required. Check your connection and try again.'
    }
}
