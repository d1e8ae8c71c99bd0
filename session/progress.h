// The progress monitor: one tick of the 400 ms timer while the script runs.
#ifndef VTF_SESSION_PROGRESS_H
#define VTF_SESSION_PROGRESS_H
#include <windows.h>

// The window's only timer, started when PowerShell has started.
constexpr UINT_PTR PROGRESS_TIMER_ID = 1;
constexpr UINT kProgressTimerMs = 400;

// WM_TIMER: reads what the script appended to its log since the last tick,
// shows the step it announces, and ends the session once the process has ended.
LRESULT PollInstallProgress(HWND window);

#endif
