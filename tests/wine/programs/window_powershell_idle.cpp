// Stands in for Windows PowerShell in the window's Wine tests: it stays
// running (up to two minutes) so that the window remains in its running
// state while the test looks at it, and ends with exit code 1. The test ends
// it earlier by ending the Wine session.
#include <windows.h>

int wmain() {
  Sleep(120000);
  return 1;
}
