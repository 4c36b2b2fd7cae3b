#pragma once
// The font descriptors of a skin: "size bold italic underline face", for example
// "14 1 0 1 Courier New".
#include <string_view>

struct FontDesc;

// Parses into a descriptor that already holds the defaults. A field that does not parse ends
// the parse and keeps the defaults from there on; a size field without digits gives size 0 (no
// font), while an empty or blank descriptor keeps the default size.
void ParseFontDescriptor(std::u16string_view text, FontDesc& desc);
