# Get-VelmoReleaseMetadata called alone: the script is built for a fault server
# of the test's own and dot-sourced. Whole runs with their exit codes are in
# test_metadata_runs.py.
BeforeAll {
    Import-Module (Join-Path $PSScriptRoot 'TestSupport.psm1') -Force
    $work = Join-Path ([IO.Path]::GetTempPath()) ('vtf-metadata-' + [Guid]::NewGuid().ToString('N'))
    $pki = New-VtfTestPki -Folder (Join-Path $work 'pki')
    # Before this process makes its first TLS connection.
    Set-VtfProcessTrust -CaCert $pki.CaCert
    $key = New-VtfReleaseKey -Folder (Join-Path $work 'key')
    $manifestText = '{"status":"ready","version":"0.19.21","sizeBytes":5}'
    # A JSON object of exactly 128000 bytes.
    $largest = '{"padding":"' + ('p' * (128000 - 14)) + '"}'

    # Starts a fault server answering every request with this rule, builds the
    # script for its origin and returns the server; the caller dot-sources the script.
    function Start-ManifestServer([hashtable]$Rule) {
        $server = Start-VtfFaultServer -Pki $pki -Folder $work -Scenario @{ default = $Rule } -MaxRequests 4 -MaxSeconds 120
        $server | Add-Member -NotePropertyName Script -NotePropertyValue (New-VtfInstallerScript -Origin $server.Origin `
            -ReleaseKey $key.Pub -Path (Join-Path $work ("installer-$($server.Port).ps1")))
        $server
    }
    function ConvertTo-Base64([byte[]]$Bytes) { [Convert]::ToBase64String($Bytes) }
}

AfterAll {
    Remove-Item -LiteralPath $work -Recurse -Force -ErrorAction SilentlyContinue
}

Describe 'Get-VelmoReleaseMetadata' {
    AfterEach {
        if ($server) { Stop-VtfFaultServer $server }
    }

    It 'returns the manifest after one plain GET with its user agent and Accept' {
        $server = Start-ManifestServer @{ body = $manifestText; headers = @{ 'Content-Type' = 'text/plain' } }
        . $server.Script
        $manifest = Get-VelmoReleaseMetadata
        $manifest.status | Should -BeExactly 'ready'
        $manifest.version | Should -BeExactly '0.19.21'
        $requests = @(Get-VtfFaultServerRequest $server)
        $requests.Count | Should -Be 1
        $requests[0].method | Should -BeExactly 'GET'
        $requests[0].target | Should -BeExactly '/api/releases/latest?channel=beta'
        $requests[0].tls | Should -BeExactly 'TLSv1.2'
        $headers = @{}
        foreach ($pair in $requests[0].headers) { $headers[$pair[0]] = $pair[1] }
        $headers['User-Agent'] | Should -BeExactly 'VTFI/0.19.21'
        $headers['Accept'] | Should -BeExactly 'application/json'
        # Nothing else is set: no cookies, no credentials, no compression.
        @($headers.Keys | Where-Object { $_ -notin 'Host', 'User-Agent', 'Accept', 'Connection' }) | Should -BeNullOrEmpty
    }

    It 'accepts a body of exactly 128000 bytes <How>' -ForEach @(
        @{ How = 'with Content-Length'; Rule = @{} }
        @{ How = 'chunked'; Rule = @{ chunked = $true } }
        @{ How = 'ended by closing the connection'; Rule = @{ length = 'none' } }
    ) {
        $Rule['body'] = $largest
        $server = Start-ManifestServer $Rule
        . $server.Script
        (Get-VelmoReleaseMetadata).padding.Length | Should -Be (128000 - 14)
    }

    It 'refuses 128001 bytes <How>' -ForEach @(
        @{ How = 'announced in Content-Length'; Rule = @{}; Message = 'Invalid release response' }
        @{ How = 'chunked'; Rule = @{ chunked = $true }; Message = 'Release response limit exceeded' }
        @{ How = 'ended by closing the connection'; Rule = @{ length = 'none' }; Message = 'Release response limit exceeded' }
    ) {
        $Rule['body'] = $largest + ' '
        $server = Start-ManifestServer $Rule
        . $server.Script
        { Get-VelmoReleaseMetadata } | Should -Throw -ExpectedMessage $Message
    }

    It 'refuses status <Status>, which is not 200' -ForEach @(
        @{ Status = 201 }, @{ Status = 203 }, @{ Status = 204 }, @{ Status = 206 }, @{ Status = 302 }, @{ Status = 304 }
    ) {
        $server = Start-ManifestServer @{ status = $Status; body = $manifestText; headers = @{ Location = '/moved' } }
        . $server.Script
        { Get-VelmoReleaseMetadata } | Should -Throw -ExpectedMessage 'Invalid release response'
        @(Get-VtfFaultServerRequest $server).Count | Should -Be 1 -Because 'a redirect is never followed'
    }

    It 'passes an error status out as the platform''s WebException' {
        $server = Start-ManifestServer @{ status = 404; body = 'gone' }
        . $server.Script
        $failure = { Get-VelmoReleaseMetadata } | Should -Throw -PassThru
        $failure.Exception.InnerException | Should -BeOfType ([Net.WebException])
        [int]$failure.Exception.InnerException.Response.StatusCode | Should -Be 404
    }

    It 'refuses a body that is not strict UTF-8: <Case>' -ForEach @(
        @{ Case = 'byte FF'; Bytes = [byte[]](0xFF) }
        @{ Case = 'overlong slash'; Bytes = [byte[]](0xC0, 0xAF) }
        @{ Case = 'encoded surrogate'; Bytes = [byte[]](0xED, 0xA0, 0x80) }
        @{ Case = 'cut sequence at the end'; Bytes = [byte[]](0xE2, 0x82) }
    ) {
        $body = [Text.Encoding]::ASCII.GetBytes('{"version":"') + $Bytes
        if ($Case -ne 'cut sequence at the end') { $body += [Text.Encoding]::ASCII.GetBytes('"}') }
        $server = Start-ManifestServer @{ body_base64 = (ConvertTo-Base64 $body) }
        . $server.Script
        $failure = { Get-VelmoReleaseMetadata } | Should -Throw -PassThru
        $failure.Exception.InnerException | Should -BeOfType ([Text.DecoderFallbackException])
    }

    It 'hands a body that starts with a byte-order mark to ConvertFrom-Json with the mark kept' {
        $bytes = [byte[]](0xEF, 0xBB, 0xBF) + [Text.Encoding]::ASCII.GetBytes($manifestText)
        $server = Start-ManifestServer @{ body_base64 = (ConvertTo-Base64 $bytes) }
        . $server.Script
        Mock ConvertFrom-Json { [pscustomobject]@{ Handed = $InputObject } }
        $result = Get-VelmoReleaseMetadata
        $result.Handed | Should -BeExactly ([string][char]0xFEFF + $manifestText)
        Should -Invoke ConvertFrom-Json -Times 1 -Exactly
    }

    It 'refuses a body that is not JSON with the platform''s error' {
        $server = Start-ManifestServer @{ body = '{"status": "ready"' }
        . $server.Script
        { Get-VelmoReleaseMetadata } | Should -Throw -ExceptionType ([ArgumentException])
    }
}
