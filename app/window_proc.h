// The window procedure of the one installer window.
#ifndef VTF_APP_WINDOW_PROC_H
#define VTF_APP_WINDOW_PROC_H
#include <windows.h>

LRESULT CALLBACK InstallerWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif
