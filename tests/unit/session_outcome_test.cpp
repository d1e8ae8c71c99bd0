// The end of the installer script's process, by exit code.
#include "session/outcome.h"

#include <gtest/gtest.h>

namespace {

TEST(InstallOutcome, ByExitCode) {
  struct Case {
    unsigned long exit_code;
    bool succeeded;
    TextKey status;
    TextKey main_button;
    bool enable_options;
  };
  const Case cases[] = {
      {0, true, TXT_STATUS_COMPLETE, TXT_DONE, false},
      {10, false, TXT_STATUS_NETWORK_FAILED, TXT_TRY_AGAIN, true},
      {1, false, TXT_STATUS_FAILED, TXT_TRY_AGAIN, true},
      {3, false, TXT_STATUS_FAILED, TXT_TRY_AGAIN, true},
      {11, false, TXT_STATUS_FAILED, TXT_TRY_AGAIN, true},
      {259, false, TXT_STATUS_FAILED, TXT_TRY_AGAIN, true},  // STILL_ACTIVE's value
      {0xC0000005ul, false, TXT_STATUS_FAILED, TXT_TRY_AGAIN, true},  // a crash
      {0xFFFFFFFFul, false, TXT_STATUS_FAILED, TXT_TRY_AGAIN, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.exit_code);
    const InstallOutcome outcome = OutcomeForExitCode(c.exit_code);
    EXPECT_EQ(outcome.succeeded, c.succeeded);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.main_button, c.main_button);
    EXPECT_EQ(outcome.enable_options, c.enable_options);
  }
}

}  // namespace
