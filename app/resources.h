// The fonts and the brush made at start-up and shared by the whole window.
// They live until the message loop ends; nobody else deletes them.
#ifndef VTF_APP_RESOURCES_H
#define VTF_APP_RESOURCES_H
#include <windows.h>

extern HFONT font_body;      // Segoe UI, design height 15, weight 400
extern HFONT font_small;     // Segoe UI, design height 12, weight 400
extern HFONT font_headline;  // Segoe UI, design height 29, weight 700
extern HFONT font_title;     // Segoe UI, design height 18, weight 700
extern HBRUSH background_brush;  // RGB(8, 15, 29), the window's background

// Icon group resource of the program (window class, taskbar, header).
#define IDI_APP_ICON 1

#endif
