#pragma once
// Whole text files. Paths may start with a path macro.
#include <optional>
#include <string>
#include <string_view>

// The file's text: UTF-16 little-endian after a leading FF FE, else one character per byte
// (Latin-1). Line ends are kept. Nothing when the file cannot be opened or is absurdly large.
std::optional<std::u16string> ReadTextFile(std::u16string_view path);

// Replaces the file with bytes in one step: the content goes to a new file beside it that
// then takes the file's place, so a reader never sees a half-written file.
bool WriteWholeFile(std::u16string_view path, std::string_view bytes);

// Held while a program reads a shared file, changes it and writes it back, so that another
// program's change made in between is not overwritten with the old content. The lock is a
// named mutex of the device, one per file name; a program that ends while holding it frees it.
// A lock not granted within a few seconds (a hung holder) is given up: the update goes ahead.
class FileUpdateLock {
public:
    explicit FileUpdateLock(std::u16string_view path);
    ~FileUpdateLock();
    FileUpdateLock(const FileUpdateLock&) = delete;
    FileUpdateLock& operator=(const FileUpdateLock&) = delete;
    bool held() const { return m_held; }

private:
    void* m_mutex = nullptr;
    bool m_held = false;
};

// FF FE and the text as UTF-16 little-endian, the form the system writes its text files in.
std::string Utf16FileBytes(std::u16string_view text);
