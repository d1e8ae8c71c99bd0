// Placeholder until the window's painting is built.
#include "ui/paint.h"

LRESULT OnEraseBackground(HWND, HDC) { return 0; }
LRESULT OnPaint(HWND window) { PAINTSTRUCT ps; BeginPaint(window, &ps); EndPaint(window, &ps); return 0; }
LRESULT OnDrawItem(const DRAWITEMSTRUCT*) { return TRUE; }
LRESULT OnControlColor(HDC) { return 0; }
