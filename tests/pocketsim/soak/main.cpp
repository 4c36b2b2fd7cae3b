// pocketsim_soak: a device with the keyboard in its input panel, driven by random stylus and
// device events in virtual time through the stylus-script commands, in one process so that
// the sanitizers watch the keyboard library the whole time. Between events the keyboard's files
// are rewritten as another program (or a careless user) would: random and absurd settings,
// changed layout lists. Seeded: a failure prints the seed and the event that failed.
//
//   pocketsim_soak [--events N] [--seed S] [--geometry qvga|vga] [--report N]... [--profile 1]
//                  [--without rotate,sip,im,settings,list] [--max-growth KiB]
// --max-growth fails the run when memory (RSS; under ASan the live heap) at a report exceeds
// that at the first report by more than the limit.
#include "panel_host/Boot.h"
#include "pocketsim/Device.h"
#include "panel_host/KeyboardInstall.h"
#include "panel_host/KeyboardKeys.h"
#include "pocketsim/Script.h"
#include "panel_host/SipHost.h"

#include "keyboard/InputMethodServer.h"
#include "runtime/Text.h"

#include <simhost.h>
#include <sip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// Under the sanitizers these tell live heap from the allocator's own bookkeeping; in a plain
// build they are absent and the report shows RSS alone.
extern "C" {
size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));
size_t __sanitizer_get_heap_size() __attribute__((weak));
void __sanitizer_print_memory_profile(size_t top_percent, size_t max_number_of_contexts) __attribute__((weak));
}

namespace {

struct Options {
    long events = 2000;
    unsigned long long seed = 1;
    std::string geometry = "qvga";
    std::set<long> reports;
    bool verbose = false;
    bool profile = false; // the sanitizer's biggest live allocations at each report
    long maxGrowthKiB = -1; // from the first report to any later one; off when negative
    std::set<std::string> without; // kinds of device action left out: rotate, sip, im, settings, list
};

// VmRSS and VmHWM of this process, in KiB.
std::pair<long, long> memoryKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    long rss = -1, hwm = -1;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::atol(line.c_str() + 6);
        else if (line.rfind("VmHWM:", 0) == 0)
            hwm = std::atol(line.c_str() + 6);
    }
    return { rss, hwm };
}

std::string hostPathOf(const char16_t* devicePath)
{
    char host[4096];
    if (!SimHostPath(devicePath, host, sizeof host))
        return {};
    return host;
}

void writeHostFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string utf16File(const std::string& utf8)
{
    std::u16string text = Utf16FromUtf8(utf8);
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(char(c & 0xFF));
        bytes.push_back(char(c >> 8));
    }
    return bytes;
}

class Soak {
public:
    Soak(const Options& options, pocketsim::Device*& device, pocketsim::Script& script)
        : m_settingsPath(hostPathOf(u"\\Program Files\\Tarn\\Magnikeys\\settings.txt"))
        , m_listPath(hostPathOf(u"\\Program Files\\Tarn\\Magnikeys\\layouts\\layouts.ini"))
        , m_options(options)
        , m_random(options.seed)
        , m_device(device)
        , m_script(script)
    {
        SimGetGeometry(&m_width, &m_height, nullptr, nullptr);
    }

    bool run()
    {
        while (m_events < m_options.events) {
            long before = m_events;
            if (!step())
                return false;
            for (long mark : m_options.reports) {
                if (before < mark && m_events >= mark) {
                    auto [rss, hwm] = memoryKiB();
                    std::printf("soak: %ld events (%ld actions) rss %ld KiB peak %ld KiB", m_events, m_actions, rss, hwm);
                    // Under ASan, RSS also grows by the runtime's record of the keyboard
                    // library's globals, kept for every load ("im" switches load it anew), so
                    // the live heap is the figure that must stay flat there.
                    long measured = rss;
                    if (__sanitizer_get_current_allocated_bytes) {
                        measured = long(__sanitizer_get_current_allocated_bytes() / 1024);
                        std::printf(" live heap %ld KiB heap %zu KiB", measured, __sanitizer_get_heap_size() / 1024);
                    }
                    std::printf("\n");
                    std::fflush(stdout);
                    if (m_options.profile && __sanitizer_print_memory_profile)
                        __sanitizer_print_memory_profile(90, 12);
                    if (m_firstMeasured < 0)
                        m_firstMeasured = measured;
                    else if (m_options.maxGrowthKiB >= 0 && measured - m_firstMeasured > m_options.maxGrowthKiB) {
                        std::fprintf(stderr, "pocketsim_soak: memory grew by %ld KiB since the first report (limit %ld KiB)\n",
                            measured - m_firstMeasured, m_options.maxGrowthKiB);
                        return false;
                    }
                    std::fflush(stdout);
                }
            }
        }
        return true;
    }

