#include "ui/window_paths.h"

#include <cwchar>

#include "app/format_wide.h"

namespace {

bool IsAbsolutePath(const wchar_t* path) {
  const bool drive = ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
                     path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
  const bool unc = path[0] == L'\\' && path[1] == L'\\';
  return drive || unc;
}

}  // namespace

const wchar_t* ChooseLocalAppData(const wchar_t* shell_folder, const wchar_t* environment_folder) {
  if (shell_folder != nullptr && shell_folder[0] != L'\0') return shell_folder;
  if (environment_folder != nullptr && std::wcslen(environment_folder) < kPathCapacity &&
      IsAbsolutePath(environment_folder)) {
    return environment_folder;
  }
  return L"";
}

void BuildWindowPaths(const wchar_t* local_app_data, wchar_t (&install_folder)[kPathCapacity],
                      wchar_t (&work_dir)[kPathCapacity], wchar_t (&log_path)[kPathCapacity]) {
  if (local_app_data == nullptr) local_app_data = L"";
  const wchar_t* const kDefaultFolder = L"%ls\\Programs\\VELMO Tallowfin";
  if (local_app_data[0] == L'\0' ||
      FormatWide(install_folder, kPathCapacity, kDefaultFolder, local_app_data) < 0) {
    FormatWide(install_folder, kPathCapacity, kDefaultFolder, L"");
  }
  work_dir[0] = L'\0';
  log_path[0] = L'\0';
  if (local_app_data[0] == L'\0') return;
  if (FormatWide(work_dir, kPathCapacity, L"%ls\\VTFI", local_app_data) < 0) return;
  FormatWide(log_path, kPathCapacity, L"%ls\\install.log", work_dir);
}
