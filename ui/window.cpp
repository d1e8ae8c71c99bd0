// Placeholder until the window's controls are built.
#include "ui/window.h"

HWND main_window, folder_edit, browse_button, desktop_check, startmenu_check, startup_check,
    install_button, progress_bar;
wchar_t status_text[256];
wchar_t work_dir[MAX_PATH];
wchar_t log_path[MAX_PATH];

LRESULT OnCreate(HWND window) { main_window = window; return 0; }
void SetStatusText(const wchar_t*) {}
void EnableOptionControls(bool) {}
