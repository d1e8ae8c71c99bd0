// Painting of the installer window, its owner-drawn buttons and control colours.
#ifndef VTF_UI_PAINT_H
#define VTF_UI_PAINT_H
#include <windows.h>

LRESULT OnEraseBackground(HWND window, HDC dc);
LRESULT OnPaint(HWND window);
LRESULT OnDrawItem(const DRAWITEMSTRUCT* item);
LRESULT OnControlColor(HDC dc);

#endif
