// The interface texts in both languages. The expected texts are written here
// as UTF-8 bytes and decoded by the test itself, so a wrong source or
// execution character set for the program's wide literals shows up too.
#include "app/text_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>

namespace {

// UTF-8 to the platform's wide encoding (UTF-16 or UTF-32).
std::wstring Widen(const char* utf8) {
  std::wstring out;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  while (*p) {
    std::uint32_t cp;
    int extra;
    if (*p < 0x80) { cp = *p; extra = 0; }
    else if ((*p >> 5) == 0x6) { cp = *p & 0x1F; extra = 1; }
    else if ((*p >> 4) == 0xE) { cp = *p & 0x0F; extra = 2; }
    else { cp = *p & 0x07; extra = 3; }
    ++p;
    for (int i = 0; i < extra; ++i) cp = (cp << 6) | (*p++ & 0x3F);
    if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
      cp -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (cp >> 10));
      out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<wchar_t>(cp);
    }
  }
  return out;
}

struct Expected {
  TextKey key;
  const char* english;
  const char* korean;  // nullptr: the same text in both languages
};

const Expected kTable[] = {
    {TXT_CAPTION, "VELMO Tallowfin", nullptr},
    {TXT_ALREADY_RUNNING, "The installer is already running.", "설치 프로그램이 이미 실행 중입니다."},
    {TXT_BROWSE, "Browse", "폴더 선택"},
    {TXT_BROWSE_TITLE, "Choose installation folder", "설치 폴더 선택"},
    {TXT_DESKTOP_SHORTCUT, "Desktop shortcut", "바탕화면 바로가기"},
    {TXT_START_MENU_SHORTCUT, "Start menu shortcut", "시작 메뉴에 추가"},
    {TXT_LAUNCH_AT_STARTUP, "Launch at Windows startup", "Windows 시작 시 실행"},
    {TXT_INSTALL_AND_LAUNCH, "Install and launch", "설치하고 시작하기"},
    {TXT_INSTALLING, "Installing…", "설치 중…"},
    {TXT_DONE, "Done", "완료"},
    {TXT_TRY_AGAIN, "Try again", "다시 시도"},
    {TXT_HEADER_TITLE, "VELMO TALLOWFIN AI", nullptr},
    {TXT_HEADER_SUBTITLE, "ONLINE INSTALLER", "온라인 설치기"},
    {TXT_HEADLINE, "Ready for your next raid", "다음 레이드를 준비하세요"},
    {TXT_INTRO, "An Internet connection is required.\nUse this installer for the latest app release.",
     "인터넷 연결이 필요합니다.\n이 설치기로 항상 최신 앱을 설치할 수 있습니다."},
    {TXT_FOLDER_LABEL, "Installation folder", "설치 위치"},
    {TXT_STATUS_READY, "Internet connection required. The latest app will be downloaded and installed.",
     "설치에는 인터넷 연결이 필요합니다. 최신 앱을 내려받아 설치합니다."},
    {TXT_STATUS_CHECKING, "Checking the current release.", "새 버전을 확인하고 있습니다."},
    {TXT_STATUS_DOWNLOADING, "Downloading the latest app package.", "업데이트 파일을 다운로드하고 있습니다."},
    {TXT_STATUS_EXTRACTING, "Package verified. Extracting files.", "파일 확인을 마쳤습니다. 압축을 풀고 있습니다."},
    {TXT_STATUS_INSTALLING, "Installing the app. Check the language selection window.",
     "앱을 설치하고 있습니다. 언어 선택 창을 확인해 주세요."},
    {TXT_STATUS_COMPLETE, "Installation complete. See you in the app.", "설치 완료. 앱에서 만나세요."},
    {TXT_STATUS_NETWORK_FAILED, "Could not connect to the server. Check your Internet connection and try again.",
     "서버에 연결하지 못했습니다. 인터넷 연결을 확인한 뒤 다시 시도해 주세요."},
    {TXT_STATUS_FAILED, "Installation was not completed. Check install.log and try again.",
     "설치를 완료하지 못했습니다. 설치 로그를 확인한 뒤 다시 시도해 주세요."},
    {TXT_BUSY_CLOSE, "Installation is in progress. You can minimize this window.",
     "설치가 진행 중입니다. 창을 최소화하고 계속 사용할 수 있습니다."},
    {TXT_INVALID_FOLDER, "Choose a valid installation folder.", "올바른 설치 폴더를 선택해 주세요."},
    {TXT_PREPARE_FAILED, "Could not prepare the installation files.", "설치 준비 파일을 만들지 못했습니다."},
    {TXT_POWERSHELL_FAILED, "Could not start Windows PowerShell.", "Windows PowerShell을 시작하지 못했습니다."},
    {TXT_WINDOW_TITLE, "VELMO Tallowfin Installer", nullptr},
};

