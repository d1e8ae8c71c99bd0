// Dispatches each message to the module that owns it: the window's controls
// and painting (ui/), the install session and its progress monitor (session/).
#include "app/window_proc.h"

#include "session/progress.h"
#include "session/session.h"
#include "ui/paint.h"
#include "ui/window.h"

LRESULT CALLBACK InstallerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_ERASEBKGND:
      return OnEraseBackground(window, reinterpret_cast<HDC>(wparam));
    case WM_PAINT:
      return OnPaint(window);
    case WM_DRAWITEM:
      return OnDrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return OnControlColor(reinterpret_cast<HDC>(wparam));
    case WM_COMMAND:
      return OnCommand(window, LOWORD(wparam));
    case WM_CLOSE:
      return OnClose(window);
    case WM_DESTROY:
      return OnDestroy(window);
    case WM_TIMER:
      return PollInstallProgress(window);
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}
