#include "session/command_line.h"

#include <cwchar>

#include "app/format_wide.h"

namespace {

// Room for a quoted path of up to 259 characters: in the worst case every
// character is a backslash before a quote (2n + 1 each), plus the two quotes.
constexpr std::size_t kQuotedCapacity = 3 * 260 + 3;

// Quotes `text` as one argument for the Windows command-line splitter: a run of
// backslashes is doubled when a quote follows it (an inner quote, escaped as \",
// or the closing quote) and kept as it is everywhere else.
// Returns false when the result does not fit `capacity`.
bool QuoteArgument(const wchar_t* text, wchar_t* out, std::size_t capacity) {
  std::size_t used = 0;
  auto put = [&](wchar_t c, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      if (used + 1 >= capacity) return false;
      out[used++] = c;
    }
    return true;
  };
  if (!put(L'"', 1)) return false;
  for (const wchar_t* p = text;; ++p) {
    std::size_t backslashes = 0;
    while (*p == L'\\') {
      ++backslashes;
      ++p;
    }
    if (*p == L'\0') {
      if (!put(L'\\', backslashes * 2)) return false;
      break;
    }
    if (*p == L'"') {
      if (!put(L'\\', backslashes * 2 + 1) || !put(L'"', 1)) return false;
    } else if (!put(L'\\', backslashes) || !put(*p, 1)) {
      return false;
    }
  }
  if (!put(L'"', 1)) return false;
  out[used] = L'\0';
  return true;
}

}  // namespace

bool BuildPowerShellPath(wchar_t* path, const wchar_t* system_dir, unsigned system_dir_length) {
  if (system_dir_length == 0 || system_dir_length >= kPowerShellPathCapacity) return false;
  return FormatWide(path, kPowerShellPathCapacity,
                    L"%ls\\WindowsPowerShell\\v1.0\\powershell.exe", system_dir) >= 0;
}

int BuildScriptCommandLine(wchar_t* buffer, std::size_t capacity, const wchar_t* powershell_path,
                           const wchar_t* script_path, const wchar_t* folder, int desktop,
                           int start_menu, int startup) {
  wchar_t quoted_script[kQuotedCapacity];
  wchar_t quoted_folder[kQuotedCapacity];
  if (!QuoteArgument(script_path, quoted_script, kQuotedCapacity) ||
      !QuoteArgument(folder, quoted_folder, kQuotedCapacity)) {
    if (capacity > 0) buffer[0] = L'\0';
    return -1;
  }
  return FormatWide(buffer, capacity,
                    L"\"%ls\" -NoProfile -ExecutionPolicy Bypass -File %ls -InstallDir %ls"
                    L" -Desktop %d -StartMenu %d -Startup %d",
                    powershell_path, quoted_script, quoted_folder, desktop, start_menu, startup);
}
