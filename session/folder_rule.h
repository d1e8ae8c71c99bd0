// The rule an installation folder must pass before the installer script is
// started with it. Pure (no windows.h): unit-tested natively and under Wine.
#ifndef VTF_SESSION_FOLDER_RULE_H
#define VTF_SESSION_FOLDER_RULE_H
#include <cstddef>

// An accepted folder has 3 to 220 characters; with its terminator it fits this.
constexpr std::size_t kAcceptedFolderCapacity = 221;

// Checks the folder field's text (UTF-16 code units on Windows). On success
// writes the accepted folder into `accepted` (kAcceptedFolderCapacity
// characters) and returns true; a rejected text returns false and leaves
// `accepted` untouched. The rule: trailing spaces (U+0020 only) are trimmed;
// the trimmed text must have 4 to 220 characters and contain no double quote,
// line feed or carriage return; then one trailing backslash or slash is removed.
bool ValidateInstallFolder(const wchar_t* text, wchar_t* accepted);

#endif
