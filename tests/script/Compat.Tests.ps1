# The installer script runs on Windows PowerShell 5.1 (.NET Framework) in
# production and on PowerShell 7 in these tests. This file parses the script and
# refuses syntax, commands, parameters, variables and .NET members that 5.1
# lacks, so that a test passing here cannot hide a script that breaks there.
BeforeAll {
    $source = $env:VTF_SOURCE_DIR
    if (-not $source) { $source = (Resolve-Path (Join-Path $PSScriptRoot '../..')).Path }

    $aliases = @{ '%' = 'ForEach-Object'; 'foreach' = 'ForEach-Object'; '?' = 'Where-Object'; 'where' = 'Where-Object'
        'gc' = 'Get-Content'; 'ac' = 'Add-Content'; 'sort' = 'Sort-Object'; 'select' = 'Select-Object'; 'sls' = 'Select-String'
        'iwr' = 'Invoke-WebRequest'; 'irm' = 'Invoke-RestMethod'; 'saps' = 'Start-Process'; 'start' = 'Start-Process'
        'ipmo' = 'Import-Module'; 'gci' = 'Get-ChildItem'; 'ls' = 'Get-ChildItem'; 'dir' = 'Get-ChildItem' }
    # Commands that came after 5.1.
    $newCommands = 'Get-Error', 'Test-Json', 'Start-ThreadJob', 'Join-String', 'Get-Uptime', 'Remove-Alias',
        'ConvertFrom-Markdown', 'Show-Markdown', 'Get-MarkdownOption', 'Set-MarkdownOption', 'Get-PSSubsystem',
        'Enable-ExperimentalFeature', 'Disable-ExperimentalFeature', 'Get-ExperimentalFeature', 'ConvertTo-CliXml',
        'ConvertFrom-CliXml', 'Get-SecureRandom', 'Remove-Service', 'Set-MarkdownOption'
    # Parameters that came after 5.1, by command.
    $newParameters = @{
        'ForEach-Object' = 'Parallel', 'ThrottleLimit', 'TimeoutSeconds', 'AsJob', 'UseNewRunspace'
        'Get-Content' = 'AsByteStream'
        'Set-Content' = 'AsByteStream'
        'Add-Content' = 'AsByteStream'
        'ConvertFrom-Json' = 'AsHashtable', 'Depth', 'NoEnumerate', 'DateKind'
        'ConvertTo-Json' = 'AsArray', 'EnumsAsStrings', 'EscapeHandling'
        'Invoke-WebRequest' = 'SkipCertificateCheck', 'SslProtocol', 'Authentication', 'Token', 'MaximumRetryCount',
            'RetryIntervalSec', 'Resume', 'SkipHttpErrorCheck', 'SkipHeaderValidation', 'StatusCodeVariable',
            'ResponseHeadersVariable', 'Form', 'NoProxy', 'HttpVersion', 'AllowUnencryptedAuthentication',
            'PreserveAuthorizationOnRedirect', 'CustomMethod', 'ConnectionTimeoutSeconds', 'OperationTimeoutSeconds',
            'AllowInsecureRedirect', 'PreserveHttpMethodOnRedirect'
        'Join-Path' = 'AdditionalChildPath'
        'Split-Path' = 'LeafBase', 'Extension'
        'Get-Date' = 'AsUTC', 'UnixTimeSeconds'
        'Sort-Object' = 'Top', 'Bottom', 'Stable'
        'Select-String' = 'Raw', 'NoEmphasis', 'Culture'
        'Where-Object' = 'Not'
        'Get-Random' = 'Shuffle'
        'Start-Process' = 'Environment'
        'Expand-Archive' = 'PassThru'
        'Compress-Archive' = 'PassThru'
        'Import-Module' = 'UseWindowsPowerShell'
        'Test-Connection' = 'TargetName', 'TcpPort', 'Ping', 'Traceroute', 'MtuSize', 'Detailed'
    }
    $newParameters['Invoke-RestMethod'] = $newParameters['Invoke-WebRequest']
    # Encoding names that 5.1's cmdlets do not know.
    $newEncodings = 'utf8NoBOM', 'utf8BOM', 'ansi'
    # .NET members of .NET Core or .NET 5+ only.
    $newMembers = 'ImportFromPem', 'ImportFromEncryptedPem', 'ExportRSAPublicKeyPem', 'ExportSubjectPublicKeyInfoPem',
        'ImportRSAPublicKey', 'ImportSubjectPublicKeyInfo', 'ImportPkcs8PrivateKey', 'ExportSubjectPublicKeyInfo',
        'ExportRSAPublicKey', 'ToHexString', 'ToHexStringLower', 'FromHexString', 'TryFromBase64String',
        'TryToBase64Chars', 'AsSpan', 'AsMemory', 'ReadExactly', 'ReadAtLeast', 'HashData', 'HashDataAsync',
        'Clamp', 'GetRelativePath', 'ProcessPath', 'ProcessId', 'UnixEpoch', 'Latin1', 'ThrowIfNull',
        'ThrowIfNullOrEmpty', 'ReplaceLineEndings', 'ReadAllTextAsync', 'WriteAllTextAsync', 'ReadAllBytesAsync',
        'WriteAllBytesAsync', 'ReadAllLinesAsync', 'AppendAllTextAsync', 'TryAdd', 'GetItems', 'Shared',
        'Tls13', 'Fill', 'GetInt32', 'GetHexString', 'CreateVersion7', 'IsAsciiDigit', 'ReadLinesAsync'
    # Types of .NET Core or .NET 5+ only, and System.Net.Http, which 5.1 does not load.
    $newTypes = '^(System\.)?(Span|ReadOnlySpan|Memory|ReadOnlyMemory|Range|Index|Half|Int128|UInt128|DateOnly|TimeOnly|HashCode)(\[|$)',
        '^(System\.)?Text\.Json\.', '^(System\.)?Net\.Http\.', '^(System\.)?Formats\.', '^(System\.)?Buffers\.',
        '^(System\.)?Threading\.PeriodicTimer$', '^(System\.)?Threading\.Channels\.',
        '^(ValidateNotNullOrWhiteSpace|NoRunspaceAffinity)$'
    $newVariables = 'IsWindows', 'IsLinux', 'IsMacOS', 'IsCoreCLR', 'PSStyle', 'PSNativeCommandArgumentPassing',
        'PSNativeCommandUseErrorActionPreference', 'EnabledExperimentalFeatures'

    # Returns one text per construct that Windows PowerShell 5.1 cannot run.
    function Find-PowerShell51Problem([string]$Text) {
        $tokens = $null
        $errors = $null
        $ast = [Management.Automation.Language.Parser]::ParseInput($Text, [ref]$tokens, [ref]$errors)
        foreach ($parseError in $errors) { 'parse error: ' + $parseError.Message }
        foreach ($node in $ast.FindAll({ $true }, $true)) {
            $kind = $node.GetType().Name
            if ($kind -eq 'TernaryExpressionAst') { 'ternary operator' }
            elseif ($kind -eq 'PipelineChainAst') { '&& or || pipeline chain' }
            elseif ($kind -eq 'BinaryExpressionAst' -and $node.Operator -eq 'QuestionQuestion') { '?? operator' }
            elseif ($kind -eq 'AssignmentStatementAst' -and $node.Operator -eq 'QuestionQuestionEquals') { '??= operator' }
            elseif ($kind -eq 'PipelineAst' -and $node.Background) { 'background operator &' }
            elseif ($kind -eq 'ScriptBlockAst' -and $node.CleanBlock) { 'clean block' }
            elseif ($kind -eq 'TypeDefinitionAst' -and $node.IsEnum -and $node.BaseTypes.Count -gt 0) { 'enum base type' }
            elseif ($kind -in 'MemberExpressionAst', 'InvokeMemberExpressionAst') {
                if ($node.NullConditional) { '?. operator' }
                $member = $node.Member
                if ($member -is [Management.Automation.Language.StringConstantExpressionAst]) {
                    if ($member.Value -in $newMembers) { 'member ' + $member.Value }
                    # Split('ab') splits at the whole text in .NET Core, at each character in 5.1.
                    if ($kind -eq 'InvokeMemberExpressionAst' -and $member.Value -eq 'Split' -and $node.Arguments.Count -ge 1 -and
                        $node.Arguments[0] -is [Management.Automation.Language.StringConstantExpressionAst] -and
                        $node.Arguments[0].Value.Length -gt 1) { 'Split with a text separator' }
                }
            }
            elseif ($kind -eq 'IndexExpressionAst' -and $node.NullConditional) { '?[] operator' }
            elseif ($kind -in 'TypeExpressionAst', 'TypeConstraintAst', 'AttributeAst') {
                $name = $node.TypeName.FullName
                foreach ($pattern in $newTypes) { if ($name -match $pattern) { 'type ' + $name } }
            }
            elseif ($kind -eq 'VariableExpressionAst' -and $node.VariablePath.UserPath -in $newVariables) {
                'variable $' + $node.VariablePath.UserPath
            }
            elseif ($kind -eq 'CommandAst') {
                $name = $node.GetCommandName()
                if (-not $name) { continue }
                if ($aliases.ContainsKey($name)) { $name = $aliases[$name] }
                if ($name -in $newCommands) { 'command ' + $name }
                $elements = $node.CommandElements
                for ($i = 1; $i -lt $elements.Count; $i++) {
                    $element = $elements[$i]
                    if ($element -isnot [Management.Automation.Language.CommandParameterAst]) { continue }
                    $given = $element.ParameterName
                    foreach ($banned in $newParameters[$name]) {
                        if ($banned -eq $given -or ($given.Length -ge 3 -and $banned.StartsWith($given, 'OrdinalIgnoreCase'))) {
                            "parameter $name -$banned"
                        }
                    }
                    if ($given -eq 'Encoding') {
                        $value = $element.Argument
                        if (-not $value -and $i + 1 -lt $elements.Count) { $value = $elements[$i + 1] }
                        if ($value -is [Management.Automation.Language.StringConstantExpressionAst] -and $value.Value -in $newEncodings) {
                            'encoding ' + $value.Value
                        }
                    }
                }
                if ($name -eq 'Join-Path') {
                    $positional = @($elements | Select-Object -Skip 1 | Where-Object { $_ -isnot [Management.Automation.Language.CommandParameterAst] })
                    $named = @($elements | Where-Object { $_ -is [Management.Automation.Language.CommandParameterAst] })
                    if ($positional.Count - $named.Count -gt 2) { 'Join-Path with more than two parts' }
                }
            }
        }
        foreach ($token in $tokens) {
            if ($token.Kind -eq 'Number' -and $token.Text -match '(?i)^(0b|(0x[0-9a-f]+|[0-9.]+(e[+-]?[0-9]+)?)(y|uy|s|us|u|ul|n)(kb|mb|gb|tb|pb)?$)') {
                'number literal ' + $token.Text
            }
            if ($token.Kind -eq 'StringExpandable' -and $token.Text -match '`u\{') { 'escape `u{} ' }
        }
    }
}

