// Placeholder until the install session is built.
#include "session/session.h"

bool install_running, install_succeeded;
wchar_t script_path[MAX_PATH];
HANDLE script_process;
DWORD log_offset;

LRESULT OnCommand(HWND, WORD) { return 0; }
LRESULT OnClose(HWND window) { DestroyWindow(window); return 0; }
LRESULT OnDestroy(HWND) { PostQuitMessage(0); return 0; }
bool StageInstallerScript() { return false; }