    // Actions taken with the keyboard showing, by the zoom style it read last and its form.
    void printTally() const
    {
        static const char* const styles[] = { "simple", "flat_zoom", "glass_zoom", "i_zoom" };
        static const char* const forms[] = { "portrait", "landscape", "extended_portrait", "extended_landscape" };
        std::printf("soak: actions with the keyboard showing, by zoom style and form:\n");
        for (int style = 0; style < 4; ++style) {
            std::printf("soak:   %-10s", styles[style]);
            for (int form = 0; form < 4; ++form)
                std::printf(" %s %ld", forms[form], m_tally[style][form]);
            std::printf("\n");
        }
    }

    long events() const { return m_events; }
    long actions() const { return m_actions; }
    const std::string& last() const { return m_last; }

private:
    const std::string m_settingsPath;
    const std::string m_listPath;

    int pick(int below) { return int(m_random() % unsigned(below)); }
    int between(int low, int high) { return low + pick(high - low + 1); }

    // One script line; a stylus or device event counts, a wait does not.
    bool line(const std::string& text, bool counts = true)
    {
        m_last = text;
        if (m_options.verbose)
            std::printf("%s\n", text.c_str());
        std::istringstream in(text);
        if (!m_script.run(in, "soak"))
            return false;
        if (counts)
            ++m_events;
        return true;
    }

    std::vector<pocketsim::ScreenKey> keys()
    {
        std::vector<pocketsim::ScreenKey> visible;
        for (const auto& key : pocketsim::CurrentKeyMap())
            if (key.visible && key.rect.right > key.rect.left && key.rect.bottom > key.rect.top)
                visible.push_back(key);
        return visible;
    }

    // A point on a key (when the keyboard shows) or on the screen below the taskbar, whose Start
    // menu would start programs.
    POINT somewhere(const std::vector<pocketsim::ScreenKey>& shown)
    {
        if (!shown.empty() && pick(5) != 0) {
            const RECT& r = shown[size_t(pick(int(shown.size())))].rect;
            return POINT { between(int(r.left), int(r.right) - 1), between(int(r.top), int(r.bottom) - 1) };
        }
        return POINT { between(0, m_width - 1), between(30, m_height - 1) };
    }

    // Off the keyboard, often off the screen.
    POINT anywhere()
    {
        return POINT { between(-m_width, 2 * m_width), between(-m_height, 2 * m_height) };
    }

    static std::string at(const char* command, POINT p)
    {
        return std::string(command) + " " + std::to_string(p.x) + " " + std::to_string(p.y);
    }

    std::string randomNumber()
    {
        static const char* const absurd[] = { "0", "-1", "-0", "1e308", "-1e308", "1e-308", "nan", "inf", "99999999999",
            "-2147483648", "2147483647", "4294967296", "0.0000001", "3.", ".5", "abc", "", "1,5", "  7  ", "0x10" };
        switch (pick(3)) {
        case 0:
            return absurd[pick(int(std::size(absurd)))];
        case 1:
            return std::to_string(between(-1000, 5000));
        default:
            return std::to_string(between(0, 3000) / 1000.0);
        }
    }

