// skinc: compiles a readable skin source (YAML), or several that together make one skin, into
// the binary skin file and converts their PNG pictures to 16-bit BMP beside it; `--dump` turns
// any binary skin back into the source form. `--scale S` compiles the skin for a screen S times
// the design's pixels, with pictures drawn at that scale (skinart/menuart --scale S);
// `--resize NODE=WxH` then gives a form the size of its screen.
#include "tools/skinart/ArtScale.h"
#include "tools/skinc/SkinSource.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include "runtime/Text.h"

namespace fs = std::filesystem;

static std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw skinc::Error(path + ": cannot open");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

static void WriteAll(const std::string& path, const void* data, size_t size)
{
    // Written beside and renamed, so that a failed run never leaves half a skin.
    std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out.write(static_cast<const char*>(data), std::streamsize(size)))
            throw skinc::Error(path + ": cannot write");
    }
    fs::rename(temp, path);
}

static int Usage()
{
    std::fprintf(stderr,
        "usage: skinc SOURCE.yaml... -o OUTPUT.skin [--scale S] [--resize NODE=WxH]...\n"
        "           compile; PNG pictures become NAME.bmp beside the output; --scale S for a screen S\n"
        "           times the design's pixels (%g to %g), --resize gives a node that design size\n"
        "       skinc --dump INPUT.skin [-o OUT]   write a binary skin as source text\n",
        kMinArtScale, kMaxArtScale);
    return 2;
}

int main(int argc, char** argv)
{
    bool dump = false;
    std::vector<std::string> inputs;
    std::string output;
    double scale = 0; // 0: the device's skin, scaled by the loader
    struct Resize {
        std::u16string node;
        int width, height;
    };
    std::vector<Resize> resizes;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--dump"))
            dump = true;
        else if (!std::strcmp(argv[i], "-o") && i + 1 < argc)
            output = argv[++i];
        else if (!std::strcmp(argv[i], "--scale") && i + 1 < argc) {
            if (!ParseArtScale(argv[++i], scale))
                return Usage();
        } else if (!std::strcmp(argv[i], "--resize") && i + 1 < argc) {
            std::string wanted = argv[++i];
            size_t eq = wanted.find('=');
            int width = 0, height = 0;
            char tail = 0;
            if (eq == std::string::npos || eq == 0
                || std::sscanf(wanted.c_str() + eq + 1, "%dx%d%c", &width, &height, &tail) != 2 || width < 1 || height < 1
                || width > 0x7FFF || height > 0x7FFF)
                return Usage();
            resizes.push_back({ Utf16FromUtf8(wanted.substr(0, eq)), width, height });
        }
        else if (argv[i][0] == '-' || (dump && !inputs.empty()))
            return Usage();
        else
            inputs.push_back(argv[i]);
    }
    if (inputs.empty() || (!dump && output.empty()) || (dump && (scale > 0 || !resizes.empty())))
        return Usage();

    try {
        if (dump) {
            std::string bytes = ReadAll(inputs.front());
            std::string text = skinc::WriteYaml(skinc::ReadSkin(std::vector<uint8_t>(bytes.begin(), bytes.end())));
            if (output.empty())
                std::cout << text;
            else
                WriteAll(output, text.data(), text.size());
            return 0;
        }
        // Each source names its pictures relative to its own folder.
        std::vector<std::pair<std::string, skinc::Skin>> sources;
        for (const std::string& input : inputs) {
            skinc::Skin part = skinc::ParseYaml(ReadAll(input), input);
            fs::path sourceDir = fs::path(input).parent_path();
            for (auto& picture : part.pictures) {
                if (!picture.png.empty())
                    picture.png = (sourceDir / picture.png).string();
            }
            sources.emplace_back(input, std::move(part));
        }
        skinc::Skin skin = sources.size() == 1 ? std::move(sources.front().second) : skinc::MergeSkins(std::move(sources));
        if (scale > 0)
            skinc::ScaleSkin(skin, scale);
        for (const Resize& r : resizes)
            skinc::ResizeNode(skin, r.node, r.width, r.height);
        fs::path outputDir = fs::path(output).parent_path();
        for (const auto& picture : skin.pictures) {
            if (picture.png.empty())
                continue;
            std::string name = Utf8FromUtf16(picture.name);
            for (char& c : name) {
                if (c == '\\')
                    c = '/';
            }
            fs::path bmp = outputDir / (name + ".bmp");
            fs::create_directories(bmp.parent_path().empty() ? fs::path(".") : bmp.parent_path());
            skinc::ConvertPngToBmp(picture.png, bmp.string());
        }
        std::vector<uint8_t> bytes = skinc::WriteSkin(std::move(skin));
        WriteAll(output, bytes.data(), bytes.size());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "skinc: %s\n", e.what());
        return 1;
    }
}
