#include "panel_host/OptionTable.h"

#include <algorithm>
#include <cstdio>

namespace pocketsim {

namespace {

constexpr size_t kHelpColumn = 21;

std::string label(const OptionTable::Option& option)
{
    return "  " + option.name + (option.argument.empty() ? "" : " " + option.argument);
}

}

OptionHandler SetFlag(bool& flag, bool value)
{
    return [&flag, value](const char*) {
        flag = value;
        return std::string();
    };
}

OptionHandler StoreValue(const char*& target)
{
    return [&target](const char* value) {
        target = value;
        return std::string();
    };
}

OptionHandler StoreValue(std::string& target)
{
    return [&target](const char* value) {
        target = value;
        return std::string();
    };
}

OptionTable::OptionTable(std::string program, std::vector<Option> options)
    : m_program(std::move(program))
    , m_options(std::move(options))
{
}

const OptionTable::Option* OptionTable::find(const std::string& name) const
{
    auto it = std::find_if(m_options.begin(), m_options.end(), [&](const Option& o) { return o.name == name; });
    return it == m_options.end() ? nullptr : &*it;
}

std::string OptionTable::error(const std::string& why) const
{
    return m_program + ": " + why + "\n";
}

std::optional<int> OptionTable::parse(int argc, const char* const* argv, std::string& message) const
{
    message.clear();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            message = usage();
            return 0;
        }
        const Option* option = find(arg);
        if (!option) {
            message = error("unknown option " + arg) + usage();
            return 2;
        }
        const char* value = nullptr;
        if (!option->argument.empty()) {
            if (i + 1 >= argc) {
                message = error(arg + " needs a value");
                return 2;
            }
            value = argv[++i];
        }
        if (!option->handler)
            continue;
        if (std::string refused = option->handler(value); !refused.empty()) {
            message = error(refused);
            return 2;
        }
    }
    return std::nullopt;
}

std::optional<int> OptionTable::parse(int argc, const char* const* argv) const
{
    std::string message;
    std::optional<int> stop = parse(argc, argv, message);
    std::fputs(message.c_str(), stderr);
    return stop;
}

std::string OptionTable::usage() const
{
    size_t column = kHelpColumn;
    for (const Option& option : m_options)
        column = std::max(column, label(option).size() + 2);
    std::string text = "usage: " + m_program + " [options]\n";
    for (const Option& option : m_options) {
        std::string line = label(option);
        if (!option.help.empty())
            line.resize(column, ' ');
        for (char c : option.help)
            line += c == '\n' ? "\n" + std::string(column, ' ') : std::string(1, c);
        text += line + "\n";
    }
    return text;
}

}
