// The installer window's controls, the status line and the option switch.
#ifndef VTF_UI_WINDOW_H
#define VTF_UI_WINDOW_H
#include <windows.h>

#include "ui/control_ids.h"

extern HWND main_window;
extern HWND folder_edit;
extern HWND browse_button;
extern HWND desktop_check;
extern HWND startmenu_check;
extern HWND startup_check;
extern HWND install_button;
extern HWND progress_bar;

extern wchar_t status_text[256];
extern wchar_t work_dir[MAX_PATH];
extern wchar_t log_path[MAX_PATH];

// WM_CREATE: builds the controls, the default folder, the work folder and log path.
LRESULT OnCreate(HWND window);
// Replaces the status line (at most 255 characters) and repaints its band,
// unless the text is the one already shown.
void SetStatusText(const wchar_t* text);
// Enables or disables the folder field, Browse and the three check boxes;
// the main and web-site buttons are left as they are.
void EnableOptionControls(bool enable);

#endif
