// The status line's copy: compared before it is replaced, cut at 255 units.
#include "ui/status_line.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

struct StatusLine {
  wchar_t text[kStatusCapacity] = {};
  int repaints = 0;
  void Set(const wchar_t* t) {
    if (UpdateStatusText(text, t)) ++repaints;
  }
};

TEST(UiStatusLine, SameTextTwiceRepaintsOnce) {
  StatusLine line;
  line.Set(L"Checking the current release.");
  line.Set(L"Checking the current release.");
  EXPECT_EQ(line.repaints, 1);
  EXPECT_STREQ(line.text, L"Checking the current release.");
  line.Set(L"Downloading the latest app package.");
  line.Set(L"Checking the current release.");
  EXPECT_EQ(line.repaints, 3);
}

TEST(UiStatusLine, KoreanTextComparedByCodeUnit) {
  StatusLine line;
  line.Set(L"\uc124\uce58 \uc644\ub8cc. \uc571\uc5d0\uc11c \ub9cc\ub098\uc138\uc694.");
  line.Set(L"\uc124\uce58 \uc644\ub8cc. \uc571\uc5d0\uc11c \ub9cc\ub098\uc138\uc694.");
  line.Set(L"\uc124\uce58 \uc644\ub8cc. \uc571\uc5d0\uc11c \ub9cc\ub098\uc138\uc694!");
  EXPECT_EQ(line.repaints, 2);
}

// 255 units fit exactly and then compare equal; from 256 on the kept copy is
// shorter than the text, so every call copies and repaints again.
TEST(UiStatusLine, LengthLimitAt255) {
  const struct {
    size_t length;
    int repaints_after_three_calls;
  } cases[] = {{254, 1}, {255, 1}, {256, 3}, {300, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    std::wstring text(c.length, L'x');
    text[0] = L'A';
    StatusLine line;
    for (int i = 0; i < 3; ++i) line.Set(text.c_str());
    EXPECT_EQ(line.repaints, c.repaints_after_three_calls);
    const size_t kept = c.length < 255 ? c.length : 255;
    EXPECT_EQ(std::wcslen(line.text), kept);
    EXPECT_EQ(std::wstring(line.text), text.substr(0, kept));
    EXPECT_EQ(line.text[255], L'\0');
  }
}

// A shorter text after a longer one leaves no trace of the longer one.
TEST(UiStatusLine, ShorterTextClearsTheRest) {
  StatusLine line;
  line.Set(std::wstring(300, L'y').c_str());
  line.Set(L"Done.");
  EXPECT_STREQ(line.text, L"Done.");
  for (int i = 5; i < kStatusCapacity; ++i) ASSERT_EQ(line.text[i], L'\0') << "at " << i;
}

TEST(UiStatusLine, NullCountsAsEmpty) {
  StatusLine line;
  line.Set(nullptr);  // empty already: nothing to repaint
  EXPECT_EQ(line.repaints, 0);
  line.Set(L"Ready");
  line.Set(nullptr);
  EXPECT_EQ(line.repaints, 2);
  EXPECT_STREQ(line.text, L"");
}

}  // namespace
