// The program's entry point: language, single-instance guard, display scale,
// shared fonts and brush, the one window, the message loop and teardown.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/resources.h"
#include "app/scale.h"
#include "app/text_table.h"
#include "app/window_proc.h"

HFONT font_body = nullptr;
HFONT font_small = nullptr;
HFONT font_headline = nullptr;
HFONT font_title = nullptr;
HBRUSH background_brush = nullptr;

namespace {

constexpr wchar_t kWindowClass[] = L"VelmoTallowfinSetup";
constexpr wchar_t kMutexName[] = L"Local\\VelmoTallowfinInstaller";
// A fixed-size window: caption, system menu and minimise box only.
constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
static_assert(kWindowStyle == 0x02CA0000, "window style");

HANDLE instance_mutex = nullptr;

// Font heights are character heights (negative), scaled like every other size.
HFONT CreateSegoeFont(int design_height, int weight) {
  return CreateFontW(-ScaleValue(design_height), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     CLEARTYPE_QUALITY, 0, L"Segoe UI");
}

// Sets ui_scale from the screen's DPI and the work area, which it returns.
RECT SettleScale() {
  HDC screen = GetDC(nullptr);
  int logpixels_x = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ui_scale = ComputeUiScale(logpixels_x, work.right - work.left, work.bottom - work.top);
  return work;
}

void CreateSharedObjects() {
  font_body = CreateSegoeFont(15, FW_NORMAL);
  font_small = CreateSegoeFont(12, FW_NORMAL);
  font_headline = CreateSegoeFont(29, FW_BOLD);
  font_title = CreateSegoeFont(18, FW_BOLD);
  background_brush = CreateSolidBrush(RGB(8, 15, 29));
}

void RegisterWindowClass(HINSTANCE instance) {
  HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP_ICON));
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = 0;
  wc.lpfnWndProc = InstallerWindowProc;
  wc.hInstance = instance;
  wc.hIcon = icon;
  wc.hIconSm = icon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background_brush;
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);
}

// The window whose client area is 840 x 552 design units, centred in `work`.
HWND CreateMainWindow(HINSTANCE instance, const RECT& work) {
  RECT frame{0, 0, ScaleValue(840), ScaleValue(552)};
  AdjustWindowRect(&frame, kWindowStyle, FALSE);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = (work.left + work.right - width) / 2;
  const int y = (work.top + work.bottom - height) / 2;
  return CreateWindowExW(WS_EX_APPWINDOW, kWindowClass, Text(TXT_WINDOW_TITLE), kWindowStyle,
                         x, y, width, height, nullptr, nullptr, instance, nullptr);
}

void ReleaseSharedObjects() {
  DeleteObject(font_body);
  DeleteObject(font_small);
  DeleteObject(font_headline);
  DeleteObject(font_title);
  DeleteObject(background_brush);
  if (instance_mutex != nullptr) CloseHandle(instance_mutex);
  CoUninitialize();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  use_korean = IsKoreanLanguage(GetUserDefaultUILanguage());

  // One installer per logon session. When the mutex cannot be made at all the
  // program runs unguarded rather than not at all.
  instance_mutex = CreateMutexW(nullptr, FALSE, kMutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    MessageBoxW(nullptr, Text(TXT_ALREADY_RUNNING), Text(TXT_CAPTION), MB_OK);
    return 0;
  }

  SetProcessDPIAware();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  const RECT work = SettleScale();
  CreateSharedObjects();
  RegisterWindowClass(instance);

  HWND window = CreateMainWindow(instance, work);
  if (window == nullptr) {
    ReleaseSharedObjects();
    return 1;
  }
  ShowWindow(window, show_command);
  UpdateWindow(window);

  // IsDialogMessageW gives the controls Tab navigation. A GetMessageW error
  // (-1) ends the loop like WM_QUIT.
  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  ReleaseSharedObjects();
  return static_cast<int>(message.wParam);
}