    void rewriteSettings()
    {
        static const char* const keys[] = { "zoom_scale", "zoom_show_delay", "animation_time", "zoom_power", "smart_zoom",
            "zooms_count_to_disable_delay", "print_pause_to_enable_delay", "min_time_for_press", "double_click_delay",
            "repeat_delay", "repeat_interval", "settings_id", "last_movement_ignore", "board_style",
            "glass_zoom_window_size", "glass_radius", "stroke_speed", "stroke_distance" };
        static const char* const styles[] = { "simple", "flat_zoom", "glass_zoom", "i_zoom", "", "no_such_style",
            "GLASS_ZOOM" };
        // Half the files are sound with values in their ranges (the keyboard reads them whole,
        // zoom style included); the others hold absurd values, lack keys or are cut short.
        const bool sound = pick(2) == 0;
        std::string text;
        for (const char* key : keys) {
            if (!sound && pick(12) == 0)
                continue;
            std::string value;
            if (sound) {
                if (std::strcmp(key, "board_style") == 0)
                    value = styles[pick(4)];
                else if (std::strcmp(key, "smart_zoom") == 0)
                    value = pick(2) ? "true" : "false";
                else if (std::strstr(key, "size") || std::strstr(key, "stroke"))
                    value = std::to_string(between(20, 200)) + " " + std::to_string(between(20, 200));
                else if (std::strcmp(key, "settings_id") == 0 || std::strcmp(key, "zooms_count_to_disable_delay") == 0)
                    value = std::to_string(between(0, 40));
                else
                    value = std::to_string(between(0, 3000) / 1000.0);
            } else if (std::strcmp(key, "board_style") == 0)
                value = pick(4) ? styles[pick(4)] : styles[pick(int(std::size(styles)))];
            else if (std::strcmp(key, "smart_zoom") == 0)
                value = pick(2) ? "true" : (pick(2) ? "false" : randomNumber());
            else if (std::strstr(key, "size") || std::strstr(key, "stroke"))
                value = randomNumber() + " " + randomNumber();
            else
                value = randomNumber();
            text += std::string(key) + (pick(2) ? " " : "=") + value + "\n";
        }
        if (!sound && pick(10) == 0)
            text.resize(size_t(pick(int(text.size()) + 1))); // cut short, as a crashed writer would
        std::string bytes = pick(3) ? utf16File(text) : text;
        if (!sound && pick(20) == 0)
            bytes = std::string(size_t(between(0, 300)), char(pick(256)));
        writeHostFile(m_settingsPath, bytes);
    }

    void rewriteLayoutList()
    {
        static const char* const names[] = { "english", "russian", "deutch", "french", "missing", "", "..\\settings",
            "english" };
        std::string text;
        int count = pick(6);
        for (int i = 0; i < count; ++i)
            text += "layout_" + std::to_string(pick(4) ? i : between(0, 99)) + "=" + names[pick(int(std::size(names)))] + "\n";
        writeHostFile(m_listPath, pick(2) ? utf16File(text) : text);
    }

    // The keyboard reads its files again when its input-method object is made again.
    bool switchInputMethod()
    {
        if (!line(std::string("im ") + Utf8FromUtf16(kPlatformKeyboardClsid)))
            return false;
        if (pick(4) == 0 && !line("tap " + std::to_string(between(0, m_width - 1)) + " " + std::to_string(m_height - 60)))
            return false;
        if (!line(std::string("im ") + Utf8FromUtf16(kMagnikeysClsid)))
            return false;
        m_style = styleInFile();
        if (m_options.verbose)
            std::printf("# zoom style now %d\n", m_style);
        return true;
    }

