#pragma once
// Files and builders shared by the skin file tests.
#include "tests/support/DeviceRoot.h"
#include "tools/skinc/SkinSource.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string SampleSkinPath() { return std::string(MK_SAMPLE_SKIN_DIR) + "/sample.skin"; }

inline void Put16(std::vector<uint8_t>& f, size_t at, uint16_t v)
{
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
}

inline void Put32(std::vector<uint8_t>& f, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        f[at + i] = uint8_t(v >> (8 * i));
}

inline skinc::Value IntValue(int32_t v)
{
    skinc::Value value;
    value.kind = skinfmt::NodeKind::Integer;
    value.integer = v;
    return value;
}

inline skinc::Value TextValue(skinfmt::NodeKind kind, std::u16string text)
{
    skinc::Value value;
    value.kind = kind;
    value.text = std::move(text);
    return value;
}

// The element test skin and its picture, compiled by the build, as \Skins\elements.skin on the device.
inline void InstallElementTestSkin(const TempDeviceRoot& device)
{
    const std::string dir = MK_ELEMENT_SKIN_DIR;
    for (const char* name : { "elements.skin", "widgets.bmp" }) {
        auto bytes = ReadBytes(dir + "/" + name);
        std::string devicePath = std::string("\\Skins\\") + name;
        device.writeFile(std::u16string(devicePath.begin(), devicePath.end()), std::string(bytes.begin(), bytes.end()));
    }
}
