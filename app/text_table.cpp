// The texts are UTF-8 in this file and wide-character constants in the
// program: UTF-16 on Windows, UTF-32 in the native unit tests.
#include "app/text_table.h"

#include "app/build_config.h"

bool use_korean = false;

namespace {

struct TextPair {
  TextKey key;
  const wchar_t* english;
  const wchar_t* korean;  // nullptr: the English text serves both languages
};

// In the order of TextKey; the key column lets the compiler catch a slipped row.
constexpr TextPair kTexts[] = {
  {TXT_CAPTION, L"VELMO Tallowfin", nullptr},
  {TXT_ALREADY_RUNNING, L"The installer is already running.",
   L"설치 프로그램이 이미 실행 중입니다."},
  {TXT_BROWSE, L"Browse", L"폴더 선택"},
  {TXT_BROWSE_TITLE, L"Choose installation folder", L"설치 폴더 선택"},
  {TXT_DESKTOP_SHORTCUT, L"Desktop shortcut", L"바탕화면 바로가기"},
  {TXT_START_MENU_SHORTCUT, L"Start menu shortcut", L"시작 메뉴에 추가"},
  {TXT_LAUNCH_AT_STARTUP, L"Launch at Windows startup", L"Windows 시작 시 실행"},
  {TXT_INSTALL_AND_LAUNCH, L"Install and launch", L"설치하고 시작하기"},
  {TXT_INSTALLING, L"Installing\u2026", L"설치 중\u2026"},
  {TXT_DONE, L"Done", L"완료"},
  {TXT_TRY_AGAIN, L"Try again", L"다시 시도"},
  {TXT_HEADER_TITLE, L"VELMO TALLOWFIN AI", nullptr},
  {TXT_HEADER_SUBTITLE, L"ONLINE INSTALLER", L"온라인 설치기"},
  {TXT_HEADLINE, L"Ready for your next raid", L"다음 레이드를 준비하세요"},
  {TXT_INTRO,
   L"An Internet connection is required.\nUse this installer for the latest app release.",
   L"인터넷 연결이 필요합니다.\n이 설치기로 항상 최신 앱을 설치할 수 있습니다."},
  {TXT_FOLDER_LABEL, L"Installation folder", L"설치 위치"},
  {TXT_STATUS_READY,
   L"Internet connection required. The latest app will be downloaded and installed.",
   L"설치에는 인터넷 연결이 필요합니다. 최신 앱을 내려받아 설치합니다."},
  {TXT_STATUS_CHECKING, L"Checking the current release.", L"새 버전을 확인하고 있습니다."},
  {TXT_STATUS_DOWNLOADING, L"Downloading the latest app package.",
   L"업데이트 파일을 다운로드하고 있습니다."},
  {TXT_STATUS_EXTRACTING, L"Package verified. Extracting files.",
   L"파일 확인을 마쳤습니다. 압축을 풀고 있습니다."},
  {TXT_STATUS_INSTALLING, L"Installing the app. Check the language selection window.",
   L"앱을 설치하고 있습니다. 언어 선택 창을 확인해 주세요."},
  {TXT_STATUS_COMPLETE, L"Installation complete. See you in the app.",
   L"설치 완료. 앱에서 만나세요."},
  {TXT_STATUS_NETWORK_FAILED,
   L"Could not connect to the server. Check your Internet connection and try again.",
   L"서버에 연결하지 못했습니다. 인터넷 연결을 확인한 뒤 다시 시도해 주세요."},
  {TXT_STATUS_FAILED, L"Installation was not completed. Check install.log and try again.",
   L"설치를 완료하지 못했습니다. 설치 로그를 확인한 뒤 다시 시도해 주세요."},
  {TXT_BUSY_CLOSE, L"Installation is in progress. You can minimize this window.",
   L"설치가 진행 중입니다. 창을 최소화하고 계속 사용할 수 있습니다."},
  {TXT_INVALID_FOLDER, L"Choose a valid installation folder.",
   L"올바른 설치 폴더를 선택해 주세요."},
  {TXT_PREPARE_FAILED, L"Could not prepare the installation files.",
   L"설치 준비 파일을 만들지 못했습니다."},
  {TXT_POWERSHELL_FAILED, L"Could not start Windows PowerShell.",
   L"Windows PowerShell을 시작하지 못했습니다."},
  {TXT_WINDOW_TITLE, L"VELMO Tallowfin Installer", nullptr},
  {TXT_WEBSITE_LABEL, VTF_WEBSITE_HOST_W, nullptr},
};

constexpr bool RowsFollowKeys() {
  for (int i = 0; i < TXT_KEY_COUNT; ++i) {
    if (kTexts[i].key != i) return false;
  }
  return true;
}

static_assert(sizeof kTexts / sizeof kTexts[0] == TXT_KEY_COUNT, "one row per text key");
static_assert(RowsFollowKeys(), "rows in the order of TextKey");

}  // namespace

bool IsKoreanLanguage(unsigned language_id) {
  return (language_id & 0x3FFu) == 0x12u;  // primary language LANG_KOREAN
}

const wchar_t* TextIn(TextKey key, bool korean) {
  if (static_cast<unsigned>(key) >= TXT_KEY_COUNT) return L"";
  const TextPair& pair = kTexts[key];
  return (korean && pair.korean != nullptr) ? pair.korean : pair.english;
}

const wchar_t* Text(TextKey key) {
  return TextIn(key, use_korean);
}
