// Where a host finds the files it installs: beside itself when installed (wherever the tree was
// moved), else the build's own.
#include "panel_host/HostFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class HostFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_prefix = fs::temp_directory_path() / ("host-files-" + std::to_string(getpid())) / "moved prefix";
        fs::create_directories(m_prefix / "bin");
        fs::create_directories(m_prefix / "lib" / "magnikeys" / "device");
        fs::create_directories(m_prefix / "share" / "magnikeys" / "device");
    }
    void TearDown() override { fs::remove_all(m_prefix.parent_path()); }

    fs::path m_prefix;
};

TEST_F(HostFilesTest, AnInstalledHostTakesTheTreeBesideIt)
{
    std::ofstream(m_prefix / "lib" / "magnikeys" / "libplatform.so") << "x";
    const pocketsim::HostFiles files = pocketsim::LocateHostFiles(m_prefix / "bin" / "magnikeys-x11");
    EXPECT_TRUE(files.installed);
    EXPECT_EQ(files.libraries, (m_prefix / "lib" / "magnikeys").string());
    EXPECT_EQ(files.platform_keyboard, (m_prefix / "lib" / "magnikeys" / "msim.dll").string());
    ASSERT_EQ(files.trees.size(), 2u);
    // The data first: a library registered from the device finds its files there.
    EXPECT_EQ(files.trees[0], (m_prefix / "share" / "magnikeys" / "device").string());
    EXPECT_EQ(files.trees[1], (m_prefix / "lib" / "magnikeys" / "device").string());
    EXPECT_EQ(files.autostart, (m_prefix / "share" / "magnikeys" / "autostart").string());
}

TEST_F(HostFilesTest, ElseTheBuildsOwnFiles)
{
    // No platform library beside it: a program in some other folder, or the build's.
    const pocketsim::HostFiles build = pocketsim::BuildHostFiles();
    for (const fs::path& exe : { m_prefix / "bin" / "magnikeys-x11", fs::path(MK_BINARY_DIR) / "x11host" / "magnikeys-x11", fs::path() }) {
        const pocketsim::HostFiles files = pocketsim::LocateHostFiles(exe);
        EXPECT_FALSE(files.installed) << exe;
        EXPECT_EQ(files.trees, build.trees) << exe;
        EXPECT_EQ(files.platform_keyboard, build.platform_keyboard) << exe;
    }
    ASSERT_EQ(build.trees.size(), 1u);
    EXPECT_TRUE(fs::is_directory(build.trees[0])) << build.trees[0];
    EXPECT_TRUE(fs::is_regular_file(build.platform_keyboard)) << build.platform_keyboard;
    // This test program runs from the build.
    EXPECT_FALSE(pocketsim::OwnHostFiles().installed);
}

}
