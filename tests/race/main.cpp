// file_race: three programs of one device change the shared files and registry values at the
// same time, and a reader checks every file it sees.
//   - the keyboard, in pocketsim, fed a stylus script: the "layout" key (the layout list), input
//     method switches (the settings file read, and rewritten when damaged), rotations;
//   - the settings program's forms in a process of their own, a random walk through the menu:
//     zoom types and the smart-zoom switch (the settings file), layouts on and off (the list),
//     languages (the registry's language value);
//   - a writer that rewrites the settings file, a large layout, its own entry in the list and
//     registry values as fast as it can, killed (SIGKILL) at random moments and started again.
// The reader wants every file complete at every read, a committed registry value never lost,
// and at the end no layout that the settings program turned on missing from the list.
//
//   file_race run [--seconds S] [--seed N]      (writer and settings are the roles it starts)
#include <simhost.h>
#include <windows.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "keyboard/InputMethodServer.h"
#include "kbfiles/KeyValueFile.h"
#include "kbfiles/LayoutSelection.h"
#include "kbfiles/kbSettings.h"
#include "runtime/Registry.h"
#include "runtime/Text.h"
#include "runtime/TextFile.h"
#include "runtime/WideCase.h"
#include "tests/settings_app/SettingsRun.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char16_t kRaceKey[] = u"HKEY_CURRENT_USER\\Software\\Tarn\\Race";
constexpr char16_t kRaceLayout[] = u"race";
const char* const kLanguages[] = { "english", "german", "russian" };

std::string hostPath(const char16_t* devicePath)
{
    char host[4096];
    std::u16string device = ExpandPath(devicePath);
    return SimHostPath(device.c_str(), host, sizeof host) ? std::string(host) : std::string();
}

std::optional<std::string> readHost(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The text of a file the system wrote: FF FE and UTF-16; nothing when it is not that.
std::optional<std::u16string> utf16Text(const std::string& bytes)
{
    if (bytes.size() < 2 || bytes.size() % 2 || uint8_t(bytes[0]) != 0xFF || uint8_t(bytes[1]) != 0xFE)
        return std::nullopt;
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(char16_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8)));
    return text;
}

// ---- the writer ---------------------------------------------------------------------------

std::u16string raceLayoutText(std::mt19937& random)
{
    std::u16string text = u"short rc\nline1 qwertyuiop@\nline2 asdfghjkl'/\nline3 zxcvbnm,.!?\npad ";
    // Large enough that a write takes a while: a kill lands in the middle of one often.
    text.append(size_t(20000 + random() % 60000), char16_t(u'a' + random() % 26));
    text += u"\n";
    std::string length = std::to_string(text.size());
    return text + u"end " + std::u16string(length.begin(), length.end()) + u"\n";
}

int runWriter(unsigned seed)
{
    std::mt19937 random(seed);
    DWORD counter = 0;
    RegReadNumber(kRaceKey, u"Counter", counter);
    std::printf("ready\n");
    std::fflush(stdout);
    for (unsigned long round = 0;; ++round) {
        switch (round % 4) {
        case 0: {
            kbSettings settings;
            settings.zoom_scale = 1.0 + (random() % 300) / 100.0;
            settings.zoom_show_delay = (random() % 1000) / 1000.0;
            settings.smart_zoom = random() % 2;
            settings.board_style = int32_t(random() % 4);
            settings.glass_radius = double(10 + random() % 90);
            if (!settings.write()) {
                std::fprintf(stderr, "writer: the settings file was not written\n");
                return 3;
            }
            break;
        }
        case 1:
            if (!WriteWholeFile(LayoutSelection::layout_path(kRaceLayout), Utf16FileBytes(raceLayoutText(random)))) {
                std::fprintf(stderr, "writer: the race layout was not written\n");
                return 3;
            }
            break;
        case 2: {
            // Its own entry in the list on and off, as the settings program changes the list.
            FileUpdateLock lock(kLayoutListPath);
            KeyValueFile list;
            list.load(kLayoutListPath);
            std::vector<std::u16string> names = ListedLayoutNames(list);
            auto at = std::find(names.begin(), names.end(), kRaceLayout);
            if (at != names.end())
                names.erase(at);
            else
                names.push_back(kRaceLayout);
            std::u16string text;
            for (size_t i = 0; i < names.size(); ++i) {
                std::string n = std::to_string(i);
                text += u"layout_" + std::u16string(n.begin(), n.end()) + u"=" + names[i] + u"\n";
            }
            if (!WriteWholeFile(kLayoutListPath, Utf16FileBytes(text))) {
                std::fprintf(stderr, "writer: the layout list was not written\n");
                return 3;
            }
            break;
        }
        default:
            RegWriteText(Language::registry_key(kApplicationName), u"Language",
                Utf16FromUtf8(kLanguages[random() % std::size(kLanguages)]));
            if (!RegWriteNumber(kRaceKey, u"Counter", counter + 1)) {
                std::fprintf(stderr, "writer: the counter was not written\n");
                return 3;
            }
            ++counter;
            // Said only once it is in the registry: what is said must survive a kill.
            std::printf("counter %u\n", unsigned(counter));
            std::fflush(stdout);
        }
    }
}

