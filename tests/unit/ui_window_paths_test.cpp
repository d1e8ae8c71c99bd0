// Default folder, work folder and log path from the local application data.
#include "ui/window_paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Paths {
  wchar_t install_folder[kPathCapacity];
  wchar_t work_dir[kPathCapacity];
  wchar_t log_path[kPathCapacity];
  explicit Paths(const wchar_t* local) {
    // Stale content must never survive.
    for (wchar_t* b : {install_folder, work_dir, log_path}) {
      std::fill(b, b + kPathCapacity - 1, L'#');
      b[kPathCapacity - 1] = L'\0';
    }
    BuildWindowPaths(local, install_folder, work_dir, log_path);
  }
};

TEST(UiWindowPaths, ShellFolderWinsOverEnvironment) {
  const wchar_t* chosen = ChooseLocalAppData(L"C:\\Users\\u\\AppData\\Local", L"D:\\Other");
  EXPECT_STREQ(chosen, L"C:\\Users\\u\\AppData\\Local");
}

TEST(UiWindowPaths, EnvironmentFallbackOnlyWhenUsable) {
  const std::wstring too_long = L"C:\\" + std::wstring(kPathCapacity - 3, L'a');  // 260 units
  const std::wstring longest = L"C:\\" + std::wstring(kPathCapacity - 4, L'a');   // 259 units
  const struct {
    const wchar_t* shell;
    const wchar_t* environment;
    const wchar_t* expected;
  } cases[] = {
      {nullptr, L"C:\\Users\\u\\AppData\\Local", L"C:\\Users\\u\\AppData\\Local"},
      {L"", L"C:\\Users\\u\\AppData\\Local", L"C:\\Users\\u\\AppData\\Local"},  // shell said nothing
      {nullptr, L"c:/Users/u/AppData/Local", L"c:/Users/u/AppData/Local"},
      {nullptr, L"\\\\server\\home\\Local", L"\\\\server\\home\\Local"},
      {nullptr, longest.c_str(), longest.c_str()},
      {nullptr, too_long.c_str(), L""},
      {nullptr, L"AppData\\Local", L""},   // relative: the script would resolve it elsewhere
      {nullptr, L"\\Users\\u", L""},       // rooted on whatever drive is current
      {nullptr, L"C:AppData", L""},
      {nullptr, L"", L""},
      {nullptr, nullptr, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.environment ? c.environment : L"(null)");
    EXPECT_STREQ(ChooseLocalAppData(c.shell, c.environment), c.expected);
  }
}

TEST(UiWindowPaths, FromLocalAppData) {
  Paths p(L"C:\\Users\\user\\AppData\\Local");
  EXPECT_STREQ(p.install_folder, L"C:\\Users\\user\\AppData\\Local\\Programs\\VELMO Tallowfin");
  EXPECT_STREQ(p.work_dir, L"C:\\Users\\user\\AppData\\Local\\VTFI");
  EXPECT_STREQ(p.log_path, L"C:\\Users\\user\\AppData\\Local\\VTFI\\install.log");
}

TEST(UiWindowPaths, WithoutLocalAppDataNothingIsNamedAtADriveRoot) {
  for (const wchar_t* local : {static_cast<const wchar_t*>(L""), static_cast<const wchar_t*>(nullptr)}) {
    Paths p(local);
    EXPECT_STREQ(p.install_folder, L"\\Programs\\VELMO Tallowfin");
    EXPECT_STREQ(p.work_dir, L"");
    EXPECT_STREQ(p.log_path, L"");
  }
}

// "\Programs\VELMO Tallowfin" is 25 units, "\VTFI" 5 and "\install.log" 12;
// each path is formed only when it fits 259 units and a terminator.
TEST(UiWindowPaths, LongLocalAppDataAtEachLimit) {
  const struct {
    size_t length;
    bool default_fits, work_fits, log_fits;
  } cases[] = {
      {234, true, true, true},  {235, false, true, true}, {242, false, true, true},
      {243, false, true, false}, {254, false, true, false}, {255, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::wstring local = L"C:\\" + std::wstring(c.length - 3, L'L');
    Paths p(local.c_str());
    EXPECT_EQ(std::wstring(p.install_folder),
              c.default_fits ? local + L"\\Programs\\VELMO Tallowfin" : L"\\Programs\\VELMO Tallowfin");
    EXPECT_EQ(std::wstring(p.work_dir), c.work_fits ? local + L"\\VTFI" : L"");
    EXPECT_EQ(std::wstring(p.log_path), c.log_fits ? local + L"\\VTFI\\install.log" : L"");
  }
}

}  // namespace
