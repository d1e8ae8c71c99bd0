// The progress monitor: one tick of the 400 ms timer while the script runs.
#ifndef VTF_SESSION_PROGRESS_H
#define VTF_SESSION_PROGRESS_H
#include <windows.h>

LRESULT PollInstallProgress(HWND window);

#endif