// ---- the settings program -----------------------------------------------------------------

int runSettings(unsigned seed, double seconds)
{
    std::mt19937 random(seed);
    long choices = 0;
    std::vector<std::u16string> enabled;
    std::set<std::u16string> turnedOn;
    auto listed = [](std::u16string_view name) {
        KeyValueFile list;
        list.load(kLayoutListPath);
        for (const std::u16string& entry : ListedLayoutNames(list))
            if (WideLower(entry) == WideLower(name))
                return true;
        return false;
    };
    {
        SettingsRun run("qvga");
        if (!run.skin_loaded) {
            std::fprintf(stderr, "settings: no skin\n");
            return 3;
        }
        auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            std::vector<std::u16string> ids;
            for (const std::u16string& id : run.ids())
                if (id != u"Close" && id != u"About" && id != u"default_keyboard")
                    ids.push_back(id);
            if (ids.empty()) {
                run.form->show_main_menu();
                continue;
            }
            const std::u16string id = ids[random() % ids.size()];
            const std::vector<std::u16string> available = run.layouts->available_layouts();
            const bool layout = std::find(available.begin(), available.end(), id) != available.end()
                && WideLower(id) != kRaceLayout;
            run.choose(id);
            ++choices;
            // What the choice did, as the screen shows it after: the keyboard may have put its
            // current layout back on the list just before, and then the choice turned it off.
            if (layout && run.checked(id))
                turnedOn.insert(WideLower(id));
            else if (layout)
                turnedOn.erase(WideLower(id));
            // A layout turned on stays listed until this program turns it off: the keyboard
            // and the writer change the list at the same time, but never lose its entries.
            for (const std::u16string& name : turnedOn)
                if (!listed(name)) {
                    std::printf("settings lost %s\n", Utf8FromUtf16(name).c_str());
                    return 4;
                }
            // A program of the device answers its messages, also while the user picks the next
            // row: it waits in its message loop, as the real program does, for real time (its
            // own clock is virtual and would not wait at all). The keyboard's host waits for it
            // after each line that typed into it (it is in front).
            const auto next = Clock::now() + std::chrono::milliseconds(random() % 15);
            const int wake = SimThreadEventFd();
            do {
                SimPumpMessages();
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
                if (left <= 0)
                    break;
                pollfd fd { wake, POLLIN, 0 };
                if (wake < 0 || poll(&fd, 1, static_cast<int>(left)) < 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(left));
            } while (true);
        }
        run.form->show_main_menu();
        enabled = run.layouts->enabled_layouts();
    }
    std::string line = "settings " + std::to_string(choices) + " enabled";
    for (const std::u16string& name : enabled)
        line += " " + Utf8FromUtf16(WideLower(name));
    std::printf("%s\n", line.c_str());
    return 0;
}

// ---- the reader and the run ---------------------------------------------------------------

struct Child {
    pid_t pid = -1;
    int out = -1; // its standard output, non-blocking
    std::string pending;
};

Child spawn(const std::vector<std::string>& args, int* stdinWrite = nullptr)
{
    int out[2], in[2];
    if (pipe(out) != 0 || (stdinWrite && pipe(in) != 0))
        abort();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        if (stdinWrite) {
            dup2(in[0], 0);
            close(in[0]);
            close(in[1]);
        }
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    if (stdinWrite) {
        close(in[0]);
        // A small pipe: the script's writer stays close to what the device is doing.
        fcntl(in[1], F_SETPIPE_SZ, 4096);
        *stdinWrite = in[1];
    }
    return Child { pid, out[0], {} };
}

