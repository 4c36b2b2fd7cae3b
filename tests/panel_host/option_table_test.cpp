// The hosts' command lines: handlers in order, the errors that stop a host with status 2, and
// the usage text made from the table.
#include "panel_host/OptionTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using pocketsim::OptionTable;

struct Parsed {
    std::optional<int> stop;
    std::string message;
};

struct Options : ::testing::Test {
    const char* root = nullptr;
    std::string shots;
    bool events = false;
    bool install = true;
    std::vector<std::string> kinds; // every --kind taken, in order

    OptionTable table()
    {
        auto kind = [this](const char* value) -> std::string {
            if (std::string(value) != "pocketpc" && std::string(value) != "smartphone")
                return std::string("unknown device kind '") + value + "'";
            kinds.push_back(value);
            return {};
        };
        return OptionTable("host", {
            { "--root", "FOLDER", "the device root", pocketsim::StoreValue(root) },
            { "--kind", "KIND", "pocketpc or smartphone", kind },
            { "--shots", "FOLDER", "where screenshots go (default: the current folder;\nelse: none)",
                pocketsim::StoreValue(shots) },
            { "--events", "", "print the callback's calls", pocketsim::SetFlag(events) },
            { "--no-install", "", "boot as the device is", pocketsim::SetFlag(install, false) },
        });
    }
    Parsed parse(std::vector<const char*> args)
    {
        args.insert(args.begin(), "host");
        Parsed p;
        p.stop = table().parse(static_cast<int>(args.size()), args.data(), p.message);
        return p;
    }
};

TEST_F(Options, HandlersTakeTheirValuesInTheOrderOfTheCommandLine)
{
    Parsed p = parse({ "--kind", "smartphone", "--events", "--root", "/a", "--no-install", "--kind", "pocketpc",
        "--root", "/b", "--shots", "--events" });
    EXPECT_EQ(p.stop, std::nullopt);
    EXPECT_EQ(p.message, "");
    EXPECT_EQ(kinds, (std::vector<std::string> { "smartphone", "pocketpc" }));
    EXPECT_STREQ(root, "/b") << "the last of an option repeated wins";
    EXPECT_EQ(shots, "--events") << "an argument is the next word, whatever it looks like";
    EXPECT_TRUE(events);
    EXPECT_FALSE(install);

    EXPECT_EQ(parse({}).stop, std::nullopt);
    EXPECT_EQ(parse({ "--shots", "" }).stop, std::nullopt) << "an empty argument is still an argument";
}

TEST_F(Options, ErrorsStopTheHostWithStatusTwoAndSayWhy)
{
    const std::string usage = table().usage();

    Parsed p = parse({ "--events", "--verbose", "--root", "/a" });
    EXPECT_EQ(p.stop, 2);
    EXPECT_EQ(p.message, "host: unknown option --verbose\n" + usage);
    EXPECT_TRUE(events) << "options before the error were taken";
    EXPECT_EQ(root, nullptr) << "options after it were not";

    p = parse({ "--events", "--root" });
    EXPECT_EQ(p.stop, 2);
    EXPECT_EQ(p.message, "host: --root needs a value\n");

    p = parse({ "--kind", "tablet", "--root", "/a" });
    EXPECT_EQ(p.stop, 2);
    EXPECT_EQ(p.message, "host: unknown device kind 'tablet'\n");
    EXPECT_EQ(root, nullptr) << "a refused value stops the parse";

    // Names are exact: no abbreviations, no "=value", no single-dash forms of long options.
    for (const char* wrong : { "--even", "--root=/a", "-root", "--ROOT", "", "file" }) {
        p = parse({ wrong });
        EXPECT_EQ(p.stop, 2) << wrong;
        EXPECT_EQ(p.message, "host: unknown option " + std::string(wrong) + "\n" + usage);
    }
}

TEST_F(Options, HelpPrintsTheUsageAndStopsWithStatusZero)
{
    for (const char* help : { "--help", "-h" }) {
        Parsed p = parse({ "--events", help, "--verbose" });
        EXPECT_EQ(p.stop, 0) << help;
        EXPECT_EQ(p.message, table().usage()) << help;
    }
    // What comes first decides: an error before --help is an error.
    EXPECT_EQ(parse({ "--verbose", "--help" }).stop, 2);
    // A value that reads "--help" is a value.
    Parsed p = parse({ "--root", "--help" });
    EXPECT_EQ(p.stop, std::nullopt);
    EXPECT_STREQ(root, "--help");
}

TEST_F(Options, TheUsageTextListsTheTableInColumns)
{
    EXPECT_EQ(table().usage(),
        "usage: host [options]\n"
        "  --root FOLDER      the device root\n"
        "  --kind KIND        pocketpc or smartphone\n"
        "  --shots FOLDER     where screenshots go (default: the current folder;\n"
        "                     else: none)\n"
        "  --events           print the callback's calls\n"
        "  --no-install       boot as the device is\n");

    // A long name moves the help column for every line; an option without help has no
    // trailing blanks.
    OptionTable wide("wide", {
        { "--a", "", "first", nullptr },
        { "--uninstall-everything", "NAME", "second\nand more", nullptr },
        { "--quiet", "", "", nullptr },
    });
    EXPECT_EQ(wide.usage(),
        "usage: wide [options]\n"
        "  --a                          first\n"
        "  --uninstall-everything NAME  second\n"
        "                               and more\n"
        "  --quiet\n");
    // An option without a handler is accepted and does nothing.
    std::string message;
    const char* args[] = { "wide", "--uninstall-everything", "x", "--a" };
    EXPECT_EQ(wide.parse(4, args, message), std::nullopt);
    EXPECT_EQ(OptionTable("empty", {}).usage(), "usage: empty [options]\n");
}

}
