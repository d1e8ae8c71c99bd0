# Compiles System.Windows.Forms.cs into an assembly named System.Windows.Forms
# with the C# compiler that ships inside PowerShell (Add-Type would give the
# assembly a random name).
param(
    [Parameter(Mandatory = $true)] [string]$Source,
    [Parameter(Mandatory = $true)] [string]$OutputPath
)
$ErrorActionPreference = 'Stop'
$tree = [Microsoft.CodeAnalysis.CSharp.CSharpSyntaxTree]::ParseText([IO.File]::ReadAllText($Source))
$framework = [IO.Path]::GetDirectoryName([object].Assembly.Location)
$references = [Collections.Generic.List[Microsoft.CodeAnalysis.MetadataReference]]::new()
foreach ($name in 'System.Private.CoreLib.dll', 'System.Runtime.dll') {
    $references.Add([Microsoft.CodeAnalysis.MetadataReference]::CreateFromFile((Join-Path $framework $name)))
}
$options = [Microsoft.CodeAnalysis.CSharp.CSharpCompilationOptions]::new(
    [Microsoft.CodeAnalysis.OutputKind]::DynamicallyLinkedLibrary)
$compilation = [Microsoft.CodeAnalysis.CSharp.CSharpCompilation]::Create('System.Windows.Forms',
    [Microsoft.CodeAnalysis.SyntaxTree[]]@($tree), $references, $options)
$file = [IO.File]::Create($OutputPath)
try { $result = $compilation.Emit($file) } finally { $file.Dispose() }
if (-not $result.Success) {
    Remove-Item -LiteralPath $OutputPath
    throw ('Stand-in did not compile: ' + (($result.Diagnostics | ForEach-Object { $_.ToString() }) -join '; '))
}
