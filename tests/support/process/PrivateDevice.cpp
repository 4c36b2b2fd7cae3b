// Every test process works on a device of its own unless its caller named one: ctest runs tests
// side by side, and on one shared device the windows of one test would show on another's screen
// (and tests would write into the developer's own device). Children inherit the variable and so
// share their parent's device, as programs on one device do.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

struct PrivateDevice {
    std::string root;
    pid_t owner = 0;

    PrivateDevice()
    {
        if (const char* env = std::getenv("POCKETSIM_ROOT"); env && *env)
            return;
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "mk-test-device-XXXXXX").string();
        if (ec || !mkdtemp(pattern.data()))
            return; // the platform's own default then applies
        root = pattern;
        owner = getpid();
        setenv("POCKETSIM_ROOT", root.c_str(), 1);
    }

    ~PrivateDevice()
    {
        // A forked child leaving must not take its parent's device with it.
        if (root.empty() || getpid() != owner)
            return;
        namespace fs = std::filesystem;
        std::error_code ignored;
        for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator(); it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(root, ignored);
    }
};

PrivateDevice g_device;

}
