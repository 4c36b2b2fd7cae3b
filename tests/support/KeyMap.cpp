#include "tests/support/KeyMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <sstream>
#include <thread>

std::vector<Key> parseKeyMap(const std::vector<std::string>& lines, size_t from)
{
    std::vector<Key> keys;
    for (size_t i = from; i < lines.size() && lines[i] != "ready"; ++i) {
        std::istringstream in(lines[i]);
        std::vector<std::string> words;
        for (std::string w; in >> w;)
            words.push_back(w);
        // Only key lines: the program's messages may come between them.
        auto number = [](const std::string& w) { return w.find_first_not_of("-0123456789") == std::string::npos; };
        if (words.size() < 7 || !number(words[0]) || !std::all_of(words.end() - 4, words.end(), number))
            continue;
        Key k;
        const size_t n = words.size();
        k.left = std::stoi(words[n - 4]), k.top = std::stoi(words[n - 3]);
        k.right = std::stoi(words[n - 2]), k.bottom = std::stoi(words[n - 1]);
        for (size_t w = 2; w < n - 4; ++w)
            k.label += (w > 2 ? " " : "") + words[w];
        keys.push_back(k);
    }
    return keys;
}

const Key& keyShowing(const std::vector<Key>& keys, const std::string& label, bool anyCase)
{
    for (const Key& k : keys)
        if (k.label == label)
            return k;
    auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), ::tolower);
        return s;
    };
    for (const Key& k : keys)
        if (anyCase && lower(k.label) == lower(label))
            return k;
    static Key none;
    ADD_FAILURE() << "no key shows \"" << label << "\"";
    return none;
}

void refreshKeys(ChildProcess& host, std::vector<Key>& keys)
{
    const size_t before = host.lines().size();
    host.write("keymap\n");
    ASSERT_TRUE(host.waitFor([&](const auto& lines) {
        return std::find(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(), "ready") != lines.end();
    })) << host.output();
    keys = parseKeyMap(host.lines(), before);
}

bool waitForKey(ChildProcess& host, std::vector<Key>& keys, const std::string& label)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15); std::chrono::steady_clock::now() < end;) {
        refreshKeys(host, keys);
        if (std::any_of(keys.begin(), keys.end(), [&](const Key& k) { return k.label == label; }))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}
