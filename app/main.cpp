// Placeholder entry point until start-up is built.
#include <windows.h>
#include "app/window_proc.h"
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSEXW wc{}; wc.cbSize = sizeof wc; wc.lpfnWndProc = InstallerWindowProc; wc.hInstance = instance;
  wc.lpszClassName = L"VelmoTallowfinSetup"; RegisterClassExW(&wc);
  HWND w = CreateWindowExW(0, L"VelmoTallowfinSetup", L"VELMO Tallowfin Installer", WS_OVERLAPPEDWINDOW,
                           0, 0, 840, 552, nullptr, nullptr, instance, nullptr);
  if (!w) return 1;
  ShowWindow(w, show);
  MSG m; while (GetMessageW(&m, nullptr, 0, 0) > 0) { TranslateMessage(&m); DispatchMessageW(&m); }
  return static_cast<int>(m.wParam);
}
