// The status line's own copy of its text. Pure (no windows.h).
#ifndef VTF_UI_STATUS_LINE_H
#define VTF_UI_STATUS_LINE_H

// Capacity of the status line: 255 characters and a terminator.
constexpr int kStatusCapacity = 256;

// Replaces `status` with `text` unless they are already equal (compared code
// unit by code unit). Keeps at most 255 code units, pads the rest with NULs
// and always ends in NUL, so a longer text never compares equal to its kept
// copy and is copied again on every call. A null text counts as empty.
// Returns true when the status changed and its band must be repainted.
bool UpdateStatusText(wchar_t (&status)[kStatusCapacity], const wchar_t* text);

#endif
