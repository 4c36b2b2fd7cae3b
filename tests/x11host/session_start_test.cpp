// Starting with the desktop session: the user's XDG autostart entry, and the settings
// program's "Start as default keyboard" switch kept in step with it.
#include "x11host/SessionStart.h"
#include "tests/support/DeviceRoot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

using x11host::AutostartOn;
using x11host::AutostartPlaces;
using x11host::SetAutostart;

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value)
        : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

std::string read(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Autostart : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("autostart-test-" + std::to_string(getpid()));
        fs::create_directories(m_dir / "system" / "autostart");
        m_template = m_dir / "template.desktop";
        std::ofstream(m_template) << "[Desktop Entry]\nType=Application\nName=Magnikeys\nExec=magnikeys-x11 --hide\n"
                                     "Hidden=true\n\n[Desktop Action Other]\nExec=magnikeys-x11 --toggle\nHidden=maybe\n";
        places.user = (m_dir / "user" / "autostart" / "magnikeys-x11.desktop").string();
        places.system = { (m_dir / "system" / "autostart" / "magnikeys-x11.desktop").string() };
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
    fs::path m_template;
    AutostartPlaces places;
};

TEST_F(Autostart, ThePlacesAreTheSessionsOwn)
{
    {
        ScopedEnv home("HOME", "/home/kim");
        ScopedEnv config("XDG_CONFIG_HOME", "relative/ignored");
        ScopedEnv dirs("XDG_CONFIG_DIRS", "/etc/xdg/custom:relative:/usr/etc/xdg");
        const AutostartPlaces p = AutostartPlaces::ForEntry("magnikeys-x11.desktop");
        EXPECT_EQ(p.user, "/home/kim/.config/autostart/magnikeys-x11.desktop");
        ASSERT_EQ(p.system.size(), 2u);
        EXPECT_EQ(p.system[0], "/etc/xdg/custom/autostart/magnikeys-x11.desktop");
        EXPECT_EQ(p.system[1], "/usr/etc/xdg/autostart/magnikeys-x11.desktop");
    }
    ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    ScopedEnv dirs("XDG_CONFIG_DIRS", "");
    const AutostartPlaces p = AutostartPlaces::ForEntry("x.desktop");
    EXPECT_EQ(p.user, "/cfg/autostart/x.desktop");
    ASSERT_EQ(p.system.size(), 1u);
    EXPECT_EQ(p.system[0], "/etc/xdg/autostart/x.desktop");
}

TEST_F(Autostart, OnWritesTheUsersEntryWithTheProgramsFullPathOffRemovesIt)
{
    std::string why;
    EXPECT_FALSE(AutostartOn(places));
    ASSERT_TRUE(SetAutostart(places, true, m_template.string(), "/opt/mk/bin/magnikeys-x11", why)) << why;
    EXPECT_TRUE(AutostartOn(places));
    const std::string entry = read(places.user);
    EXPECT_NE(entry.find("\nExec=/opt/mk/bin/magnikeys-x11 --hide\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nHidden=false\n"), std::string::npos) << entry;
    EXPECT_EQ(entry.find("Hidden=true"), std::string::npos) << "the template's own Hidden stays out:\n" << entry;
    // Other groups are the template's as they are.
    EXPECT_NE(entry.find("[Desktop Action Other]\nExec=magnikeys-x11 --toggle\nHidden=maybe\n"), std::string::npos) << entry;
    ASSERT_TRUE(SetAutostart(places, false, m_template.string(), "/opt/mk/bin/magnikeys-x11", why)) << why;
    EXPECT_FALSE(fs::exists(places.user));
    EXPECT_FALSE(AutostartOn(places));
    // Off twice is still off.
    EXPECT_TRUE(SetAutostart(places, false, m_template.string(), "/x", why)) << why;
}

TEST_F(Autostart, APathWithSpacesIsQuotedAsTheExecKeyWants)
{
    std::string why;
    ASSERT_TRUE(SetAutostart(places, true, m_template.string(), "/home/kim/my apps/bin/magnikeys-x11", why)) << why;
    EXPECT_NE(read(places.user).find("\nExec=\"/home/kim/my apps/bin/magnikeys-x11\" --hide\n"), std::string::npos)
        << read(places.user);
    ASSERT_TRUE(SetAutostart(places, true, m_template.string(), "/a\"b/$c", why)) << why;
    EXPECT_NE(read(places.user).find("\nExec=\"/a\\\\\"b/\\\\$c\" --hide\n"), std::string::npos) << read(places.user);
}

