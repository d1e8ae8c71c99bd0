// The installation-folder rule as one table: what the user types, and the
// folder passed on (or the rejection).
#include "session/folder_rule.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct FolderCase {
  const char* name;
  std::wstring typed;
  bool accepted;
  std::wstring folder;  // when accepted
};

std::wstring Path(std::size_t length, wchar_t last = L'a') {
  std::wstring text = L"C:\\" + std::wstring(length - 4, L'a');
  text.push_back(last);
  return text;
}

std::wstring Surrogates() { return std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}; }

TEST(FolderRule, Table) {
  const FolderCase cases[] = {
      {"four characters", L"C:\\A", true, L"C:\\A"},
      {"drive root", L"D:\\", false, L""},
      {"drive root and a space", L"D:\\ ", false, L""},
      {"three characters", L"abc", false, L""},
      {"empty", L"", false, L""},
      {"220 characters", Path(220), true, Path(220)},
      {"221 characters", Path(221), false, L""},
      {"259 characters, the most the field gives", Path(259), false, L""},
      {"221 characters ending in a space", Path(220) + L" ", true, Path(220)},
      {"220 characters and many spaces", Path(220) + L"       ", true, Path(220)},
      {"221 characters ending in a backslash", Path(221, L'\\'), false, L""},
      {"220 characters ending in a backslash", Path(220, L'\\'), true, Path(219)},
      {"one trailing backslash", L"C:\\Apps\\", true, L"C:\\Apps"},
      {"one trailing slash", L"C:\\Apps/", true, L"C:\\Apps"},
      {"two trailing backslashes keep one", L"C:\\Apps\\\\", true, L"C:\\Apps\\"},
      {"two trailing slashes keep one", L"C:/Apps//", true, L"C:/Apps/"},
      {"four characters ending in a backslash", L"C:\\\\", true, L"C:\\"},
      {"backslash then spaces", L"C:\\Apps\\   ", true, L"C:\\Apps"},
      {"trailing spaces trimmed", L"C:\\Apps   ", true, L"C:\\Apps"},
      {"leading and inner spaces stay", L"  C:\\My  Apps", true, L"  C:\\My  Apps"},
      {"spaces only", L"      ", false, L""},
      {"one space", L" ", false, L""},
      {"trailing tab kept", L"C:\\Apps\t", true, L"C:\\Apps\t"},
      {"tab then space", L"C:\\Apps\t ", true, L"C:\\Apps\t"},
      {"no-break space is not trimmed", L"C:\\Apps\u00A0", true, L"C:\\Apps\u00A0"},
      {"relative and mixed separators pass as typed", L"Apps/../x\\y", true, L"Apps/../x\\y"},
      {"double quote inside", L"C:\\Ap\"ps", false, L""},
      {"double quote first", L"\"C:\\Apps", false, L""},
      {"double quote last", L"C:\\Apps\"", false, L""},
      {"line feed inside", L"C:\\Ap\nps", false, L""},
      {"line feed last", L"C:\\Apps\n", false, L""},
      {"carriage return first", L"\rC:\\Apps", false, L""},
      {"carriage return last", L"C:\\Apps\r", false, L""},
      {"carriage return before spaces", L"C:\\Apps\r  ", false, L""},
      {"Korean folder", L"C:\\\uC124\uCE58", true, L"C:\\\uC124\uCE58"},
      // Lengths count UTF-16 code units: a character outside the BMP counts twice.
      {"220 code units with a surrogate pair", Path(218) + Surrogates(), true,
       Path(218) + Surrogates()},
      {"221 code units with a surrogate pair", Path(219) + Surrogates(), false, L""},
  };
  for (const FolderCase& c : cases) {
    SCOPED_TRACE(c.name);
    wchar_t accepted[kAcceptedFolderCapacity];
    std::wmemset(accepted, L'#', kAcceptedFolderCapacity);
    accepted[kAcceptedFolderCapacity - 1] = L'\0';
    const std::wstring before = accepted;
    ASSERT_EQ(ValidateInstallFolder(c.typed.c_str(), accepted), c.accepted);
    if (c.accepted) {
      EXPECT_EQ(std::wstring(accepted), c.folder);
      EXPECT_GE(c.folder.size(), 3u);
      EXPECT_LE(c.folder.size(), 220u);
    } else {
      EXPECT_EQ(std::wstring(accepted), before) << "a rejection leaves the output alone";
    }
  }
}

}  // namespace
