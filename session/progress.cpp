// The progress monitor: follows the installer script's log and its process on
// every timer tick, and ends the session when the process has ended.
#include "session/progress.h"

#include <commctrl.h>

#include <cstdint>

#include "app/text_table.h"
#include "session/log_markers.h"
#include "session/log_position.h"
#include "session/outcome.h"
#include "session/session.h"
#include "ui/window.h"

namespace {

// Reads at most one chunk of what the script appended since the last tick and
// shows the step it announces. The log is opened with full sharing, so the
// script's appends (and even its deleting the log) are never disturbed.
void ReadNewLogLines() {
  HANDLE log = CreateFileW(log_path, GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  if (log == INVALID_HANDLE_VALUE) return;  // no log yet

  DWORD size_high = 0;
  const DWORD size_low = GetFileSize(log, &size_high);
  if (size_low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) {
    const LogReadStep step =
        PlanLogRead((std::uint64_t{size_high} << 32) | size_low, log_offset);
    log_offset = step.offset;
    // PlanLogRead only reads below 2 GiB, so the distance is never negative.
    if (step.read && SetFilePointer(log, static_cast<LONG>(log_offset), nullptr, FILE_BEGIN) !=
                         INVALID_SET_FILE_POINTER) {
      char chunk[kLogChunkBytes + 1];
      DWORD read = 0;
      if (ReadFile(log, chunk, kLogChunkBytes, &read, nullptr)) {
        chunk[read] = '\0';
        log_offset += read;
        if (const auto status = ScanLogMarkers(chunk)) SetStatusText(Text(*status));
      }
    }
  }
  CloseHandle(log);
}

}  // namespace

LRESULT PollInstallProgress(HWND window) {
  ReadNewLogLines();

  if (script_process == nullptr) return 0;
  if (WaitForSingleObject(script_process, 0) != WAIT_OBJECT_0) return 0;

  DWORD exit_code = 1;
  if (!GetExitCodeProcess(script_process, &exit_code)) exit_code = 1;
  CloseHandle(script_process);
  script_process = nullptr;

  const InstallOutcome outcome = OutcomeForExitCode(exit_code);
  install_running = false;
  install_succeeded = outcome.succeeded;
  KillTimer(window, PROGRESS_TIMER_ID);
  DeleteFileW(script_path);
  SendMessageW(progress_bar, PBM_SETMARQUEE, FALSE, 0);
  EnableWindow(install_button, TRUE);
  if (outcome.enable_options) EnableOptionControls(true);
  SetStatusText(Text(outcome.status));
  SetWindowTextW(install_button, Text(outcome.main_button));
  return 0;
}
