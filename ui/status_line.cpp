#include "ui/status_line.h"

#include <cwchar>

bool UpdateStatusText(wchar_t (&status)[kStatusCapacity], const wchar_t* text) {
  if (text == nullptr) text = L"";
  if (std::wcscmp(status, text) == 0) return false;
  std::wcsncpy(status, text, kStatusCapacity - 1);
  status[kStatusCapacity - 1] = L'\0';
  return true;
}