// Lines the child has written so far.
std::vector<std::string> drain(Child& child)
{
    char buffer[4096];
    ssize_t n;
    while ((n = read(child.out, buffer, sizeof buffer)) > 0)
        child.pending.append(buffer, size_t(n));
    std::vector<std::string> lines;
    size_t at;
    while ((at = child.pending.find('\n')) != std::string::npos) {
        lines.push_back(child.pending.substr(0, at));
        child.pending.erase(0, at + 1);
    }
    return lines;
}

class Reader {
public:
    Reader()
        : m_settings(hostPath(kSettingsPath))
        , m_list(hostPath(kLayoutListPath))
        , m_race(hostPath(u"%program_files%/Tarn/Magnikeys/layouts/race.txt"))
    {
        // The folder of the race layout exists; the file may not yet.
        if (m_race.empty())
            m_race = fs::path(m_list).parent_path() / "race.txt";
    }

    void checkAll()
    {
        checkSettings();
        checkList();
        checkRace();
        checkRegistry();
        // A breath between rounds: still hundreds of rounds a second, without taking a core
        // from the programs under test (the keyboard's pace is measured meanwhile).
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }

    bool failed() const { return !m_failure.empty(); }
    const std::string& failure() const { return m_failure; }
    long settingsReads = 0, listReads = 0, raceReads = 0, registryReads = 0;
    DWORD counter = 0;

private:
    void fail(const std::string& what)
    {
        if (m_failure.empty())
            m_failure = what;
    }

    void checkSettings()
    {
        auto bytes = readHost(m_settings);
        if (!bytes)
            return fail("the settings file is missing");
        ++settingsReads;
        auto text = utf16Text(*bytes);
        if (!text || text->empty() || text->back() != u'\n')
            return fail("a settings file not complete: " + std::to_string(bytes->size()) + " bytes");
        KeyValueFile file;
        file.parse(*text);
        for (const char* key : { "zoom_scale", "zoom_show_delay", "animation_time", "zoom_power", "smart_zoom",
                 "zooms_count_to_disable_delay", "print_pause_to_enable_delay", "min_time_for_press", "double_click_delay",
                 "repeat_delay", "repeat_interval", "settings_id", "last_movement_ignore", "board_style",
                 "glass_zoom_window_size", "glass_radius", "stroke_speed", "stroke_distance" })
            if (!file.find(Utf16FromUtf8(key)))
                return fail(std::string("a settings file without ") + key);
    }

    void checkList()
    {
        auto bytes = readHost(m_list);
        if (!bytes)
            return fail("the layout list is missing");
        ++listReads;
        auto text = utf16Text(*bytes);
        if (!text || (!text->empty() && text->back() != u'\n'))
            return fail("a layout list not complete: " + std::to_string(bytes->size()) + " bytes");
        std::u16string_view rest = *text;
        while (!rest.empty()) {
            size_t end = rest.find(u'\n');
            std::u16string_view line = rest.substr(0, end);
            rest.remove_prefix(end + 1);
            size_t equals = line.find(u'=');
            if (!line.starts_with(u"layout_") || equals == std::u16string_view::npos || equals + 1 >= line.size())
                return fail("a layout list with the line " + Utf8FromUtf16(line));
        }
    }

    void checkRace()
    {
        auto bytes = readHost(m_race);
        if (!bytes)
            return; // not written yet
        ++raceReads;
        auto text = utf16Text(*bytes);
        size_t end = text ? text->rfind(u"end ") : std::u16string::npos;
        if (end == std::u16string::npos || text->back() != u'\n'
            || Utf8FromUtf16(text->substr(end + 4, text->size() - end - 5)) != std::to_string(end))
            return fail("a layout file not complete: " + std::to_string(bytes->size()) + " bytes");
    }

    void checkRegistry()
    {
        std::u16string language;
        RegReadText(Language::registry_key(kApplicationName), u"Language", language);
        DWORD now = 0;
        RegReadNumber(kRaceKey, u"Counter", now);
        ++registryReads;
        std::string name = Utf8FromUtf16(language);
        if (!name.empty() && std::find_if(std::begin(kLanguages), std::end(kLanguages), [&](const char* l) { return name == l; }) == std::end(kLanguages))
            return fail("the language value " + name);
        if (now < counter)
            return fail("the counter went back from " + std::to_string(counter) + " to " + std::to_string(now));
        counter = now;
    }

