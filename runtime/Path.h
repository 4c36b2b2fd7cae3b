#pragma once
// Path macros and path helpers. Every file path of the system starts with one macro
// ("%program_files%/Tarn/Magnikeys/settings.txt") and uses "/"; ExpandPath makes it a device path.
#include <string>
#include <string_view>

std::u16string ExpandPath(std::u16string_view text);

// The program file of this process, its folder (no trailing separator) and its file name;
// computed on first use and kept for the life of the process.
std::u16string AppFullName();
std::u16string AppPath();
std::u16string AppName();

std::u16string FolderOf(std::u16string_view path);        // up to and including the last "\" or "/"
std::u16string FileNameOf(std::u16string_view path);      // after it; the whole path when there is none
std::u16string StripSeparator(std::u16string_view path);  // without one trailing "\" or "/"
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);
bool SamePath(std::u16string_view a, std::u16string_view b); // expanded, no trailing separator, case ignored

class FolderVisitor {
public:
    virtual ~FolderVisitor() = default;
    // Each returns false to stop the walk.
    virtual bool file_found(const std::u16string& path);
    virtual bool folder_found(const std::u16string& path);
};

// Files of folder matching filePattern, then its folders matching folderPattern (into each
// one first when recursive). Always true.
bool WalkFolder(FolderVisitor& visitor, std::u16string_view folder, std::u16string_view filePattern,
    std::u16string_view folderPattern, bool recursive);

// Reports each storage card through folder_found, except the one holding the documents folder.
bool FindDrives(FolderVisitor& visitor);
