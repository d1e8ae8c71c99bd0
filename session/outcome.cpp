#include "session/outcome.h"

InstallOutcome OutcomeForExitCode(unsigned long exit_code) {
  if (exit_code == 0) return {true, TXT_STATUS_COMPLETE, TXT_DONE, false};
  if (exit_code == 10) return {false, TXT_STATUS_NETWORK_FAILED, TXT_TRY_AGAIN, true};
  return {false, TXT_STATUS_FAILED, TXT_TRY_AGAIN, true};
}
