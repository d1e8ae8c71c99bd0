// Every text the program shows, in English and Korean, looked up by key.
// Pure data (no windows.h), so it is unit-tested natively and under Wine.
#ifndef VTF_APP_TEXT_TABLE_H
#define VTF_APP_TEXT_TABLE_H

enum TextKey {
  TXT_CAPTION,
  TXT_ALREADY_RUNNING,
  TXT_BROWSE,
  TXT_BROWSE_TITLE,
  TXT_DESKTOP_SHORTCUT,
  TXT_START_MENU_SHORTCUT,
  TXT_LAUNCH_AT_STARTUP,
  TXT_INSTALL_AND_LAUNCH,
  TXT_INSTALLING,
  TXT_DONE,
  TXT_TRY_AGAIN,
  TXT_HEADER_TITLE,
  TXT_HEADER_SUBTITLE,
  TXT_HEADLINE,
  TXT_INTRO,
  TXT_FOLDER_LABEL,
  TXT_STATUS_READY,
  TXT_STATUS_CHECKING,
  TXT_STATUS_DOWNLOADING,
  TXT_STATUS_EXTRACTING,
  TXT_STATUS_INSTALLING,
  TXT_STATUS_COMPLETE,
  TXT_STATUS_NETWORK_FAILED,
  TXT_STATUS_FAILED,
  TXT_BUSY_CLOSE,
  TXT_INVALID_FOLDER,
  TXT_PREPARE_FAILED,
  TXT_POWERSHELL_FAILED,
  // Fixed texts, the same in both languages.
  TXT_WINDOW_TITLE,
  TXT_WEBSITE_LABEL,
  TXT_KEY_COUNT
};

// True when the interface speaks Korean; set once at start-up.
extern bool use_korean;

// True when `language_id` (a LANGID) has Korean (0x12) as primary language.
bool IsKoreanLanguage(unsigned language_id);

// The text of `key` in the language of use_korean. The text lives for the
// whole process; an unknown key yields an empty string.
const wchar_t* Text(TextKey key);

// The text of `key` in the given language.
const wchar_t* TextIn(TextKey key, bool korean);

#endif
