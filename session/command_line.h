// The command line that starts Windows PowerShell on the staged installer
// script. Pure (no windows.h): unit-tested natively and under Wine.
#ifndef VTF_SESSION_COMMAND_LINE_H
#define VTF_SESSION_COMMAND_LINE_H
#include <cstddef>

// Capacity of the command-line buffer handed to CreateProcessW.
constexpr std::size_t kCommandLineCapacity = 4096;

// Capacity of the PowerShell path (MAX_PATH).
constexpr std::size_t kPowerShellPathCapacity = 260;

// Writes "<system_dir>\WindowsPowerShell\v1.0\powershell.exe" into `path`
// (kPowerShellPathCapacity characters). `system_dir_length` is what
// GetSystemDirectoryW returned for a buffer of 260: 0 (failed) or 260 and more
// (the directory did not fit and the buffer holds no path) are refused, and so
// is a directory longer than 221 characters, whose PowerShell path would not
// fit. Returns false then: a cut path must never be started.
bool BuildPowerShellPath(wchar_t* path, const wchar_t* system_dir, unsigned system_dir_length);

// Writes
//   "<powershell>" -NoProfile -ExecutionPolicy Bypass -File "<script>"
//   -InstallDir "<folder>" -Desktop <d> -StartMenu <s> -Startup <u>
// (one line) into `buffer`. The script path and the folder are quoted by the
// rules Windows programs use to split their command line (CommandLineToArgvW,
// the C runtime): backslashes that come right before a quote are doubled, so
// a folder ending in a backslash still arrives whole and leaves the switches
// after it intact. Paths without such backslashes appear exactly as typed.
// The PowerShell path is the program name, which those rules never unescape,
// so it stands between plain quotes. Returns the length written, or -1 when
// the text does not fit `capacity` (the buffer is then not to be used).
int BuildScriptCommandLine(wchar_t* buffer, std::size_t capacity, const wchar_t* powershell_path,
                           const wchar_t* script_path, const wchar_t* folder, int desktop,
                           int start_menu, int startup);

#endif
