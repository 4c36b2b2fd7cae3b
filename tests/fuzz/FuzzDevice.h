#pragma once
// A device root for the fuzz targets that read real files: made once per fuzzing process in
// the host's temporary folder and removed at exit. The inputs are split into the files they
// stand for at a separator line, so that a seed is a readable set of files.
#include <simhost.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

inline const std::string& FuzzDeviceRoot()
{
    static const std::string root = [] {
        namespace fs = std::filesystem;
        std::string templ = (fs::temp_directory_path() / "mk-fuzz-XXXXXX").string();
        if (!mkdtemp(templ.data()))
            abort();
        SimSetDeviceRoot(templ.c_str());
        static std::string removeAtExit = templ;
        atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return templ;
    }();
    return root;
}

// Writes bytes at a path relative to the current device root (forward slashes), folders made;
// with `remove` it deletes the file instead.
inline void FuzzWriteFile(std::string_view relative, std::string_view bytes, bool remove = false)
{
    namespace fs = std::filesystem;
    fs::path path = fs::path(SimDeviceRoot()) / std::string(relative);
    std::error_code ignored;
    if (remove) {
        fs::remove(path, ignored);
        return;
    }
    fs::create_directories(path.parent_path(), ignored);
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

// The parts of an input between lines "--8<--".
inline std::vector<std::string_view> FuzzParts(const uint8_t* data, size_t size, size_t count)
{
    std::string_view all(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> parts;
    constexpr std::string_view kCut = "\n--8<--\n";
    while (parts.size() + 1 < count) {
        size_t at = all.find(kCut);
        if (at == std::string_view::npos)
            break;
        parts.push_back(all.substr(0, at));
        all.remove_prefix(at + kCut.size());
    }
    parts.push_back(all);
    parts.resize(count);
    return parts;
}