    std::string m_settings, m_list, m_race;
    std::string m_failure;
};

// Device paths: their host paths exist only once their folders do.
bool waitFor(const std::vector<const char16_t*>& paths, double seconds)
{
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        if (std::all_of(paths.begin(), paths.end(), [](const char16_t* p) {
                std::string host = hostPath(p);
                return !host.empty() && fs::exists(host);
            }))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int waitExit(pid_t pid, double seconds)
{
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (Clock::now() < end) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// Where a process's main thread spent its time: on a CPU, and waiting for one (seconds).
struct ThreadTime {
    double onCpu = 0, waitingForCpu = 0;
    ThreadTime operator-(const ThreadTime& o) const { return { onCpu - o.onCpu, waitingForCpu - o.waitingForCpu }; }
    ThreadTime operator+(const ThreadTime& o) const { return { onCpu + o.onCpu, waitingForCpu + o.waitingForCpu }; }
};

ThreadTime threadTime(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
    unsigned long long cpu = 0, wait = 0;
    in >> cpu >> wait;
    return { cpu * 1e-9, wait * 1e-9 };
}

// A phase of the keyboard's run: its steps and the time they took, split into its script
// thread's time on a CPU, waiting for a CPU, and the rest (waiting for other programs, files).
struct Pace {
    long steps = 0;
    double seconds = 0;
    ThreadTime thread;
    double rate() const { return seconds > 0 ? steps / seconds : 0; }
    Pace operator+(const Pace& o) const { return { steps + o.steps, seconds + o.seconds, thread + o.thread }; }
    std::string perStep() const
    {
        if (steps <= 0)
            return "no steps";
        char text[160];
        const double ms = 1000.0 / double(steps);
        std::snprintf(text, sizeof text, "%.1f ms a step: %.1f on a CPU, %.1f waiting for one, %.1f waiting for the rest",
            seconds * ms, thread.onCpu * ms, thread.waitingForCpu * ms,
            std::max(0.0, seconds - thread.onCpu - thread.waitingForCpu) * ms);
        return text;
    }
};

int runAll(unsigned seed, double seconds, const std::string& self)
{
    std::string root = (fs::temp_directory_path() / "mk-race-XXXXXX").string();
    if (!mkdtemp(root.data()))
        return 2;
    setenv("POCKETSIM_ROOT", root.c_str(), 1);
    SimSetDeviceRoot(root.c_str());
    std::printf("race: seed %u, %.0f s, device %s\n", seed, seconds, root.c_str());
    std::fflush(stdout);
    std::mt19937 random(seed);

    // The keyboard: pocketsim installs it and boots with it in the panel.
    int script = -1;
    Child keyboard = spawn({ POCKETSIM_BINARY, "--script", "-" }, &script);
    signal(SIGPIPE, SIG_IGN);
    if (!waitFor({ kLayoutListPath, kSettingsPath, u"%program_files%/Tarn/Magnikeys/english.lng" }, 120)) {
        std::fprintf(stderr, "race: the keyboard did not come up\n");
        kill(keyboard.pid, SIGKILL);
        return 1;
    }
    std::atomic<bool> stop { false };
    std::atomic<long> scriptLines { 0 };
    // Where each step written ends in the script's bytes: what the pipe still holds tells how
    // many of them the keyboard took (it reads no further ahead than the line it runs).
    std::mutex stepsMutex;
    std::vector<long long> stepEnds;
    auto stepsTaken = [&] {
        int unread = 0;
        if (ioctl(script, FIONREAD, &unread) != 0)
            return -1L;
        std::lock_guard lock(stepsMutex);
        long long taken = (stepEnds.empty() ? 0 : stepEnds.back()) - unread;
        return long(std::upper_bound(stepEnds.begin(), stepEnds.end(), taken) - stepEnds.begin());
    };
    std::thread feeder([&] {
        std::mt19937 r(seed + 1);
        const std::string magnikeys = Utf8FromUtf16(kMagnikeysClsid), platform = Utf8FromUtf16(kPlatformKeyboardClsid);
        // Each step shows the panel first: an input method switch or a rotation may hide it.
        const std::string cycle[] = { "key layout", "stroke right", "key layout", "stroke left", "wait 40",
            "im " + platform + "\nim " + magnikeys, "rotate", "key shift", "key layout" };
        while (!stop) {
            std::string text = "sip show\n" + cycle[r() % std::size(cycle)] + "\n";
            {
                // Noted before it goes in: the pipe may hand it on at once.
                std::lock_guard lock(stepsMutex);
                stepEnds.push_back((stepEnds.empty() ? 0 : stepEnds.back()) + (long long)text.size());
            }
            if (write(script, text.data(), text.size()) != ssize_t(text.size()))
                break;
            ++scriptLines;
        }
        close(script);
    });

    // The keyboard's pace alone (once it runs its script), before and after the others are at
    // work, and with them: steps a second.
    for (auto limit = Clock::now() + std::chrono::seconds(60); stepsTaken() < 2 && Clock::now() < limit;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto paceAlone = [&] {
        const long from = stepsTaken();
        const auto start = Clock::now();
        const ThreadTime thread = threadTime(keyboard.pid);
        std::this_thread::sleep_for(std::chrono::duration<double>(std::clamp(seconds / 8, 1.0, 5.0)));
        return Pace { stepsTaken() - from, std::chrono::duration<double>(Clock::now() - start).count(), threadTime(keyboard.pid) - thread };
    };
    const Pace aloneBefore = paceAlone();
    const long busyFrom = stepsTaken();
    const auto busyStart = Clock::now();
    const ThreadTime busyThread = threadTime(keyboard.pid);

    Child settings = spawn({ self, "settings", std::to_string(seed + 2), std::to_string(seconds) });
    Reader reader;
    long kills = 0, writers = 0;
    DWORD reported = 0;
    std::string failure;
    auto readReports = [&](Child& writer) {
        for (const std::string& line : drain(writer))
            if (line.rfind("counter ", 0) == 0)
                reported = std::max<DWORD>(reported, DWORD(std::stoul(line.substr(8))));
    };
    auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end && !reader.failed() && failure.empty()) {
        Child writer = spawn({ self, "writer", std::to_string(seed + 3 + unsigned(writers)) });
        ++writers;
        // The kill falls at a random moment of its work, not of its start (slow under the
        // sanitizers); the reader reads on meanwhile.
        bool ready = false;
        for (auto wait = Clock::now() + std::chrono::seconds(20); !ready && Clock::now() < wait && !reader.failed();) {
            reader.checkAll();
            for (const std::string& line : drain(writer)) {
                ready = ready || line == "ready";
                if (line.rfind("counter ", 0) == 0)
                    reported = std::max<DWORD>(reported, DWORD(std::stoul(line.substr(8))));
            }
        }
        auto killAt = Clock::now() + std::chrono::milliseconds(5 + random() % 300);
        while (Clock::now() < killAt && !reader.failed()) {
            reader.checkAll();
            readReports(writer);
        }
        kill(writer.pid, SIGKILL);
        int status = 0;
        waitpid(writer.pid, &status, 0);
        readReports(writer);
        close(writer.out);
        if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL))
            failure = "a writer ended by itself, status " + std::to_string(status);
        ++kills;
    }
    const long takenAtEnd = stepsTaken();
    const Pace busy { takenAtEnd - busyFrom, std::chrono::duration<double>(Clock::now() - busyStart).count(), threadTime(keyboard.pid) - busyThread };
    const double busyRate = busy.rate();
    int settingsStatus = waitExit(settings.pid, 60);
    const Pace aloneAfter = paceAlone();
    stop = true;
    feeder.join();
    std::string enabledLine;
    std::string lost;
    for (const std::string& line : drain(settings)) {
        if (line.rfind("settings lost ", 0) == 0)
            lost = line.substr(14);
        if (line.rfind("settings ", 0) == 0)
            enabledLine = line;
    }
    if (!lost.empty())
        failure = "the layout " + lost + " that the settings program turned on was lost from the list";
    int keyboardStatus = waitExit(keyboard.pid, 120);
    reader.checkAll();

    // Nothing lost: what the writer said it committed, the layouts the settings program left on.
    if (failure.empty() && reader.failed())
        failure = reader.failure();
    if (failure.empty() && keyboardStatus != 0)
        failure = "the keyboard's pocketsim ended with " + std::to_string(keyboardStatus);
    if (failure.empty() && settingsStatus != 0)
        failure = "the settings program ended with " + std::to_string(settingsStatus);
    if (failure.empty() && reader.counter < reported)
        failure = "the counter " + std::to_string(reported) + " was said written, the registry holds " + std::to_string(reader.counter);
    std::set<std::u16string> listed;
    {
        KeyValueFile list;
        list.load(kLayoutListPath);
        for (const std::u16string& name : ListedLayoutNames(list))
            listed.insert(WideLower(name));
    }
    std::istringstream words(enabledLine);
    std::string word;
    words >> word >> word >> word; // "settings N enabled"
    // The writer turns its own entry on and off to the last moment; the settings program may
    // have seen it on.
    while (failure.empty() && words >> word)
        if (Utf16FromUtf8(word) != kRaceLayout && !listed.count(Utf16FromUtf8(word)))
            failure = "the layout " + word + " that the settings program turned on is not listed";
    auto countLeftovers = [&] {
        long n = 0;
        for (const auto& entry : fs::recursive_directory_iterator(root))
            if (entry.path().extension() == ".new")
                ++n;
        return n;
    };
    // What the last killed writer left goes with the next write of its file: one more write of
    // each, as the programs would make it, leaves nothing behind.
    const long leftovers = countLeftovers();
    for (const char16_t* path : { kSettingsPath, kLayoutListPath, u"%program_files%/Tarn/Magnikeys/layouts/race.txt" })
        if (auto bytes = readHost(hostPath(path)); bytes && !WriteWholeFile(path, *bytes) && failure.empty())
            failure = "the last write of " + Utf8FromUtf16(path) + " failed";
    const long leftAfterWrites = countLeftovers();
    if (failure.empty() && leftAfterWrites != 0)
        failure = std::to_string(leftAfterWrites) + " temporary files of killed writers stayed after the next writes";

    std::printf("race: %.0f s; keyboard script steps written %ld, taken %ld; settings program: %s; writers started %ld, "
                "killed %ld; last counter said %u, held %u\n",
        seconds, scriptLines.load(), takenAtEnd, enabledLine.c_str(), writers, kills, unsigned(reported), unsigned(reader.counter));
    const double alone = (aloneBefore.rate() + aloneAfter.rate()) / 2;
    std::printf("race: keyboard script steps a second: %.0f alone (%.0f before, %.0f after), %.0f with the settings program "
                "and the writers: %.1f times slower\n",
        alone, aloneBefore.rate(), aloneAfter.rate(), busyRate, busyRate > 0 ? alone / busyRate : 0.0);
    std::printf("race: keyboard alone %s\n", (aloneBefore + aloneAfter).perStep().c_str());
    std::printf("race: keyboard with the others %s\n", busy.perStep().c_str());
    std::printf("race: files checked: settings.txt %ld, layouts.ini %ld, race.txt %ld, registry reads %ld; "
                "temporary files of killed writers left: %ld, after one more write of each file: %ld\n",
        reader.settingsReads, reader.listReads, reader.raceReads, reader.registryReads, leftovers, leftAfterWrites);
    if (!failure.empty()) {
        std::printf("race: FAILED: %s (seed %u; the device is kept at %s)\n", failure.c_str(), seed, root.c_str());
        return 1;
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    std::printf("race: passed\n");
    return 0;
}

}

int main(int argc, char** argv)
{
    std::string role = argc > 1 ? argv[1] : "";
    if (role == "writer" && argc > 2)
        return runWriter(unsigned(std::atol(argv[2])));
    if (role == "settings" && argc > 3)
        return runSettings(unsigned(std::atol(argv[2])), std::atof(argv[3]));
    if (role == "run") {
        unsigned seed = 1;
        double seconds = 10;
        for (int i = 2; i + 1 < argc; i += 2) {
            if (std::strcmp(argv[i], "--seed") == 0)
                seed = unsigned(std::atol(argv[i + 1]));
            else if (std::strcmp(argv[i], "--seconds") == 0)
                seconds = std::atof(argv[i + 1]);
        }
        return runAll(seed, seconds, fs::read_symlink("/proc/self/exe").string());
    }
    std::fprintf(stderr, "usage: file_race run [--seconds S] [--seed N]\n");
    return 2;
}
