// The set-up every host's main shares: where the device lives, its screen for the programs it
// starts, and what the build's install tree does to the input method the device uses.
#include "panel_host/HostSetup.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

constexpr char16_t kMagnikeys[] = u"{E2452E3B-2823-4309-90CB-8787C4BA3AF7}";
constexpr char16_t kOther[] = u"{42429667-AE04-11D0-A4F8-00AA00A749B9}";

// An environment variable set (or unset, for null) for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

std::u16string defaultIm()
{
    HKEY key;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SIP", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    WCHAR text[64] = {};
    DWORD size = sizeof text - sizeof(WCHAR);
    RegQueryValueEx(key, u"DefaultIM", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return text;
}

void setDefaultIm(const char16_t* clsid)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SIP", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegSetValueEx(key, u"DefaultIM", 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid), 39 * sizeof(WCHAR));
    RegCloseKey(key);
}

TEST(HostSetup, TheDeviceRootIsTheOptionElseTheEnvironmentElseTheHostsOwnFolder)
{
    const pocketsim::HostSetup setup("somehost");
    {
        ScopedEnv root("POCKETSIM_ROOT", "/from/env");
        ScopedEnv home("HOME", "/home/user");
        EXPECT_EQ(setup.device_root("/given"), "/given");
        EXPECT_EQ(setup.device_root(nullptr), "/from/env");
    }
    ScopedEnv root("POCKETSIM_ROOT", nullptr);
    {
        ScopedEnv home("HOME", "/home/user");
        EXPECT_EQ(setup.device_root(nullptr), "/home/user/.local/share/somehost/device");
    }
    ScopedEnv home("HOME", "");
    EXPECT_EQ(setup.device_root(nullptr), "/tmp/.local/share/somehost/device");
}

TEST(HostSetup, ADeviceRootIsMadeWhenMissingAndTheDeviceUsesIt)
{
    TempDeviceRoot device; // brings the test's own root back afterwards
    const fs::path folder = fs::path(device.hostRoot()) / "elsewhere" / "deep";
    pocketsim::HostSetup("somehost").use_device_root(folder.string());
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(SimDeviceRoot(), folder.string());
    EXPECT_TRUE(fs::is_directory(folder / "Program Files")) << "the device's own folders";
}

TEST(HostSetup, TheScreenReachesTheProgramsTheDeviceStarts)
{
    ScopedEnv geometry("POCKETSIM_GEOMETRY", "qvga");
    const pocketsim::HostSetup setup("somehost");
    ASSERT_TRUE(setup.use_geometry("480x700@192"));
    EXPECT_STREQ(std::getenv("POCKETSIM_GEOMETRY"), "480x700@192");
    int width = 0, height = 0, dpi = 0;
    SimGetGeometry(&width, &height, &dpi, nullptr);
    EXPECT_EQ(width, 480);
    EXPECT_EQ(height, 700);
    EXPECT_EQ(dpi, 192);

    EXPECT_FALSE(setup.use_geometry("huge"));
    EXPECT_STREQ(std::getenv("POCKETSIM_GEOMETRY"), "480x700@192") << "a refused name changes nothing";
    SimSetGeometry("qvga");
}

struct BuiltPrograms : DeviceRootTest {
    // An install tree holding a stand-in for the keyboard's library, another build (of another
    // size) each time.
    fs::path keyboardTree()
    {
        fs::path tree = fs::path(device.hostRoot()).parent_path() / (fs::path(device.hostRoot()).filename().string() + "-tree");
        fs::create_directories(tree / "Tarn" / "Magnikeys");
        ++m_builds;
        std::ofstream(tree / "Tarn" / "Magnikeys" / "magnikeys.dll") << "build " << std::string(m_builds, '+');
        m_trees.push_back(tree);
        return tree;
    }
    void TearDown() override
    {
        for (const fs::path& tree : m_trees)
            fs::remove_all(tree);
    }
    // What the set-up printed on standard error.
    static std::string installing(const fs::path& tree, pocketsim::KeyboardRole role, bool expected)
    {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(pocketsim::HostSetup("somehost").install_programs(tree.string(), role), expected) << tree;
        return ::testing::internal::GetCapturedStderr();
    }

    int m_builds = 0;
    std::vector<fs::path> m_trees;
};

TEST_F(BuiltPrograms, TheDeviceHostMakesTheKeyboardCurrentOnlyWhenItFirstArrives)
{
    const auto optional = pocketsim::KeyboardRole::Optional;
    // No tree, or an empty one: nothing to install and nothing to say.
    EXPECT_EQ(installing(fs::path(device.hostRoot()) / "no-tree", optional, true), "");
    setDefaultIm(kOther);
    EXPECT_EQ(defaultIm(), kOther);

    installing(keyboardTree(), optional, true);
    EXPECT_TRUE(device.exists(u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll"));
    EXPECT_EQ(defaultIm(), kMagnikeys) << "the keyboard arrived";

    // The user chooses another method; a newer build keeps the choice.
    setDefaultIm(kOther);
    installing(keyboardTree(), optional, true);
    EXPECT_EQ(device.readFile(u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll"), "build ++");
    EXPECT_EQ(defaultIm(), kOther);
}

TEST_F(BuiltPrograms, TheDesktopHostsNeedTheKeyboardAndAlwaysUseIt)
{
    const auto required = pocketsim::KeyboardRole::Required;
    setDefaultIm(kOther);
    installing(keyboardTree(), required, true);
    EXPECT_EQ(defaultIm(), kMagnikeys);
    setDefaultIm(kOther);
    installing(keyboardTree(), required, true);
    EXPECT_EQ(defaultIm(), kMagnikeys) << "every start";

    const fs::path missing = fs::path(device.hostRoot()) / "no-tree";
    std::string said = installing(missing, required, false);
    EXPECT_EQ(said.rfind("somehost: installing the keyboard failed:\n", 0), 0u) << said;

    // A tree that installs well but holds no keyboard (the test input method's), on a device
    // whose keyboard went away.
    fs::remove(device.hostPath(u"\\Program Files\\Tarn\\Magnikeys\\magnikeys.dll"));
    said = installing(TESTIM_TREE, required, false);
    EXPECT_EQ(said, std::string("somehost: the build's install tree ") + TESTIM_TREE + " holds no keyboard\n");
    // The device host goes on without it.
    EXPECT_EQ(installing(TESTIM_TREE, pocketsim::KeyboardRole::Optional, true), "");
}

}
