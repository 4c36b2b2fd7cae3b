#pragma once
// The inputs of a fuzz target that the unit tests replay: its seeds and the inputs that once
// broke it (tests/fuzz/crashes/<target>/).
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

inline std::vector<std::pair<std::string, std::string>> FuzzInputs(const std::string& target)
{
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, std::string>> inputs;
    const fs::path fuzz = fs::path(MK_SOURCE_DIR) / "tests/fuzz";
    for (const fs::path& dir : { fuzz / ("seeds_" + target), fuzz / "crashes" / target }) {
        std::error_code missing;
        for (const auto& entry : fs::directory_iterator(dir, missing)) {
            std::ifstream in(entry.path(), std::ios::binary);
            inputs.emplace_back(entry.path().filename().string(),
                std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        }
    }
    return inputs;
}
