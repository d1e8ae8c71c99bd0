// The install session: the main, Browse and web-site buttons, the launch of
// hidden PowerShell on the staged script, and closing the window.
#include "session/session.h"

#include <shlobj.h>
#include <shellapi.h>
#include <commctrl.h>

#include <cstdint>

#include "app/build_config.h"
#include "app/text_table.h"
#include "session/command_line.h"
#include "session/folder_rule.h"
#include "session/log_position.h"
#include "session/progress.h"
#include "ui/window.h"

bool install_running;
bool install_succeeded;
wchar_t script_path[MAX_PATH];
HANDLE script_process;
DWORD log_offset;

namespace {

constexpr UINT kMarqueeStepMs = 25;

void ShowMessage(HWND window, TextKey text, UINT style) {
  MessageBoxW(window, Text(text), Text(TXT_CAPTION), style);
}

int CheckedOption(HWND check_box) {
  return SendMessageW(check_box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

// The full path of Windows PowerShell, or false when the system directory
// cannot be read whole or the path would not fit.
bool GetPowerShellPath(wchar_t* path) {
  wchar_t system_dir[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system_dir, MAX_PATH);
  return BuildPowerShellPath(path, system_dir, length);
}

// The log's size now, so that lines of earlier runs are never shown.
void SnapshotLogOffset() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  const bool exists = GetFileAttributesExW(log_path, GetFileExInfoStandard, &data) != 0;
  const std::uint64_t size =
      exists ? (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow : 0;
  log_offset = LogSnapshotOffset(exists, size);
}

void FailPowerShellStart(HWND window) {
  DeleteFileW(script_path);
  ShowMessage(window, TXT_POWERSHELL_FAILED, MB_OK | MB_ICONERROR);
}

void EnterRunningState(HWND window, const PROCESS_INFORMATION& process) {
  script_process = process.hProcess;
  CloseHandle(process.hThread);
  install_running = true;
  EnableOptionControls(false);
  EnableWindow(install_button, FALSE);
  SetWindowTextW(install_button, Text(TXT_INSTALLING));
  SendMessageW(progress_bar, PBM_SETMARQUEE, TRUE, kMarqueeStepMs);
  SetStatusText(Text(TXT_STATUS_CHECKING));
  SetTimer(window, PROGRESS_TIMER_ID, kProgressTimerMs, nullptr);
}

void OnInstallButton(HWND window) {
  if (install_running) return;
  if (install_succeeded) {
    DestroyWindow(window);
    return;
  }

  // A text longer than the buffer would arrive cut, and installing into a
  // prefix of what the user typed is never right: it is refused as well.
  wchar_t typed[MAX_PATH] = L"";
  bool cut = GetWindowTextLengthW(folder_edit) >= MAX_PATH;
  GetWindowTextW(folder_edit, typed, MAX_PATH);
  wchar_t folder[kAcceptedFolderCapacity];
  if (cut || !ValidateInstallFolder(typed, folder)) {
    ShowMessage(window, TXT_INVALID_FOLDER, MB_OK | MB_ICONWARNING);
    return;
  }

  if (!StageInstallerScript()) {
    ShowMessage(window, TXT_PREPARE_FAILED, MB_OK | MB_ICONERROR);
    return;
  }

  // A system directory that cannot be read whole, or whose PowerShell path
  // would not fit, and a command line that would not fit (it always does)
  // end like a failed start: a cut path or command line is never started.
  wchar_t powershell[kPowerShellPathCapacity];
  if (!GetPowerShellPath(powershell)) {
    FailPowerShellStart(window);
    return;
  }

  int desktop = CheckedOption(desktop_check);
  int start_menu = CheckedOption(startmenu_check);
  int at_startup = CheckedOption(startup_check);
  wchar_t command_line[kCommandLineCapacity];
  if (BuildScriptCommandLine(command_line, kCommandLineCapacity, powershell, script_path, folder,
                             desktop, start_menu, at_startup) < 0) {
    FailPowerShellStart(window);
    return;
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};

  SnapshotLogOffset();  // just before the start: the script's first line comes after it
  if (!CreateProcessW(powershell, command_line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    FailPowerShellStart(window);
    return;
  }
  EnterRunningState(window, process);
}

void OnBrowseButton(HWND window) {
  BROWSEINFOW browse = {};
  browse.hwndOwner = window;
  browse.lpszTitle = Text(TXT_BROWSE_TITLE);
  browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&browse);
  if (item == nullptr) return;  // cancelled
  wchar_t path[MAX_PATH];
  if (SHGetPathFromIDListW(item, path)) SetWindowTextW(folder_edit, path);
  CoTaskMemFree(item);
}

void OnWebsiteButton(HWND window) {
  ShellExecuteW(window, L"open", L"https://" VTF_WEBSITE_HOST_W, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace

LRESULT OnCommand(HWND window, WORD command_id) {
  switch (command_id) {
    case IDC_INSTALL:
      OnInstallButton(window);
      break;
    case IDC_BROWSE:
      OnBrowseButton(window);
      break;
    case IDC_WEBSITE:
      OnWebsiteButton(window);
      break;
    default:
      break;
  }
  return 0;
}

LRESULT OnClose(HWND window) {
  if (install_running) {
    ShowMessage(window, TXT_BUSY_CLOSE, MB_OK);
    return 0;
  }
  DestroyWindow(window);
  return 0;
}

LRESULT OnDestroy(HWND) {
  if (script_path[0] != L'\0') DeleteFileW(script_path);
  PostQuitMessage(0);
  return 0;
}
