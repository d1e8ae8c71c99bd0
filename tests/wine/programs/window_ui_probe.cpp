// Test-only probe for what the general window probe does not cover: keyboard
// navigation and the enabled state of one control of the installer window,
// found by its class and title.
//
//   window_ui_probe tab N          ids of the first N Tab stops, as the dialog
//                                  navigation walks them (GetNextDlgTabItem)
//   window_ui_probe focus          id of the control with the keyboard focus
//   window_ui_probe enable ID 0|1  EnableWindow on the child control ID
//
// Prints one JSON value. Exit code 0 on success, 2 on a usage error, 3 when
// the window or the control is not found.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int FocusedId(HWND main) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) || !info.hwndFocus) return -1;
  return info.hwndFocus == main ? 0 : GetDlgCtrlID(info.hwndFocus);
}

int PrintTabOrder(HWND main, int steps) {
  HWND control = nullptr;
  std::printf("[");
  for (int i = 0; i < steps; ++i) {
    control = GetNextDlgTabItem(main, control, FALSE);
    std::printf("%s%d", i ? ", " : "", control ? GetDlgCtrlID(control) : -1);
  }
  std::printf("]\n");
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring verb = argv[1];
  HWND main = FindWindowW(L"VelmoTallowfinSetup", L"VELMO Tallowfin Installer");
  if (!main) return 3;
  if (verb == L"tab" && argc > 2) return PrintTabOrder(main, _wtoi(argv[2]));
  if (verb == L"focus") {
    std::printf("%d\n", FocusedId(main));
    return 0;
  }
  if (verb == L"enable" && argc > 3) {
    HWND control = GetDlgItem(main, _wtoi(argv[2]));
    if (!control) return 3;
    EnableWindow(control, _wtoi(argv[3]) ? TRUE : FALSE);
    std::printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    return 0;
  }
  return 2;
}
