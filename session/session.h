// The install session: the user's commands, staging the installer script,
// starting PowerShell, closing the window.
#ifndef VTF_SESSION_SESSION_H
#define VTF_SESSION_SESSION_H
#include <windows.h>

extern bool install_running;       // from a successful start until the process has ended
extern bool install_succeeded;     // the script ended with 0; the main button now closes
extern wchar_t script_path[MAX_PATH];  // the staged script; keeps its text after deletion
extern HANDLE script_process;      // the running PowerShell process, or null
extern DWORD log_offset;           // log bytes already read by the progress monitor

// WM_COMMAND, by control id: the main button, Browse and the web-site button.
LRESULT OnCommand(HWND window, WORD command_id);
// WM_CLOSE: refused with a notice while the script runs.
LRESULT OnClose(HWND window);
// WM_DESTROY: deletes a staged script still on disk and ends the message loop.
LRESULT OnDestroy(HWND window);
// Writes the embedded installer script to a new VTF*.tmp.ps1 file in the
// temporary folder and leaves its path in script_path. True only when the
// whole script was written.
bool StageInstallerScript();

#endif
