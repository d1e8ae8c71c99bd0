#include "session/folder_rule.h"

#include <cwchar>

namespace {

bool Contains(const wchar_t* text, std::size_t length, wchar_t c) {
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == c) return true;
  }
  return false;
}

}  // namespace

bool ValidateInstallFolder(const wchar_t* text, wchar_t* accepted) {
  std::size_t n = std::wcslen(text);
  if (n == 0) return false;
  while (n > 0 && text[n - 1] == L' ') --n;  // tabs and other white space stay
  if (n == 0) return false;
  if (n < 4) return false;
  if (Contains(text, n, L'"')) return false;
  if (Contains(text, n, L'\n')) return false;
  if (n > 220 || Contains(text, n, L'\r')) return false;
  // The length bounds above were taken before this removal, so a drive root
  // such as "D:\" never passes while "C:\A\" becomes "C:\A".
  if (text[n - 1] == L'\\' || text[n - 1] == L'/') --n;
  std::wmemcpy(accepted, text, n);
  accepted[n] = L'\0';
  return true;
}
