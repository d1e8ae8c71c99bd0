// Identifiers of the window's child controls (the menu argument of each
// control, the CtlID of WM_DRAWITEM and the command id of WM_COMMAND).
// Pure constants (no windows.h), shared by the window, its painting and the
// install session.
#ifndef VTF_UI_CONTROL_IDS_H
#define VTF_UI_CONTROL_IDS_H

constexpr int IDC_INSTALL = 101;    // main button (owner-drawn)
constexpr int IDC_BROWSE = 102;     // Browse button (owner-drawn)
constexpr int IDC_FOLDER = 103;     // installation-folder edit field
constexpr int IDC_DESKTOP = 104;    // desktop-shortcut check box
constexpr int IDC_STARTMENU = 105;  // Start-menu check box
constexpr int IDC_STARTUP = 106;    // start-up check box
constexpr int IDC_WEBSITE = 107;    // web-site button (owner-drawn)

#endif
