#include "app/format_wide.h"
#include <gtest/gtest.h>
TEST(FormatWide, Smoke) { wchar_t b[8]; EXPECT_EQ(FormatWide(b, 8, L"%ls", L"abc"), 3); }
