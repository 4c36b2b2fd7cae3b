// libFuzzer target: key-value lines and their value forms, on text as ReadTextFile yields it.
#include "kbfiles/KeyValueFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text(reinterpret_cast<const char16_t*>(data), size / 2);
    KeyValueFile file;
    file.parse(text);
    for (const auto& [key, value] : file.values()) {
        double d;
        int32_t a, b;
        bool flag;
        ParseDouble(value, d);
        ParsePair(value, a, b);
        ParseBool(value, flag);
    }
    return 0;
}
