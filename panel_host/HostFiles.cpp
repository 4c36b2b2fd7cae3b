#include "panel_host/HostFiles.h"

namespace fs = std::filesystem;

namespace pocketsim {

HostFiles BuildHostFiles()
{
    HostFiles files;
#ifdef POCKETSIM_BUILTIN_IM
    files.platform_keyboard = POCKETSIM_BUILTIN_IM;
#endif
#ifdef MK_INSTALL_TREE
    files.trees.push_back(MK_INSTALL_TREE);
#endif
#ifdef MK_AUTOSTART_DIR
    files.autostart = MK_AUTOSTART_DIR;
#endif
#ifdef MK_SKIN_KIT
    files.skin_kit = MK_SKIN_KIT;
#endif
    return files;
}

HostFiles LocateHostFiles(const fs::path& executable)
{
    std::error_code ec;
    const fs::path prefix = executable.parent_path().parent_path();
    const fs::path libraries = prefix / "lib" / "magnikeys";
    const fs::path share = prefix / "share" / "magnikeys";
    // The platform library decides: the program found it there at start, so the tree is ours.
    if (executable.empty() || !fs::is_regular_file(libraries / "libplatform.so", ec) || !fs::is_directory(share, ec))
        return BuildHostFiles();
    HostFiles files;
    files.installed = true;
    files.libraries = libraries.string();
    files.share = share.string();
    files.platform_keyboard = (libraries / "msim.dll").string();
    files.trees = { (share / "device").string(), (libraries / "device").string() };
    files.autostart = (share / "autostart").string();
    files.skin_kit = (libraries / "skinkit").string();
    return files;
}

const HostFiles& OwnHostFiles()
{
    static const HostFiles files = [] {
        std::error_code ec;
        const fs::path self = fs::read_symlink("/proc/self/exe", ec);
        return LocateHostFiles(ec ? fs::path() : self);
    }();
    return files;
}

}
