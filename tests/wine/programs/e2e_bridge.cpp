// Stand-in for powershell.exe in the end-to-end tests: the installer under
// Wine starts this program as Windows PowerShell; it hands the staged script
// and its arguments to the real PowerShell on Linux and ends with its exit code.
//
// Wine can start a Linux program but cannot wait for it or read its exit code,
// so the bridge starts /bin/sh on a small script that runs PowerShell and then
// writes the exit code into a file, and polls for that file.
//
// Settings come from the environment that the test gives the installer:
//   VTF_BRIDGE_PWSH   Linux path of the PowerShell to run
//   VTF_BRIDGE_DIR    Linux folder for the bridge's run scripts and exit codes
// Windows paths on the command line (the script, -InstallDir) and LOCALAPPDATA
// are turned into Linux paths, so the script's log is the file the window reads.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

using UnixFileNameFn = char*(CDECL*)(const WCHAR*);

std::string Utf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  return out;
}

std::string ExistingUnixPath(const std::wstring& windows_path) {
  static auto convert = reinterpret_cast<UnixFileNameFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return std::string();
  char* unix_path = convert(windows_path.c_str());
  if (!unix_path) return std::string();
  std::string result(unix_path);
  HeapFree(GetProcessHeap(), 0, unix_path);
  return result;
}

// Wine converts only paths whose folders exist; a folder the installation is
// still to create is converted through its nearest existing parent.
std::string UnixPath(const std::wstring& windows_path) {
  std::wstring head = windows_path;
  std::string tail;
  while (!head.empty()) {
    std::string converted = ExistingUnixPath(head);
    if (!converted.empty()) return converted + tail;
    size_t cut = head.find_last_of(L"\\/");
    if (cut == std::wstring::npos || cut < 3) break;
    tail = "/" + Utf8(head.substr(cut + 1)) + tail;
    head.resize(cut);
  }
  return std::string();
}

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[4096];
  DWORD n = GetEnvironmentVariableW(name, buffer, 4096);
  return (n > 0 && n < 4096) ? std::wstring(buffer, n) : std::wstring();
}

// Single-quoted for /bin/sh: every ' becomes '\''.
std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool WriteText(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

bool ReadText(const std::wstring& path, std::string* text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[64];
  DWORD n = 0;
  BOOL ok = ReadFile(file, buffer, sizeof buffer, &n, nullptr);
  CloseHandle(file);
  if (!ok) return false;
  text->assign(buffer, n);
  return true;
}

// Linux folder as seen from Windows: Wine maps / to drive Z:.
std::wstring WindowsPathOf(const std::wstring& unix_path) {
  std::wstring out = L"Z:";
  for (wchar_t c : unix_path) out += (c == L'/') ? L'\\' : c;
  return out;
}

}  // namespace

int wmain() {
  std::wstring pwsh = Env(L"VTF_BRIDGE_PWSH");
  std::wstring bridge_dir = Env(L"VTF_BRIDGE_DIR");
  if (pwsh.empty() || bridge_dir.empty()) return 97;

  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 97;

  // Every argument goes through unchanged but the two paths, which become Linux paths.
  std::string command = ShellQuote(Utf8(pwsh));
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    bool path_follows = i > 1 && (lstrcmpiW(argv[i - 1], L"-File") == 0 ||
                                  lstrcmpiW(argv[i - 1], L"-InstallDir") == 0);
    std::string value = path_follows ? UnixPath(arg) : Utf8(arg);
    if (path_follows && value.empty()) return 98;
    command += " " + ShellQuote(value);
  }
  LocalFree(argv);

  std::string local_appdata = UnixPath(Env(L"LOCALAPPDATA"));
  if (local_appdata.empty()) return 98;

  std::wstring tag = std::to_wstring(GetCurrentProcessId());
  std::wstring run_script = bridge_dir + L"/run-" + tag + L".sh";
  std::wstring exit_file = bridge_dir + L"/exit-" + tag;
  std::string script = "#!/bin/sh\n"
                       "LOCALAPPDATA=" + ShellQuote(local_appdata) + "\n"
                       "export LOCALAPPDATA\n" +
                       command + "\n"
                       "echo $? > " + ShellQuote(Utf8(exit_file)) + ".part\n"
                       "mv " + ShellQuote(Utf8(exit_file)) + ".part " + ShellQuote(Utf8(exit_file)) + "\n";
  if (!WriteText(WindowsPathOf(run_script), script)) return 99;

  std::wstring sh_command = L"/bin/sh \"" + run_script + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(L"/bin/sh", &sh_command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 96;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  // The script's own time limits bound the run; the bridge gives up after an
  // hour in case the Linux side died without writing its exit code.
  std::string code;
  const ULONGLONG deadline = GetTickCount64() + 60ULL * 60 * 1000;
  while (!ReadText(WindowsPathOf(exit_file), &code)) {
    if (GetTickCount64() > deadline) return 95;
    Sleep(100);
  }
  return atoi(code.c_str());
}
