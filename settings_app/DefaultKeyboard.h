#pragma once
// The default-keyboard switch: the startup selector in the startup folder makes the keyboard
// the current input method at every boot. The switch places a copy of the selector there or
// removes it.
#include <windows.h>

#include <string>
#include <string_view>

inline constexpr char16_t kSelectorSource[] = u"%program_files%/Tarn/Magnikeys/mk_select.exe";
inline constexpr char16_t kSelectorStartupCopy[] = u"%startup%/mk_select.exe";

// A file as it was when the record was made.
struct FileInfo {
    explicit FileInfo(std::u16string_view path);

    bool exists() const { return attributes != INVALID_FILE_ATTRIBUTES; }
    // Takes the read-only attribute away when the record shows it.
    void clear_read_only() const;

    std::u16string path; // device path
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    unsigned long long size = 0;
    FILETIME created {};
    FILETIME written {};
};

namespace DefaultKeyboard {

// The startup copy of the selector can be opened.
bool is_default();
// Makes the startup folder hold a fresh copy of the selector (on) or no selector (off). source
// is the selector's record, taken earlier. Failures are not reported: the next start shows the
// state that resulted.
void apply(bool on, const FileInfo& source);

}
