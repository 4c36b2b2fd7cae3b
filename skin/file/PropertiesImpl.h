#pragma once
// The loaded content of a skin: built whole by the constructor, swapped into a Properties only
// when everything succeeded.
#include "skin/file/PictureRef.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class FontRep;
struct DisplayInfo;

class PropertiesImpl {
public:
    PropertiesImpl() = default; // empty: no skin
    // Reads the skin file and everything it names; on any failure `header` stays null.
    PropertiesImpl(std::u16string_view path, const DisplayInfo& display);

    PropertiesImpl(PropertiesImpl&&) = default;
    PropertiesImpl& operator=(PropertiesImpl&&) = default;

    void swap(PropertiesImpl& other) noexcept;

    std::vector<uint8_t> buffer;
    const uint8_t* header = nullptr;
    std::vector<PictureRef> pictures; // one per picture name, each covering its whole picture
    std::vector<std::shared_ptr<FontRep>> fonts;
    std::vector<std::u16string> strings;
    int scale_shift = 0;
    // Thousandths of the scale the skin was compiled and drawn at for its screen (its node
    // "scale"); 0 for the device's skin, which the loader scales by 2^scale_shift.
    int drawn_thousandths = 0;

private:
    void build(std::u16string_view path, std::u16string_view pictureDir, const DisplayInfo& display);
};
