// FormatWide builds every path and the command line: a text that does not fit
// must fail and leave an empty string, never a cut one.
#include "app/format_wide.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

constexpr std::size_t kPathCapacity = 260;  // MAX_PATH

TEST(FormatWide, FillsAPathBufferUpToTheLastCharacter) {
  struct Case {
    std::size_t length;
    int expected;
  };
  const Case cases[] = {{0, 0}, {1, 1}, {258, 258}, {259, 259}, {260, -1}, {261, -1}, {600, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    const std::wstring text(c.length, L'a');
    wchar_t buffer[kPathCapacity];
    std::wmemset(buffer, L'x', kPathCapacity);
    const int result = FormatWide(buffer, kPathCapacity, L"%ls", text.c_str());
    EXPECT_EQ(result, c.expected);
    if (c.expected >= 0) {
      EXPECT_EQ(std::wstring(buffer), text);
    } else {
      EXPECT_EQ(buffer[0], L'\0') << "a failed format must leave an empty string";
    }
  }
}

TEST(FormatWide, CountsTheWholeResultNotOnlyTheArguments) {
  // A folder and a file name that fit alone but not together.
  const std::wstring folder(250, L'd');
  wchar_t buffer[kPathCapacity];
  EXPECT_EQ(FormatWide(buffer, kPathCapacity, L"%ls\\%ls", folder.c_str(), L"install.log"), -1);
  EXPECT_EQ(buffer[0], L'\0');
  EXPECT_EQ(FormatWide(buffer, kPathCapacity, L"%ls\\%ls", folder.c_str(), L"a.log"), 256);
  EXPECT_EQ(std::wstring(buffer), folder + L"\\a.log");
}

TEST(FormatWide, FormatsWideStringsAndIntegers) {
  wchar_t buffer[128];
  const int n = FormatWide(buffer, 128, L"-InstallDir \"%ls\" -Desktop %d -StartMenu %d -Code %d",
                           L"C:\\Users\\\uAE40\\VELMO", 1, 0, -42);
  const std::wstring expected = L"-InstallDir \"C:\\Users\\\uAE40\\VELMO\" -Desktop 1 -StartMenu 0 -Code -42";
  EXPECT_EQ(std::wstring(buffer), expected);
  EXPECT_EQ(n, static_cast<int>(expected.size()));
}

TEST(FormatWide, SmallCapacities) {
  wchar_t buffer[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_EQ(FormatWide(buffer, 0, L"%ls", L""), -1);
  EXPECT_EQ(buffer[0], L'x') << "capacity 0 must not write at all";

  EXPECT_EQ(FormatWide(buffer, 1, L"%ls", L""), 0);
  EXPECT_EQ(buffer[0], L'\0');

  buffer[0] = L'x';
  EXPECT_EQ(FormatWide(buffer, 1, L"%ls", L"a"), -1);
  EXPECT_EQ(buffer[0], L'\0');

  EXPECT_EQ(FormatWide(buffer, 4, L"%d", 123), 3);
  EXPECT_EQ(std::wstring(buffer), L"123");
  EXPECT_EQ(FormatWide(buffer, 4, L"%d", 1234), -1);
  EXPECT_EQ(buffer[0], L'\0');
}

TEST(FormatWide, RefusesAMissingBufferOrFormat) {
  EXPECT_EQ(FormatWide(nullptr, 10, L"%d", 1), -1);
  wchar_t buffer[8] = {L'x'};
  EXPECT_EQ(FormatWide(buffer, 8, nullptr), -1);
  EXPECT_EQ(buffer[0], L'\0');
}

}  // namespace