TEST_F(Autostart, TheUsersEntryStandsForTheSystemsOfTheSameName)
{
    std::ofstream(places.system[0]) << "[Desktop Entry]\nExec=magnikeys-x11\n";
    EXPECT_TRUE(AutostartOn(places)) << "an administrator's entry starts it";
    std::string why;
    ASSERT_TRUE(SetAutostart(places, false, m_template.string(), "/usr/bin/magnikeys-x11", why)) << why;
    ASSERT_TRUE(fs::exists(places.user)) << "off must hide the system's entry for this user";
    EXPECT_NE(read(places.user).find("\nHidden=true\n"), std::string::npos) << read(places.user);
    EXPECT_FALSE(AutostartOn(places));
    ASSERT_TRUE(SetAutostart(places, true, m_template.string(), "/usr/bin/magnikeys-x11", why)) << why;
    EXPECT_TRUE(AutostartOn(places));
    // A system entry that is off, and GNOME's own switch.
    fs::remove(places.user);
    std::ofstream(places.system[0]) << "[Desktop Entry]\nExec=magnikeys-x11\nX-GNOME-Autostart-enabled=false\n";
    EXPECT_FALSE(AutostartOn(places));
    ASSERT_TRUE(SetAutostart(places, false, m_template.string(), "/usr/bin/magnikeys-x11", why)) << why;
    EXPECT_FALSE(fs::exists(places.user)) << "nothing to hide";
}

TEST_F(Autostart, AMissingTemplateOrUnwritablePlaceSaysWhy)
{
    std::string why;
    EXPECT_FALSE(SetAutostart(places, true, (m_dir / "none.desktop").string(), "/x", why));
    EXPECT_NE(why.find("none.desktop"), std::string::npos) << why;
    EXPECT_FALSE(fs::exists(places.user));
    // A file where the autostart folder should be.
    fs::create_directories(m_dir / "blocked");
    std::ofstream(m_dir / "blocked" / "autostart") << "x";
    places.user = (m_dir / "blocked" / "autostart" / "magnikeys-x11.desktop").string();
    why.clear();
    EXPECT_FALSE(SetAutostart(places, true, m_template.string(), "/x", why));
    EXPECT_FALSE(why.empty());
}

TEST_F(Autostart, TheSettingsProgramsSwitchAndTheSessionKeepInStep)
{
    TempDeviceRoot device;
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\mk_select.exe", "selector");
    const std::u16string copy = u"\\Windows\\StartUp\\mk_select.exe";
    // At start the device follows the session: its left-over switch goes.
    device.writeFile(copy, "selector");
    x11host::SessionStart sync(places, m_template.string(), "/usr/bin/magnikeys-x11");
    sync.start();
    EXPECT_FALSE(device.exists(copy));
    // The settings program turns "Start as default keyboard" on: the session entry follows.
    device.writeFile(copy, "selector");
    sync.idle(500);
    EXPECT_FALSE(AutostartOn(places)) << "looked again before a second passed";
    sync.idle(1000);
    EXPECT_TRUE(AutostartOn(places));
    EXPECT_TRUE(device.exists(copy));
    // The session's settings turn the entry off: the settings program shows it off.
    ASSERT_TRUE(fs::remove(places.user));
    sync.idle(2000);
    EXPECT_FALSE(device.exists(copy));
    EXPECT_FALSE(AutostartOn(places));
    // And on again, read-only as the settings program may have left it.
    std::string why;
    ASSERT_TRUE(SetAutostart(places, true, m_template.string(), "/usr/bin/magnikeys-x11", why));
    sync.idle(3000);
    ASSERT_TRUE(device.exists(copy));
    EXPECT_EQ(device.readFile(copy), std::optional<std::string>("selector"));
    fs::permissions(device.hostPath(copy), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
        fs::perm_options::remove);
    ASSERT_TRUE(fs::remove(places.user));
    sync.idle(4000);
    EXPECT_FALSE(device.exists(copy));
}

}
