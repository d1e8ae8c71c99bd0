// The folders the window derives from the user's local application-data
// folder: the default installation folder shown in the folder field, the work
// folder shared with the installer script and the script's log in it.
// Pure (no windows.h).
#ifndef VTF_UI_WINDOW_PATHS_H
#define VTF_UI_WINDOW_PATHS_H

constexpr int kPathCapacity = 260;  // MAX_PATH

// The local application-data folder to build on. `shell_folder` is what the
// shell reported (null when it failed); `environment_folder` is the
// LOCALAPPDATA variable (null when unset or longer than a path). The shell's
// answer wins; without it the variable is taken, because the installer script
// finds its work folder through that same variable, so the log the window
// reads stays the log the script writes. The variable is used only when it is
// an absolute path that fits (a relative one would name a different folder for
// the script, which runs in another current directory). Returns an empty
// string when neither can be used.
const wchar_t* ChooseLocalAppData(const wchar_t* shell_folder, const wchar_t* environment_folder);

// Fills the three paths from `local_app_data`:
//   install_folder  "<local>\Programs\VELMO Tallowfin"
//   work_dir        "<local>\VTFI"
//   log_path        "<work_dir>\install.log"
// When the local folder is empty or too long for the default folder, the
// field gets "\Programs\VELMO Tallowfin", the folder's own name for the user to
// complete (the window still opens, the Browse button can replace it). A work
// folder or log that cannot be named stays empty, so nothing is created at a
// drive root and the progress monitor reads no foreign file.
void BuildWindowPaths(const wchar_t* local_app_data, wchar_t (&install_folder)[kPathCapacity],
                      wchar_t (&work_dir)[kPathCapacity], wchar_t (&log_path)[kPathCapacity]);

#endif
