// utf16text IN OUT: a UTF-8 text file (the form layouts are kept in) to UTF-16 little-endian
// with the byte-order mark, the form the device programs write and read.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: utf16text IN.txt OUT.txt\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "utf16text: cannot open %s\n", argv[1]);
        return 1;
    }
    std::ostringstream s;
    s << in.rdbuf();
    const std::string text = s.str();
    std::string out = "\xFF\xFE";
    auto put = [&](unsigned unit) { out.push_back(char(unit & 0xFF)); out.push_back(char(unit >> 8)); };
    for (size_t i = 0; i < text.size();) {
        unsigned char c = text[i];
        unsigned code = 0;
        int more = 0;
        if (c < 0x80) code = c;
        else if ((c & 0xE0) == 0xC0) { code = c & 0x1F; more = 1; }
        else if ((c & 0xF0) == 0xE0) { code = c & 0x0F; more = 2; }
        else if ((c & 0xF8) == 0xF0) { code = c & 0x07; more = 3; }
        else {
            std::fprintf(stderr, "utf16text: %s: not UTF-8 at byte %zu\n", argv[1], i);
            return 1;
        }
        if (more && i + more >= text.size()) {
            std::fprintf(stderr, "utf16text: %s: truncated character at byte %zu\n", argv[1], i);
            return 1;
        }
        for (int k = 1; k <= more; ++k) {
            unsigned char d = text[i + k];
            if ((d & 0xC0) != 0x80) {
                std::fprintf(stderr, "utf16text: %s: not UTF-8 at byte %zu\n", argv[1], i + k);
                return 1;
            }
            code = code << 6 | (d & 0x3F);
        }
        i += 1 + more;
        if (code == 0xFEFF && out.size() == 2)
            continue; // a UTF-8 byte-order mark is not text
        if (code >= 0x10000) {
            code -= 0x10000;
            put(0xD800 + (code >> 10));
            put(0xDC00 + (code & 0x3FF));
        } else {
            put(code);
        }
    }
    std::string temp = std::string(argv[2]) + ".tmp";
    {
        std::ofstream file(temp, std::ios::binary | std::ios::trunc);
        if (!file.write(out.data(), std::streamsize(out.size()))) {
            std::fprintf(stderr, "utf16text: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    return std::rename(temp.c_str(), argv[2]) == 0 ? 0 : 1;
}
