#pragma once
// A host's command line as a table: each option its name, the argument it takes, its help and
// the handler that takes it. The usage text is made from the table, so what a host accepts and
// what it says it accepts cannot drift apart.
//
//     const char* root = nullptr;
//     bool events = false;
//     pocketsim::OptionTable options("myhost", {
//         { "--root", "FOLDER", "the device root", pocketsim::StoreValue(root) },
//         { "--events", "", "print every call of the input panel's callback", pocketsim::SetFlag(events) },
//         { "--kind", "KIND", "pocketpc (default) or smartphone", [](const char* kind) -> std::string {
//               return SimSetDeviceKind(kind) ? "" : std::string("unknown device kind '") + kind + "'"; } },
//     });
//     if (std::optional<int> stop = options.parse(argc, argv))
//         return *stop;
//
// Handlers run in the order of the command line, as each option comes; a later option of the
// same name runs its handler again. An option's argument is the next word, whatever it is.
// Every message starts with "PROGRAM: " and stops the program with status 2:
//   an option the table lacks     "unknown option --x", then the usage text
//   an option without argument    "--root needs a value"
//   a value its handler refuses   the handler's reason ("unknown device kind 'tablet'")
// "--help" and "-h" print the usage text (on standard error) and stop with status 0; they are
// understood by every table and not listed in it.
//
// The usage text: "usage: PROGRAM [options]", then one line an option: two spaces, the name and
// its argument, the help from column 21 (two spaces after the longest name and argument when
// that is wider). A "\n" in the help goes on in a line of its own at the same column.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pocketsim {

// Takes an option's argument (null for an option without one). Returns why the value is
// refused, or an empty string when taken.
using OptionHandler = std::function<std::string(const char* value)>;

// A handler that sets flag to value.
OptionHandler SetFlag(bool& flag, bool value = true);
// Handlers that keep the argument (a pointer into argv, which lives as long as main).
OptionHandler StoreValue(const char*& target);
OptionHandler StoreValue(std::string& target);

class OptionTable {
public:
    struct Option {
        std::string name;     // "--geometry"
        std::string argument; // "NAME"; empty for an option without argument
        std::string help;
        OptionHandler handler;
    };

    OptionTable(std::string program, std::vector<Option> options);

    // Runs the handlers of argv[1..argc). Empty when the program goes on; otherwise the status
    // it ends with, and in message what it has to say first (an error, the usage text).
    std::optional<int> parse(int argc, const char* const* argv, std::string& message) const;
    // As above, printing the message on standard error.
    std::optional<int> parse(int argc, const char* const* argv) const;

    std::string usage() const;
    const std::string& program() const { return m_program; }

private:
    const Option* find(const std::string& name) const;
    std::string error(const std::string& why) const;

    std::string m_program;
    std::vector<Option> m_options;
};

}
