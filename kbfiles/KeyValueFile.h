#pragma once
// The key-value text files of the system (settings, layout list, layouts): one key and its
// value a line, separated by "=" or by white space. No comments, no sections; a later line
// with the same key wins.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

class KeyValueFile {
public:
    // Reads the file (a path that may start with a path macro). A file that cannot be
    // opened leaves the table empty and gives false.
    bool load(std::u16string_view path);
    void parse(std::u16string_view text);

    const std::u16string* find(std::u16string_view key) const;
    const std::map<std::u16string, std::u16string, std::less<>>& values() const { return m_values; }

    // Each gives false, leaving out unchanged, when the key is missing or its value has not
    // the form asked for.
    bool read_double(std::u16string_view key, double& out) const;
    bool read_int(std::u16string_view key, int32_t& out) const;
    bool read_pair(std::u16string_view key, int32_t& first, int32_t& second) const;
    bool read_bool(std::u16string_view key, bool& out) const;
    bool read_text(std::u16string_view key, std::u16string& out) const;

private:
    std::map<std::u16string, std::u16string, std::less<>> m_values;
};

// The value forms, also for callers that hold a value text of their own. Each parses from the
// start of text and reports where it stopped; text after a number is the caller's concern.
bool ParseDouble(std::u16string_view text, double& out, size_t* end = nullptr);
bool ParseInt(std::u16string_view text, int32_t& out, size_t* end = nullptr);
bool ParsePair(std::u16string_view text, int32_t& first, int32_t& second);
bool ParseBool(std::u16string_view text, bool& out);
