// What the end of the installer script's process means for the window, by
// its exit code. Pure (no windows.h).
#ifndef VTF_SESSION_OUTCOME_H
#define VTF_SESSION_OUTCOME_H

#include "app/text_table.h"

struct InstallOutcome {
  bool succeeded;        // the session ends Succeeded (else Failed)
  TextKey status;        // the status line's final text
  TextKey main_button;   // the main button's new label
  bool enable_options;   // whether the folder, Browse and check boxes come back
};

// 0: Succeeded, "Done", options stay disabled. 10: Failed with the network
// text. Anything else: Failed with the generic text. Both failures offer
// "Try again" and enable the options again.
InstallOutcome OutcomeForExitCode(unsigned long exit_code);

#endif
