// The window's child controls, its default folder, work folder and log path,
// the status line and the switch for the user's choices.
#include "ui/window.h"

#include <commctrl.h>
#include <shlobj.h>

#include "app/resources.h"
#include "app/scale.h"
#include "app/text_table.h"
#include "ui/layout.h"
#include "ui/status_line.h"
#include "ui/window_paths.h"

HWND main_window = nullptr;
HWND folder_edit = nullptr;
HWND browse_button = nullptr;
HWND desktop_check = nullptr;
HWND startmenu_check = nullptr;
HWND startup_check = nullptr;
HWND install_button = nullptr;
HWND progress_bar = nullptr;

wchar_t status_text[256];
wchar_t work_dir[MAX_PATH];
wchar_t log_path[MAX_PATH];

static_assert(sizeof status_text / sizeof status_text[0] == kStatusCapacity, "status line size");
static_assert(MAX_PATH == kPathCapacity, "path capacity");

namespace {

// Creates one control of the layout table with font_body and returns it.
HWND CreateControl(ControlSlot slot) {
  const ControlSpec& spec = kControls[slot];
  const PixelBox box = ControlBox(slot, ui_scale);
  const wchar_t* text = spec.text == kNoText ? L"" : Text(spec.text);
  HWND control = CreateWindowExW(0, spec.class_name, text, spec.style, box.x, box.y, box.width,
                                 box.height, main_window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)),
                                 GetModuleHandleW(nullptr), nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_body), TRUE);
  return control;
}

// The user's local application-data folder: the shell's answer, else the
// LOCALAPPDATA variable that the installer script reads (see
// ChooseLocalAppData); empty when neither is known.
void FindLocalAppData(wchar_t (&folder)[MAX_PATH]) {
  wchar_t shell_folder[MAX_PATH] = L"";
  const bool shell_ok =
      SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, shell_folder));
  wchar_t environment_folder[MAX_PATH] = L"";
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", environment_folder, MAX_PATH);
  const bool environment_ok = length > 0 && length < MAX_PATH;
  lstrcpynW(folder,
            ChooseLocalAppData(shell_ok ? shell_folder : nullptr,
                               environment_ok ? environment_folder : nullptr),
            MAX_PATH);
}

}  // namespace

LRESULT OnCreate(HWND window) {
  main_window = window;

  folder_edit = CreateControl(kFolderField);
  browse_button = CreateControl(kBrowseButton);
  desktop_check = CreateControl(kDesktopCheck);
  startmenu_check = CreateControl(kStartMenuCheck);
  startup_check = CreateControl(kStartupCheck);

  // Both shortcuts by default, no launch at Windows start-up.
  SendMessageW(desktop_check, BM_SETCHECK, BST_CHECKED, 0);
  SendMessageW(startmenu_check, BM_SETCHECK, BST_CHECKED, 0);

  wchar_t local_app_data[MAX_PATH];
  FindLocalAppData(local_app_data);
  wchar_t install_folder[MAX_PATH];
  BuildWindowPaths(local_app_data, install_folder, work_dir, log_path);
  SetWindowTextW(folder_edit, install_folder);
  // An existing folder is the normal case after the first run; the script
  // creates it again itself, so the result does not matter.
  if (work_dir[0] != L'\0') CreateDirectoryW(work_dir, nullptr);

  progress_bar = CreateControl(kProgressBar);
  SendMessageW(progress_bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(color_accent));
  SendMessageW(progress_bar, PBM_SETBKCOLOR, 0, static_cast<LPARAM>(color_border));

  install_button = CreateControl(kMainButton);
  CreateControl(kWebsiteButton);

  SetStatusText(Text(TXT_STATUS_READY));
  return 0;
}

void SetStatusText(const wchar_t* text) {
  if (!UpdateStatusText(status_text, text)) return;
  const PixelRect band = StatusBand(ui_scale);
  const RECT rect{band.left, band.top, band.right, band.bottom};
  // No erase: the paint fills its update rectangle before drawing the text.
  InvalidateRect(main_window, &rect, FALSE);
}

void EnableOptionControls(bool enable) {
  const HWND controls[] = {folder_edit, browse_button, desktop_check, startmenu_check, startup_check};
  for (HWND control : controls) EnableWindow(control, enable ? TRUE : FALSE);
}