    // The zoom style the keyboard has just read (a name it does not know is "simple").
    int styleInFile()
    {
        std::ifstream in(m_settingsPath, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string text;
        for (size_t i = (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF) ? 2 : 0; i < bytes.size(); i += (uint8_t(bytes[0]) == 0xFF ? 2 : 1))
            text.push_back(bytes[i]);
        static const char* const names[] = { "simple", "flat_zoom", "glass_zoom", "i_zoom" };
        size_t at = text.find("board_style");
        if (at == std::string::npos)
            return 0;
        size_t from = text.find_first_not_of(" =\t", at + 11);
        size_t to = text.find_first_of("\r\n", from);
        std::string name = from == std::string::npos ? "" : text.substr(from, to - from);
        for (int i = 0; i < 4; ++i)
            if (name == names[i])
                return i;
        return 0;
    }

    bool step()
    {
        ++m_actions;
        std::vector<pocketsim::ScreenKey> shown = keys();
        if (!shown.empty()) {
            int letters = 0;
            for (const auto& key : shown)
                letters += key.label.size() == 1;
            const bool landscape = GetSystemMetrics(SM_CXSCREEN) > GetSystemMetrics(SM_CYSCREEN);
            ++m_tally[m_style][(letters > 40 ? 2 : 0) + (landscape ? 1 : 0)];
        }
        int roll = pick(1000);
        if (roll < 300) { // a tap, as a user types
            POINT p = somewhere(shown);
            return line(at("down", p)) && line("wait " + std::to_string(between(0, 250)), false) && line("up");
        }
        if (roll < 450) { // a drag over the keys
            POINT p = somewhere(shown);
            if (!line(at("down", p)))
                return false;
            for (int i = between(1, 8); i > 0; --i)
                if (!line("wait " + std::to_string(between(0, 120)), false) || !line(at("move", somewhere(shown))))
                    return false;
            return line("up");
        }
        if (roll < 550) { // a stroke: a quick flick from a key
            static const char* const directions[] = { "left", "right", "up", "down" };
            if (shown.empty())
                return line("sip show");
            POINT p = somewhere(shown);
            const char* d = directions[pick(4)];
            int dx = std::strcmp(d, "right") == 0 ? 1 : std::strcmp(d, "left") == 0 ? -1 : 0;
            int dy = std::strcmp(d, "down") == 0 ? 1 : std::strcmp(d, "up") == 0 ? -1 : 0;
            int distance = between(10, 80);
            return line(at("down", p)) && line("wait 20", false)
                && line(at("move", POINT { p.x + dx * distance / 2, p.y + dy * distance / 2 })) && line("wait 20", false)
                && line(at("move", POINT { p.x + dx * distance, p.y + dy * distance })) && line("up");
        }
        if (roll < 600) { // a long hold: zoom, auto-repeat
            POINT p = somewhere(shown);
            return line(at("down", p)) && line("wait " + std::to_string(between(400, 4000)), false) && line("up");
        }
        if (roll < 680) { // off the keyboard and off the screen while held
            POINT p = somewhere(shown);
            if (!line(at("down", p)) || !line(at("move", anywhere())))
                return false;
            if (pick(2) && !line(at("move", anywhere())))
                return false;
            return line("up");
        }
        if (roll < 760) { // the function keys by name
            static const char* const named[] = { "shift", "layout", "extra", "space", "backspace", "enter", "ctrl" };
            std::u16string label = Utf16FromUtf8(named[pick(int(std::size(named)))]);
            const pocketsim::ScreenKey* key = pocketsim::FindScreenKey(shown, label);
            if (!key)
                return line("wait 10", false);
            return line(at("tap", key->centre()));
        }
        if (roll < 800)
            return line("wait " + std::to_string(between(0, 2000)), false);
        // Left out on request, to tell which kind of action something depends on.
        static const std::pair<int, const char*> kinds[] = { { 830, "rotate" }, { 870, "sip" }, { 890, "im" },
            { 950, "settings" }, { 990, "list" }, { 1000, "list" } };
        for (const auto& [below, kind] : kinds) {
            if (roll < below) {
                if (m_options.without.count(kind))
                    return line("wait 10", false);
                break;
            }
        }
        if (roll < 830)
            return line("rotate");
        if (roll < 870)
            return line(m_device->panel_shown() && pick(3) ? "sip hide" : "sip show");
        if (roll < 890)
            return switchInputMethod();
        if (roll < 950) {
            rewriteSettings();
            return pick(3) || m_options.without.count("im") ? true : switchInputMethod();
        }
        if (roll < 990) {
            rewriteLayoutList();
            return pick(3) || m_options.without.count("im") ? true : switchInputMethod();
        }
        // The "layout" key after a list change, so that the keyboard reads the new list.
        const pocketsim::ScreenKey* key = pocketsim::FindScreenKey(shown, u"layout");
        return key ? line(at("tap", key->centre())) : line("sip show");
    }

    const Options& m_options;
    std::mt19937_64 m_random;
    pocketsim::Device*& m_device;
    pocketsim::Script& m_script;
    int m_width = 0, m_height = 0;
    long m_events = 0;
    long m_actions = 0;
    long m_tally[4][4] = {};
    long m_firstMeasured = -1;
    int m_style = 0;
    std::string m_last;
};

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        std::string value = argv[++i];
        if (arg == "--events")
            options.events = std::atol(value.c_str());
        else if (arg == "--seed")
            options.seed = std::strtoull(value.c_str(), nullptr, 10);
        else if (arg == "--geometry")
            options.geometry = value;
        else if (arg == "--report")
            options.reports.insert(std::atol(value.c_str()));
        else if (arg == "--verbose")
            options.verbose = value == "1";
        else if (arg == "--without") {
            for (size_t from = 0; from <= value.size();) {
                size_t comma = std::min(value.find(',', from), value.size());
                options.without.insert(value.substr(from, comma - from));
                from = comma + 1;
            }
        } else if (arg == "--max-growth")
            options.maxGrowthKiB = std::atol(value.c_str());
        else if (arg == "--profile")
            options.profile = value == "1";
        else
            return false;
    }
    return true;
}

}

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: pocketsim_soak [--events N] [--seed S] [--geometry qvga|vga] [--report N]... [--verbose 1] [--profile 1]\n"
                             "                     [--max-growth KiB]\n"
                             "                     [--without rotate,sip,im,settings,list]\n");
        return 2;
    }
    options.reports.insert(options.events);
    std::string root = (fs::temp_directory_path() / "mk-soak-XXXXXX").string();
    if (!mkdtemp(root.data()))
        return 2;
    SimSetDeviceRoot(root.c_str());
    if (!SimSetGeometry(options.geometry.c_str())) {
        std::fprintf(stderr, "pocketsim_soak: unknown geometry %s\n", options.geometry.c_str());
        return 2;
    }
    SimUseVirtualClock(1000);
    std::printf("soak: seed %llu, %ld events at %s\n", options.seed, options.events, options.geometry.c_str());

    std::string problem;
    if (!pocketsim::InstallPlatformFiles(problem)) {
        std::fprintf(stderr, "pocketsim_soak: %s\n", problem.c_str());
        return 1;
    }
    std::string report;
    if (!pocketsim::InstallTree(POCKETSIM_INSTALL_TREE, report)) {
        std::fprintf(stderr, "pocketsim_soak: installing failed:\n%s", report.c_str());
        return 1;
    }
    pocketsim::MakeKeyboardCurrent();
    // The settings key of the symbol layer would start the settings program, a process of its
    // own, and the Start menu lists programs: the soak is the keyboard's alone.
    fs::remove(hostPathOf(u"\\Program Files\\Tarn\\Magnikeys\\optarix.exe"));

    int status = 0;
    {
        auto boot = []() -> std::unique_ptr<pocketsim::Device> {
            auto device = std::make_unique<pocketsim::Device>();
            if (!device->boot(nullptr))
                return nullptr;
            auto panel = std::make_unique<pocketsim::SipHost>();
            if (panel->start(nullptr))
                device->set_input_panel(std::move(panel));
            SimPumpMessages();
            return device;
        };
        std::unique_ptr<pocketsim::Device> device = boot();
        if (!device || !SimOpenDisplay("headless")) {
            std::fprintf(stderr, "pocketsim_soak: the device did not boot\n");
            return 1;
        }
        pocketsim::Device* current = device.get();
        pocketsim::ScriptOptions scriptOptions;
        scriptOptions.shotFolder = root;
        pocketsim::Script script(*current, scriptOptions);
        Soak soak(options, current, script);
        std::istringstream start("sip show\n");
        if (!script.run(start, "soak") || !soak.run()) {
            std::fprintf(stderr, "pocketsim_soak: FAILED at event %ld (action %ld) \"%s\": %s\n"
                                 "  rerun: pocketsim_soak --seed %llu --events %ld --geometry %s\n",
                soak.events(), soak.actions(), soak.last().c_str(), script.error().c_str(), options.seed,
                options.events, options.geometry.c_str());
            status = 1;
        }
        soak.printTally();
        SimEndPrograms(2000);
        device.reset();
        SimPumpMessages();
    }
    SimCloseDisplay();
    std::error_code ignored;
    fs::remove_all(root, ignored);
    std::printf("soak: %s\n", status == 0 ? "passed" : "failed");
    return status;
}
