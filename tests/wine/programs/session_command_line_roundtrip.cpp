// Checks under Wine that the script's command line splits back into the
// folder and the three options, with Windows' own splitter.
//
//   session_command_line_roundtrip.exe IN OUT
//
// IN holds one case a line: the folder text as typed, written as hex UTF-16
// code units after an "x", a space, then the three options as digits (110).
// For each case OUT gets one line: "rejected" when the folder rule refuses the
// text, else "accepted" followed by the accepted folder, the command line and
// every argument CommandLineToArgvW returns, each as "x" and hex code units.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "session/command_line.h"
#include "session/folder_rule.h"

namespace {

std::string Hex(const wchar_t* text) {
  std::string out = "x";
  char unit[8];
  for (const wchar_t* p = text; *p; ++p) {
    std::snprintf(unit, sizeof unit, "%04x", static_cast<unsigned>(*p));
    out += unit;
  }
  return out;
}

std::wstring Unhex(const std::string& field) {
  std::wstring out;
  for (size_t i = 1; i + 4 <= field.size(); i += 4) {
    out.push_back(static_cast<wchar_t>(std::stoul(field.substr(i, 4), nullptr, 16)));
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  FILE* in = _wfopen(argv[1], L"rb");
  FILE* out = _wfopen(argv[2], L"wb");
  if (!in || !out) return 3;

  wchar_t system_dir[MAX_PATH];
  wchar_t powershell[kPowerShellPathCapacity];
  if (!BuildPowerShellPath(powershell, system_dir, GetSystemDirectoryW(system_dir, MAX_PATH))) {
    return 4;
  }
  wchar_t temp_dir[MAX_PATH];
  GetTempPathW(MAX_PATH, temp_dir);
  const std::wstring script = std::wstring(temp_dir) + L"VTF1A2B.tmp.ps1";

  char line[4096];
  while (std::fgets(line, sizeof line, in)) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t space = text.find(' ');
    if (space == std::string::npos || text.size() != space + 4) return 5;
    const std::wstring typed = Unhex(text.substr(0, space));
    const int desktop = text[space + 1] - '0';
    const int start_menu = text[space + 2] - '0';
    const int startup = text[space + 3] - '0';

    wchar_t folder[kAcceptedFolderCapacity];
    if (!ValidateInstallFolder(typed.c_str(), folder)) {
      std::fprintf(out, "rejected\n");
      continue;
    }
    wchar_t command_line[kCommandLineCapacity];
    if (BuildScriptCommandLine(command_line, kCommandLineCapacity, powershell, script.c_str(),
                               folder, desktop, start_menu, startup) < 0) {
      return 6;
    }
    int count = 0;
    wchar_t** args = CommandLineToArgvW(command_line, &count);
    if (!args) return 7;
    std::fprintf(out, "accepted %s %s", Hex(folder).c_str(), Hex(command_line).c_str());
    for (int i = 0; i < count; ++i) std::fprintf(out, " %s", Hex(args[i]).c_str());
    std::fprintf(out, "\n");
    LocalFree(args);
  }
  std::fclose(in);
  std::fclose(out);
  return 0;
}
