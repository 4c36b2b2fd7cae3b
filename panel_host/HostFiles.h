#pragma once
// Where a host finds the files it puts on its device: the platform's own keyboard and the
// install trees of the programs. An installed host finds them beside itself, so that the
// installed tree works wherever it is moved:
//
//     PREFIX/bin/HOST                                  the hosts (RPATH $ORIGIN/../lib/magnikeys)
//     PREFIX/lib/magnikeys/libplatform.so              the platform library, msim.dll beside it
//     PREFIX/lib/magnikeys/device/Tarn/Magnikeys/      the device libraries and programs
//     PREFIX/share/magnikeys/device/Tarn/Magnikeys/    their data (skin, layouts, languages)
//     PREFIX/share/magnikeys/autostart/HOST.desktop    session start entries the hosts write
//     PREFIX/lib/magnikeys/skinkit/                    the tools and sources of the desktop skin
//
// Both "device" trees mirror "\Program Files"; the data goes on the device first. A host run
// from the build folder takes the build's own files instead.
#include <filesystem>
#include <string>
#include <vector>

namespace pocketsim {

struct HostFiles {
    // The installed layout was found beside the program.
    bool installed = false;
    // PREFIX/lib/magnikeys: the platform library the programs of the device link.
    std::string libraries;
    // PREFIX/share/magnikeys.
    std::string share;
    // The platform's own keyboard, copied to "\Windows\msim.dll".
    std::string platform_keyboard;
    // Install trees in the order they go on the device.
    std::vector<std::string> trees;
    // The session start entries of the hosts (HOST.desktop), which a host writes for its user.
    std::string autostart;
    // The skin kit a desktop host draws the keyboard's skin for its screen with (DesktopSkin.h).
    std::string skin_kit;
};

// The files of the running program, located from its own file (/proc/self/exe).
const HostFiles& OwnHostFiles();
// The files of a host whose program file is executable: the installed layout when the folders
// of PREFIX (executable's folder's parent) hold it, else the build's.
HostFiles LocateHostFiles(const std::filesystem::path& executable);
// The build's files, as this build made them.
HostFiles BuildHostFiles();

}
