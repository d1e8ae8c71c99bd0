// window_probe.exe: looks at (and pokes) the windows of other programs for
// the Wine tests, and prints what it finds as one JSON object on stdout.
//
//   window_probe.exe [FILTERS] [--wait MS] [ACTIONS]
//   window_probe.exe --info
//
// FILTERS pick top-level windows (all must match; with none, every top-level
// window matches):
//   --class NAME     window class, exactly ("VelmoTallowfinSetup", "#32770")
//   --title TEXT     window title, exactly
//   --visible        only visible windows
// --wait MS          wait up to MS milliseconds (polling) until a window matches
//
// ACTIONS run in order on the first matching window, after it is found:
//   --click ID          BM_CLICK to the child with control id ID
//   --set-text ID TEXT  WM_SETTEXT to the child ID (ID 0: the window itself)
//   --check ID 0|1      BM_SETCHECK to the child ID
//   --focus ID          SetFocus-like: WM_NEXTDLGCTL to the child ID
//   --key VK            WM_KEYDOWN + WM_KEYUP of virtual key VK (decimal) to the window
//   --close             posts WM_CLOSE to the window
//   --sleep MS          waits MS milliseconds
// Actions are sent with SendMessageTimeoutW (2 s); the window is described
// after the actions have run.
//
// Output: {"windows": [WINDOW, ...]} where WINDOW is
//   {"hwnd": N, "owner": N (0: none), "pid": N, "class": S, "id": N, "style": N, "exstyle": N,
//    "text": S, "visible": B, "enabled": B, "check": N or null,
//    "window_rect": [l, t, r, b], "client_rect": [l, t, r, b],
//    "message": S (only for dialog boxes: the text of static 0xFFFF, which
//                  is where MessageBoxW puts its message),
//    "children": [WINDOW, ...]}
// Rectangles are in screen pixels (the probe is DPI-aware); "check" is the
// BM_GETCHECK state of buttons, null for other classes.
// --info prints {"ui_language": N, "logpixels_x": N, "work_area": [l, t, r, b],
//                "screen": [w, h]} for checking the test environment.
//
// Exit code: 0 when a window matched (or --info), 1 when none did in time,
// 2 on a usage error, 3 when an action named a child that does not exist.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr UINT kSendTimeoutMs = 2000;

struct Filters {
  const wchar_t* class_name = nullptr;
  const wchar_t* title = nullptr;
  bool visible_only = false;
};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr,
                      nullptr);
  return out;
}

std::string JsonString(const std::wstring& text) {
  std::string out = "\"";
  for (unsigned char c : Utf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string JsonRect(const RECT& r) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "[%ld, %ld, %ld, %ld]", r.left, r.top, r.right, r.bottom);
  return buffer;
}

LRESULT Send(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = L"";
  GetClassNameW(window, name, 256);
  return name;
}

// WM_GETTEXT reaches controls of other processes too (GetWindowTextW does not).
std::wstring TextOf(HWND window) {
  wchar_t text[4096] = L"";
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &copied)) {
    GetWindowTextW(window, text, 4096);
  }
  text[4095] = L'\0';
  return text;
}

bool IsButton(HWND window) {
  return _wcsicmp(ClassOf(window).c_str(), L"Button") == 0;
}

std::string Describe(HWND window, int depth) {
  RECT window_rect{}, client_rect{};
  GetWindowRect(window, &window_rect);
  GetClientRect(window, &client_rect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client_rect), 2);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);

  const std::wstring class_name = ClassOf(window);
  char numbers[256];
  std::snprintf(numbers, sizeof numbers,
                "\"hwnd\": %llu, \"owner\": %llu, \"pid\": %lu, \"id\": %ld, \"style\": %lu, "
                "\"exstyle\": %lu",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)),
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetWindow(window, GW_OWNER))),
                pid,
                static_cast<long>(GetWindowLongPtrW(window, GWLP_ID)),
                static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)));

  std::string out = "{" + std::string(numbers) + ", \"class\": " + JsonString(class_name) +
                    ", \"text\": " + JsonString(TextOf(window)) +
                    ", \"visible\": " + (IsWindowVisible(window) ? "true" : "false") +
                    ", \"enabled\": " + (IsWindowEnabled(window) ? "true" : "false") + ", \"check\": ";
  if (IsButton(window)) {
    out += std::to_string(static_cast<long>(Send(window, BM_GETCHECK, 0, 0)));
  } else {
    out += "null";
  }
  out += ", \"window_rect\": " + JsonRect(window_rect) + ", \"client_rect\": " + JsonRect(client_rect);
  if (class_name == L"#32770") {
    HWND text = GetDlgItem(window, 0xFFFF);
    out += ", \"message\": " + JsonString(text ? TextOf(text) : L"");
  }
  out += ", \"children\": [";
  bool first = true;
  if (depth < 8) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (!first) out += ", ";
      out += Describe(child, depth + 1);
      first = false;
    }
  }
  return out + "]}";
}