TEST(TextTable, BothLanguagesReadExactly) {
  for (const Expected& e : kTable) {
    SCOPED_TRACE(e.english);
    EXPECT_EQ(std::wstring(TextIn(e.key, false)), Widen(e.english));
    EXPECT_EQ(std::wstring(TextIn(e.key, true)), Widen(e.korean ? e.korean : e.english));
  }
}

TEST(TextTable, TextFollowsTheLanguageFlag) {
  const bool saved = use_korean;
  for (bool korean : {false, true}) {
    use_korean = korean;
    for (int key = 0; key < TXT_KEY_COUNT; ++key) {
      EXPECT_STREQ(Text(static_cast<TextKey>(key)), TextIn(static_cast<TextKey>(key), korean)) << key;
    }
    EXPECT_EQ(std::wstring(Text(TXT_DONE)), korean ? Widen("완료") : L"Done");
  }
  use_korean = saved;
}

TEST(TextTable, EveryKeyHasAShortText) {
  for (bool korean : {false, true}) {
    for (int key = 0; key < TXT_KEY_COUNT; ++key) {
      const wchar_t* text = TextIn(static_cast<TextKey>(key), korean);
      ASSERT_NE(text, nullptr);
      EXPECT_GT(std::wcslen(text), 0u) << key;
      EXPECT_LE(std::wcslen(text), 255u) << key << " would be cut by the status line";
    }
  }
}

TEST(TextTable, EllipsisAndLineFeedAreSingleCharacters) {
  for (bool korean : {false, true}) {
    const std::wstring installing = TextIn(TXT_INSTALLING, korean);
    EXPECT_EQ(installing.back(), static_cast<wchar_t>(0x2026));
    EXPECT_EQ(installing.find(L"..."), std::wstring::npos);

    const std::wstring intro = TextIn(TXT_INTRO, korean);
    std::size_t line_feeds = 0;
    for (wchar_t c : intro) line_feeds += (c == L'\n');
    EXPECT_EQ(line_feeds, 1u);
    EXPECT_EQ(intro.find(L'\r'), std::wstring::npos);
  }
  // A few code points spelled out: the Korean texts are UTF-16 on Windows.
  const wchar_t* running = TextIn(TXT_ALREADY_RUNNING, true);
  EXPECT_EQ(running[0], static_cast<wchar_t>(0xC124));  // 설
  EXPECT_EQ(running[1], static_cast<wchar_t>(0xCE58));  // 치
  EXPECT_EQ(std::wcslen(running), 20u);
}

TEST(TextTable, WebsiteLabelIsABareHostInBothLanguages) {
  const std::wstring label = TextIn(TXT_WEBSITE_LABEL, false);
  EXPECT_EQ(label, TextIn(TXT_WEBSITE_LABEL, true));
  EXPECT_NE(label.find(L'.'), std::wstring::npos);
  EXPECT_EQ(label.find_first_of(L" /:"), std::wstring::npos);
}

TEST(TextTable, UnknownKeyYieldsAnEmptyText) {
  EXPECT_STREQ(TextIn(TXT_KEY_COUNT, false), L"");
  EXPECT_STREQ(TextIn(TXT_KEY_COUNT, true), L"");
}

TEST(Language, KoreanWhenThePrimaryLanguageIsKorean) {
  struct Case {
    unsigned language_id;
    bool korean;
  };
  const Case cases[] = {
      {0x0412, true},   // Korean (Korea)
      {0x0812, true},   // Korean, another sub-language
      {0x0012, true},   // Korean, neutral
      {0x0409, false},  // English (United States)
      {0x0411, false},  // Japanese
      {0x0804, false},  // Chinese (Simplified)
      {0x0404, false},  // Chinese (Traditional)
      {0x0052, false},  // Welsh: 0x52 shares the low five bits with 0x12
      {0x0013, false},  // Dutch
      {0x0000, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsKoreanLanguage(c.language_id), c.korean) << std::hex << c.language_id;
  }
}

}  // namespace