# The demo release's packaged installer is run by the same Windows PowerShell.
Describe 'Windows PowerShell 5.1 compatibility of <_>' -ForEach @(
    'script/installer.ps1', 'demo/package/VELMO_Tallowfin/installer/Install-VelmoTallowfin.ps1'
) {
    BeforeAll {
        $path = Join-Path $source $_
    }

    It 'is 7-bit ASCII with LF line ends and no byte-order mark' {
        $bytes = [IO.File]::ReadAllBytes($path)
        @($bytes | Where-Object { $_ -gt 127 -or $_ -eq 13 }) | Should -BeNullOrEmpty
        $bytes[0] | Should -Not -Be 0xEF
    }

    It 'uses nothing that Windows PowerShell 5.1 lacks' {
        Find-PowerShell51Problem ([IO.File]::ReadAllText($path)) | Should -BeNullOrEmpty
    }
}

Describe 'The compatibility check' {
    It 'refuses <Construct>' -ForEach @(
        @{ Construct = 'a ternary'; Code = '$a = $b ? 1 : 2'; Problem = 'ternary operator' }
        @{ Construct = 'a null-coalescing operator'; Code = '$a = $b ?? 1'; Problem = '?? operator' }
        @{ Construct = 'a null-coalescing assignment'; Code = '$a ??= 1'; Problem = '??= operator' }
        @{ Construct = 'a null-conditional member'; Code = '${a}?.Length'; Problem = '?. operator' }
        @{ Construct = 'a null-conditional index'; Code = '${a}?[0]'; Problem = '?[] operator' }
        @{ Construct = 'a pipeline chain'; Code = 'Get-Item x && Get-Item y'; Problem = '&& or || pipeline chain' }
        @{ Construct = 'a background job operator'; Code = 'Get-Item x &'; Problem = 'background operator &' }
        @{ Construct = 'a clean block'; Code = 'function f { process { 1 } clean { 2 } }'; Problem = 'clean block' }
        @{ Construct = 'ForEach-Object -Parallel'; Code = '1..2 | ForEach-Object -Parallel { $_ }'; Problem = 'parameter ForEach-Object -Parallel' }
        @{ Construct = '% -Parallel through its alias'; Code = '1..2 | % -Parallel { $_ }'; Problem = 'parameter ForEach-Object -Parallel' }
        @{ Construct = 'Get-Content -AsByteStream'; Code = 'Get-Content x -AsByteStream'; Problem = 'parameter Get-Content -AsByteStream' }
        @{ Construct = 'ConvertFrom-Json -AsHashtable'; Code = '$t | ConvertFrom-Json -AsHashtable'; Problem = 'parameter ConvertFrom-Json -AsHashtable' }
        @{ Construct = 'ConvertFrom-Json -Depth'; Code = 'ConvertFrom-Json -InputObject $t -Depth 5'; Problem = 'parameter ConvertFrom-Json -Depth' }
        @{ Construct = 'Invoke-WebRequest -SkipCertificateCheck'; Code = 'iwr $u -SkipCert'; Problem = 'parameter Invoke-WebRequest -SkipCertificateCheck' }
        @{ Construct = 'Join-Path with three parts'; Code = 'Join-Path a b c'; Problem = 'Join-Path with more than two parts' }
        @{ Construct = 'the utf8NoBOM encoding'; Code = 'Set-Content x -Value 1 -Encoding utf8NoBOM'; Problem = 'encoding utf8NoBOM' }
        @{ Construct = 'Test-Json'; Code = 'Test-Json -Json $t'; Problem = 'command Test-Json' }
        @{ Construct = 'ImportFromPem'; Code = '$rsa.ImportFromPem($pem)'; Problem = 'member ImportFromPem' }
        @{ Construct = 'Convert.ToHexString'; Code = '[Convert]::ToHexString($b)'; Problem = 'member ToHexString' }
        @{ Construct = 'a span'; Code = '$s = $b.AsSpan()'; Problem = 'member AsSpan' }
        @{ Construct = 'a span type'; Code = '[ReadOnlySpan[byte]]$s = $b'; Problem = 'type ReadOnlySpan[byte]' }
        @{ Construct = 'SHA256.HashData'; Code = '[Security.Cryptography.SHA256]::HashData($b)'; Problem = 'member HashData' }
        @{ Construct = 'System.Net.Http'; Code = '[System.Net.Http.HttpClient]::new()'; Problem = 'type System.Net.Http.HttpClient' }
        @{ Construct = 'System.Text.Json'; Code = '[Text.Json.JsonDocument]::Parse($t)'; Problem = 'type Text.Json.JsonDocument' }
        @{ Construct = 'TLS 1.3'; Code = '[Net.SecurityProtocolType]::Tls13'; Problem = 'member Tls13' }
        @{ Construct = 'Split at a text'; Code = '$t.Split(''ab'')'; Problem = 'Split with a text separator' }
        @{ Construct = '$IsWindows'; Code = 'if ($IsWindows) { 1 }'; Problem = 'variable $IsWindows' }
        @{ Construct = 'a typed number suffix'; Code = '$n = 10u'; Problem = 'number literal 10u' }
        @{ Construct = 'a binary literal'; Code = '$n = 0b101'; Problem = 'number literal 0b101' }
        @{ Construct = 'a unicode escape'; Code = '$t = "`u{2713}"'; Problem = 'escape `u{} ' }
        @{ Construct = 'an enum base type'; Code = 'enum E : byte { A }'; Problem = 'enum base type' }
    ) {
        Find-PowerShell51Problem $Code | Should -Contain $Problem
    }

    It 'accepts what Windows PowerShell 5.1 has' {
        $code = @'
[CmdletBinding(PositionalBinding = $false)]
param([string]$Folder, [Parameter(ValueFromRemainingArguments = $true)] [string[]]$Rest)
$ErrorActionPreference = 'Stop'
[Net.ServicePointManager]::SecurityProtocol = [Net.SecurityProtocolType]::Tls12
$text = Get-Content -LiteralPath (Join-Path $Folder 'a.json') -Raw
$value = ConvertFrom-Json -InputObject $text
if ($value.version -isnot [string] -or $value.version -cne '1.0') { throw 'no' } else { $n = 0x1F + 10L + 1kb }
$parts = 'a/b'.Split('/')
$file = [IO.File]::Open($Folder, [IO.FileMode]::OpenOrCreate, [IO.FileAccess]::ReadWrite, [IO.FileShare]::None)
$rsa = [Security.Cryptography.RSA]::Create()
$hash = (Get-FileHash -LiteralPath $Folder -Algorithm SHA256).Hash.ToLowerInvariant()
Add-Content -LiteralPath $Folder -Value ((Get-Date -Format s) + ' start') -Encoding Ascii
$items = 1..3 | ForEach-Object { $_ * 2 } | Where-Object { $_ -gt 2 }
Expand-Archive -LiteralPath $Folder -DestinationPath $Folder
& (Join-Path $PSHOME 'powershell.exe') -NoProfile -File $Folder
'@
        Find-PowerShell51Problem $code | Should -BeNullOrEmpty
    }
}