struct FindState {
  const Filters* filters;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<FindState*>(param);
  const Filters& f = *state->filters;
  if (f.visible_only && !IsWindowVisible(window)) return TRUE;
  if (f.class_name && ClassOf(window) != f.class_name) return TRUE;
  if (f.title) {
    wchar_t title[1024] = L"";
    GetWindowTextW(window, title, 1024);
    if (std::wcscmp(title, f.title) != 0) return TRUE;
  }
  state->found.push_back(window);
  return TRUE;
}

std::vector<HWND> FindWindows(const Filters& filters, DWORD wait_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    FindState state{&filters, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    if (!state.found.empty() || GetTickCount() - start >= wait_ms) return state.found;
    Sleep(100);
  }
}

void Print(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

int PrintInfo() {
  HDC screen = GetDC(nullptr);
  const int logpixels = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  char buffer[256];
  std::snprintf(buffer, sizeof buffer,
                "{\"ui_language\": %u, \"logpixels_x\": %d, \"work_area\": %s, \"screen\": [%d, %d]}\n",
                static_cast<unsigned>(GetUserDefaultUILanguage()), logpixels, JsonRect(work).c_str(),
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  Print(buffer);
  return 0;
}

HWND ChildOrSelf(HWND window, int id) {
  return id == 0 ? window : GetDlgItem(window, id);
}

int Usage() {
  std::fputs("usage: window_probe.exe [--class NAME] [--title TEXT] [--visible] [--wait MS] [actions]\n"
             "       window_probe.exe --info   (see the top of window_probe.cpp)\n",
             stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // DPI-aware, so that rectangles are real pixels and never virtualised.
  SetProcessDPIAware();

  Filters filters;
  DWORD wait_ms = 0;
  int i = 1;
  for (; i < argc; ++i) {
    const std::wstring arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == L"--info") return PrintInfo();
    if (arg == L"--class" && has_value) {
      filters.class_name = argv[++i];
    } else if (arg == L"--title" && has_value) {
      filters.title = argv[++i];
    } else if (arg == L"--visible") {
      filters.visible_only = true;
    } else if (arg == L"--wait" && has_value) {
      wait_ms = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
    } else {
      break;  // the actions start here
    }
  }

  const std::vector<HWND> found = FindWindows(filters, wait_ms);
  if (found.empty()) {
    Print("{\"windows\": []}\n");
    return 1;
  }

  HWND target = found.front();
  for (; i < argc; ++i) {
    const std::wstring arg = argv[i];
    auto need = [&](int count) { return i + count < argc; };
    if (arg == L"--click" && need(1)) {
      HWND child = ChildOrSelf(target, _wtoi(argv[++i]));
      if (!child) return 3;
      Send(child, BM_CLICK, 0, 0);
    } else if (arg == L"--set-text" && need(2)) {
      HWND child = ChildOrSelf(target, _wtoi(argv[++i]));
      const wchar_t* text = argv[++i];
      if (!child) return 3;
      Send(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    } else if (arg == L"--check" && need(2)) {
      HWND child = ChildOrSelf(target, _wtoi(argv[++i]));
      const int state = _wtoi(argv[++i]);
      if (!child) return 3;
      Send(child, BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (arg == L"--focus" && need(1)) {
      HWND child = ChildOrSelf(target, _wtoi(argv[++i]));
      if (!child) return 3;
      Send(target, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(child), TRUE);
    } else if (arg == L"--key" && need(1)) {
      const WPARAM key = static_cast<WPARAM>(_wtoi(argv[++i]));
      PostMessageW(target, WM_KEYDOWN, key, 1);
      PostMessageW(target, WM_KEYUP, key, 1 | (1u << 30) | (1u << 31));
    } else if (arg == L"--close") {
      PostMessageW(target, WM_CLOSE, 0, 0);
    } else if (arg == L"--sleep" && need(1)) {
      Sleep(static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10)));
    } else {
      return Usage();
    }
  }

  std::string out = "{\"windows\": [";
  for (size_t n = 0; n < found.size(); ++n) {
    if (!IsWindow(found[n])) continue;  // closed by an action
    if (out.back() != '[') out += ", ";
    out += Describe(found[n], 0);
  }
  Print(out + "]}\n");
  return 0;
}
