// Stands in for Windows PowerShell in the Wine tests of the install session.
//
// The test copies it to the PowerShell path of the Wine prefix and names a
// folder in VTF_STANDIN_DIR (inherited through the installer's environment).
// It records how it was started into that folder:
//   cmdline.txt      its command line (UTF-16LE)
//   script-path.txt  the argument after -File (UTF-16LE)
//   script.bin       the bytes of that file as it found them
//   startup.txt      "flags=<STARTUPINFO dwFlags> show=<wShowWindow> console_window=<0|1>"
//   started          written last, once the records above are complete
// then plays scenario.txt from the same folder, one step a line:
//   wait NAME      wait (at most two minutes) until the file NAME exists in the folder
//   sleep MS       sleep MS milliseconds
//   log TEXT       append "2026-01-31T14:05:09 TEXT" and CR LF to the script's log
//   append NAME    append the bytes of the file NAME in the folder to the log
//   touch NAME     create the empty file NAME in the folder
//   exit CODE      end with CODE
// The log is %LOCALAPPDATA%\VTFI\install.log, as the real script writes it.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::wstring record_dir;

std::wstring InDir(const std::wstring& name) { return record_dir + L"\\" + name; }

std::wstring Widen(const std::string& text) {
  return std::wstring(text.begin(), text.end());  // scenario names are ASCII
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char chunk[65536];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) bytes->append(chunk, read);
  CloseHandle(file);
  return true;
}

void WriteWholeFile(const std::wstring& path, const void* data, size_t size, bool append) {
  HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (size > 0) WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
}

void WriteWide(const std::wstring& path, const std::wstring& text) {
  WriteWholeFile(path, text.data(), text.size() * sizeof(wchar_t), false);
}

std::wstring LogPath() {
  wchar_t local[MAX_PATH] = L"";
  GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
  const std::wstring dir = std::wstring(local) + L"\\VTFI";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir + L"\\install.log";
}

void RecordStart() {
  const wchar_t* command_line = GetCommandLineW();
  WriteWide(InDir(L"cmdline.txt"), command_line);

  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(command_line, &argc);
  std::wstring script;
  for (int i = 1; argv && i + 1 < argc; ++i) {
    if (std::wcscmp(argv[i], L"-File") == 0) {
      script = argv[i + 1];
      break;
    }
  }
  if (argv) LocalFree(argv);
  WriteWide(InDir(L"script-path.txt"), script);
  std::string bytes;
  if (!script.empty() && ReadWholeFile(script, &bytes)) {
    WriteWholeFile(InDir(L"script.bin"), bytes.data(), bytes.size(), false);
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  char text[128];
  std::snprintf(text, sizeof text, "flags=%lu show=%u console_window=%d",
                static_cast<unsigned long>(startup.dwFlags), startup.wShowWindow,
                GetConsoleWindow() != nullptr ? 1 : 0);
  WriteWholeFile(InDir(L"startup.txt"), text, std::strlen(text), false);
  WriteWholeFile(InDir(L"started"), "", 0, false);
}

int PlayScenario() {
  std::string scenario;
  if (!ReadWholeFile(InDir(L"scenario.txt"), &scenario)) return 97;
  const std::wstring log = LogPath();
  size_t pos = 0;
  while (pos < scenario.size()) {
    size_t end = scenario.find('\n', pos);
    if (end == std::string::npos) end = scenario.size();
    std::string line = scenario.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : line.substr(space + 1);
    if (verb == "wait") {
      const std::wstring path = InDir(Widen(arg));
      for (int i = 0; GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
        if (i > 2400) return 98;
        Sleep(50);
      }
    } else if (verb == "sleep") {
      Sleep(static_cast<DWORD>(std::atoi(arg.c_str())));
    } else if (verb == "log") {
      const std::string entry = "2026-01-31T14:05:09 " + arg + "\r\n";
      WriteWholeFile(log, entry.data(), entry.size(), true);
    } else if (verb == "append") {
      std::string bytes;
      if (ReadWholeFile(InDir(Widen(arg)), &bytes)) {
        WriteWholeFile(log, bytes.data(), bytes.size(), true);
      }
    } else if (verb == "touch") {
      WriteWholeFile(InDir(Widen(arg)), "", 0, false);
    } else if (verb == "exit") {
      return std::atoi(arg.c_str());
    }
  }
  return 0;
}

}  // namespace

int wmain() {
  wchar_t dir[MAX_PATH] = L"";
  if (GetEnvironmentVariableW(L"VTF_STANDIN_DIR", dir, MAX_PATH) == 0) return 96;
  record_dir = dir;
  RecordStart();
  return PlayScenario();
}
