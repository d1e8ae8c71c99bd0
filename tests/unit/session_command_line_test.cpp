// The command line that starts PowerShell on the staged script.
#include "session/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t kPowerShell[] = L"C:\\windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe";
const wchar_t kScript[] = L"C:\\users\\me\\Temp\\VTF1A2B.tmp.ps1";
const std::wstring kHead =
    L"\"C:\\windows\\system32\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile "
    L"-ExecutionPolicy Bypass -File \"C:\\users\\me\\Temp\\VTF1A2B.tmp.ps1\" -InstallDir ";

std::wstring Build(const wchar_t* folder, int desktop, int start_menu, int startup,
                   int* length = nullptr) {
  wchar_t buffer[kCommandLineCapacity];
  const int n = BuildScriptCommandLine(buffer, kCommandLineCapacity, kPowerShell, kScript, folder,
                                       desktop, start_menu, startup);
  if (length) *length = n;
  return n < 0 ? L"<failed>" : std::wstring(buffer);
}

TEST(ScriptCommandLine, OptionCombinations) {
  struct Case {
    int desktop, start_menu, startup;
    const wchar_t* tail;
  };
  const Case cases[] = {
      {1, 1, 0, L"\"C:\\Apps\" -Desktop 1 -StartMenu 1 -Startup 0"},  // the defaults
      {0, 0, 0, L"\"C:\\Apps\" -Desktop 0 -StartMenu 0 -Startup 0"},
      {1, 1, 1, L"\"C:\\Apps\" -Desktop 1 -StartMenu 1 -Startup 1"},
      {0, 1, 0, L"\"C:\\Apps\" -Desktop 0 -StartMenu 1 -Startup 0"},
      {1, 0, 1, L"\"C:\\Apps\" -Desktop 1 -StartMenu 0 -Startup 1"},
      {0, 0, 1, L"\"C:\\Apps\" -Desktop 0 -StartMenu 0 -Startup 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.desktop << c.start_menu << c.startup);
    int length = 0;
    const std::wstring line = Build(L"C:\\Apps", c.desktop, c.start_menu, c.startup, &length);
    EXPECT_EQ(line, kHead + c.tail);
    EXPECT_EQ(length, static_cast<int>(line.size()));
  }
}

// Folders are written as typed, except that backslashes right before the
// closing quote are doubled, so that the quote still closes the argument.
TEST(ScriptCommandLine, FolderQuoting) {
  struct Case {
    const wchar_t* folder;
    const wchar_t* quoted;
  };
  const Case cases[] = {
      {L"C:\\Users\\me\\AppData\\Local\\Programs\\VELMO Tallowfin",
       L"\"C:\\Users\\me\\AppData\\Local\\Programs\\VELMO Tallowfin\""},
      {L"C:\\Apps\\", L"\"C:\\Apps\\\\\""},      // typed with two backslashes, one kept
      {L"C:\\", L"\"C:\\\\\""},                  // typed C:\\ (four characters)
      {L"\\\\server\\share", L"\"\\\\server\\share\""},  // leading and inner runs stay
      {L"C:/Apps/", L"\"C:/Apps/\""},
      {L"  C:\\My  Apps\t", L"\"  C:\\My  Apps\t\""},
      {L"C:\\\uC124\uCE58", L"\"C:\\\uC124\uCE58\""},
      // Never an accepted folder, but still one argument: inner quotes escaped.
      {L"a\\\"b", L"\"a\\\\\\\"b\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(Build(c.folder, 1, 1, 0),
              kHead + c.quoted + L" -Desktop 1 -StartMenu 1 -Startup 0");
  }
}

TEST(ScriptCommandLine, Capacity) {
  int length = 0;
  const std::wstring line = Build(L"C:\\Apps", 1, 1, 0, &length);
  ASSERT_GT(length, 0);
  wchar_t buffer[kCommandLineCapacity];
  // Exactly the room for the text and its terminator.
  EXPECT_EQ(BuildScriptCommandLine(buffer, line.size() + 1, kPowerShell, kScript, L"C:\\Apps", 1,
                                   1, 0),
            length);
  EXPECT_EQ(std::wstring(buffer), line);
  // One character less is a failure, not a cut command line.
  EXPECT_EQ(BuildScriptCommandLine(buffer, line.size(), kPowerShell, kScript, L"C:\\Apps", 1, 1,
                                   0),
            -1);

  // The longest inputs: 259-character paths and a 220-character folder that
  // ends in a backslash fit the 4096-character buffer.
  const std::wstring long_path = L"C:\\" + std::wstring(256, L'p');
  const std::wstring long_folder = L"C:\\" + std::wstring(216, L'f') + L"\\";
  const int n = BuildScriptCommandLine(buffer, kCommandLineCapacity, long_path.c_str(),
                                       long_path.c_str(), long_folder.c_str(), 1, 1, 1);
  // 93 characters of fixed text, three digits, the paths and one doubled backslash.
  EXPECT_EQ(n, 93 + 3 + 259 + 259 + 220 + 1);
}

}  // namespace

namespace {

// The PowerShell path is built only from a system directory read whole, and
// only when the whole path fits: never a cut path to start.
TEST(PowerShellPath, FromTheSystemDirectory) {
  const std::wstring suffix = L"\\WindowsPowerShell\\v1.0\\powershell.exe";  // 38 characters
  struct Case {
    const char* name;
    std::wstring system_dir;
    unsigned reported_length;  // what GetSystemDirectoryW returned
    bool built;
  };
  const std::wstring dir221 = L"C:\\" + std::wstring(218, L's');
  const std::wstring dir222 = L"C:\\" + std::wstring(219, L's');
  const Case cases[] = {
      {"usual", L"C:\\windows\\system32", 19, true},
      {"221 characters: the path has 259", dir221, 221, true},
      {"222 characters: the path would need 260", dir222, 222, false},
      {"the call failed", L"", 0, false},
      {"the directory did not fit its buffer", L"", 300, false},
      {"exactly the buffer's size is not a fit", L"", 260, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    wchar_t path[kPowerShellPathCapacity];
    ASSERT_EQ(BuildPowerShellPath(path, c.system_dir.c_str(), c.reported_length), c.built);
    if (c.built) {
      EXPECT_EQ(std::wstring(path), c.system_dir + suffix);
    }
  }
}

}  // namespace
