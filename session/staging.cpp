// Writes the embedded installer script to a new file in the temporary folder.
#include <cwchar>

#include "app/format_wide.h"
#include "session/installer_script.h"
#include "session/session.h"

bool StageInstallerScript() {
  // A temporary folder whose path does not fit is reported with the size it
  // needs and an unfilled buffer: a failure like any other.
  wchar_t temp_dir[MAX_PATH];
  const DWORD temp_length = GetTempPathW(MAX_PATH, temp_dir);
  if (temp_length == 0 || temp_length >= MAX_PATH) return false;

  // The system picks the unique number and creates the empty file.
  wchar_t temp_name[MAX_PATH];
  if (GetTempFileNameW(temp_dir, L"VTF", 0, temp_name) == 0) return false;
  std::wcscpy(script_path, temp_name);

  wchar_t staged_name[MAX_PATH];
  if (FormatWide(staged_name, MAX_PATH, L"%ls.ps1", script_path) < 0) {
    DeleteFileW(script_path);
    return false;
  }
  if (!MoveFileW(script_path, staged_name)) {
    DeleteFileW(script_path);
    return false;
  }
  std::wcscpy(script_path, staged_name);

  HANDLE file = CreateFileW(script_path, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;  // the empty file goes at WM_DESTROY
  DWORD written = 0;
  const BOOL ok = WriteFile(file, kInstallerScript, kInstallerScriptSize, &written, nullptr);
  CloseHandle(file);
  return ok && written == kInstallerScriptSize;
}
