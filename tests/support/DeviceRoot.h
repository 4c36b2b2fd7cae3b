#pragma once
// A fresh device for one test: a temporary device root with its own registry hive and the
// standard folders, removed again afterwards. The previous root comes back on destruction.
//
//   TEST(Settings, X) { TempDeviceRoot device; ... device.writeFile(u"\\Temp\\a.txt", "x"); }
//   struct MyTest : DeviceRootTest { };   // the same as a fixture: member `device`
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

class TempDeviceRoot {
public:
    TempDeviceRoot();
    ~TempDeviceRoot();
    TempDeviceRoot(const TempDeviceRoot&) = delete;
    TempDeviceRoot& operator=(const TempDeviceRoot&) = delete;

    const std::string& hostRoot() const { return m_root; }
    // Host path of a device path (names matched without regard to case).
    std::string hostPath(std::u16string_view devicePath) const;

    // Raw bytes, through the host: what a test prepares or inspects behind the device's back.
    void writeFile(std::u16string_view devicePath, std::string_view bytes) const; // makes missing folders
    std::optional<std::string> readFile(std::u16string_view devicePath) const;
    bool exists(std::u16string_view devicePath) const;

private:
    std::string m_root;
    std::string m_previous;
};

class DeviceRootTest : public ::testing::Test {
protected:
    TempDeviceRoot device;
};
