// Placeholder until the progress monitor is built.
#include "session/progress.h"

LRESULT PollInstallProgress(HWND) { return 0; }
