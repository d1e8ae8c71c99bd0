// The install session: the user's commands, staging the installer script,
// starting PowerShell, closing the window.
#ifndef VTF_SESSION_SESSION_H
#define VTF_SESSION_SESSION_H
#include <windows.h>

extern bool install_running;
extern bool install_succeeded;
extern wchar_t script_path[MAX_PATH];
extern HANDLE script_process;
extern DWORD log_offset;

LRESULT OnCommand(HWND window, WORD command_id);
LRESULT OnClose(HWND window);
LRESULT OnDestroy(HWND window);
bool StageInstallerScript();

#endif
