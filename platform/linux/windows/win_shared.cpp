// The device's shared window state. A small file "<root>/.pocketsim/screen.state", mapped by
// every process, holds the z-order counters and the foreground, capture and shell windows.
// Each top-level window's picture lives in a POSIX shared-memory object
// "/pocketsim-<device>-<pid>-<handle>" that its process rewrites when it goes idle and that the
// other processes map and compose from; a process that ended is recognised by its pid and its
// objects are removed by whoever notices.
#include "win_shared.h"
#include "linux/files/device_fs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <set>
#include <string_view>
#include <sys/mman.h>
#include <sys/stat.h>
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace wm::shared {

namespace {

constexpr uint32_t kStateMagic = 0x4D4B5353;
constexpr uint32_t kPictureMagic = 0x4D4B5750;

struct State {
    uint32_t magic;
    uint32_t reserved;
    std::atomic<int64_t> front;
    std::atomic<int64_t> back;
    std::atomic<uint64_t> foreground;
    std::atomic<uint64_t> capture;
    std::atomic<uint64_t> shell;
    std::atomic<uint64_t> generation;
    // Moves whenever a picture object of the device is made or removed (not when one is only
    // rewritten): while it stands, the list of the device's pictures is the one last read.
    std::atomic<uint64_t> entries;
};
static_assert(std::atomic<int64_t>::is_always_lock_free, "the state is shared between processes");

struct PictureHeader {
    uint32_t magic;
    std::atomic<uint32_t> sequence; // odd while the owner writes
    uint64_t handle;
    int32_t left, top, right, bottom;
    uint32_t flags;
    uint32_t shellState;
    int64_t z;
    int32_t width, height;
    uint64_t capacity; // pixels that fit after the header
};
constexpr size_t kHeaderSize = 64;
static_assert(sizeof(PictureHeader) <= kHeaderSize);

uintptr_t value(HWND h)
{
    return reinterpret_cast<uintptr_t>(h);
}

HWND handleOf(uint64_t v)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(v));
}

// ---- the state file ------------------------------------------------------------

// The state last mapped, for the notice of a process that ends (its statics are going).
std::atomic<State*> g_lastState { nullptr };

struct StateMapping {
    std::string path;
    uint64_t epoch = 0; // of the device root it was made for
    State* state = nullptr;
};

State* state()
{
    static std::mutex guard;
    static StateMapping mapping;
    static State fallback {};
    std::lock_guard<std::mutex> g(guard);
    // Asked at every capture and foreground change: the path is worked out again only after
    // the device root changed.
    const uint64_t epoch = sim::rootEpoch();
    if (mapping.state && mapping.epoch == epoch)
        return mapping.state;
    std::string path = sim::hostStateFolder() + "/screen.state";
    mapping.epoch = epoch;
    if (mapping.state && mapping.path == path)
        return mapping.state;
    if (mapping.state)
        munmap(mapping.state, sizeof(State));
    mapping.state = nullptr;
    g_lastState.store(nullptr);
    mapping.path = path;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return &fallback;
    struct stat st;
    if (fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) < sizeof(State) && ftruncate(fd, sizeof(State)) != 0) {
        close(fd);
        return &fallback;
    }
    void* p = mmap(nullptr, sizeof(State), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED)
        return &fallback;
    mapping.state = static_cast<State*>(p);
    // Several processes may get here first at once; the magic written twice is the same.
    mapping.state->magic = kStateMagic;
    g_lastState.store(mapping.state);
    return mapping.state;
}

// After a picture object was made or removed: other processes read the device's list again.
void entriesChanged(State* s = nullptr)
{
    (s ? s : state())->entries.fetch_add(1);
}

// ---- names of pictures ---------------------------------------------------------

std::string deviceTag()
{
    char tag[20];
    std::snprintf(tag, sizeof tag, "%08zx", std::hash<std::string> {}(sim::deviceRoot()) & 0xFFFFFFFFu);
    return tag;
}

std::string pictureName(const std::string& tag, pid_t pid, HWND window)
{
    char name[96];
    std::snprintf(name, sizeof name, "/pocketsim-%s-%d-%zx", tag.c_str(), static_cast<int>(pid), value(window));
    return name;
}

// "pocketsim-<tag>-<pid>-<handle>" as found in /dev/shm.
bool parseName(const std::string& entry, std::string& tag, pid_t& pid)
{
    if (entry.rfind("pocketsim-", 0) != 0)
        return false;
    size_t a = entry.find('-', 10);
    if (a == std::string::npos)
        return false;
    size_t b = entry.find('-', a + 1);
    if (b == std::string::npos)
        return false;
    tag = entry.substr(10, a - 10);
    pid = static_cast<pid_t>(std::atol(entry.substr(a + 1, b - a - 1).c_str()));
    return pid > 0;
}

std::vector<std::string> shmEntries()
{
    std::vector<std::string> out;
    DIR* dir = opendir("/dev/shm");
    if (!dir)
        return out;
    while (dirent* e = readdir(dir))
        if (std::strncmp(e->d_name, "pocketsim-", 10) == 0)
            out.emplace_back(e->d_name);
    closedir(dir);
    return out;
}

// ---- this process's pictures ---------------------------------------------------

struct Published {
    std::string name;
    PictureHeader* header = nullptr;
    size_t bytes = 0;
};

std::map<HWND, Published>& published()
{
    static std::map<HWND, Published> table;
    return table;
}

bool g_dirty = true;

// Whether a picture object was removed.
bool unmap(Published& p, bool remove)
{
    if (p.header)
        munmap(p.header, p.bytes);
    const bool removed = remove && !p.name.empty() && shm_unlink(p.name.c_str()) == 0;
    p = Published {};
    return removed;
}

// Leaves nothing behind when the process ends without destroying its windows.
struct Cleanup {
    Cleanup() { published(); } // made first, so that it is still there at the end
    ~Cleanup()
    {
        bool removed = false;
        for (auto& [handle, p] : published())
            removed = unmap(p, true) || removed;
        published().clear();
        // The state file stays mapped to the end; the function that finds it may be gone.
        if (State* s = g_lastState.load(); removed && s)
            entriesChanged(s);
    }
};
Cleanup g_cleanup;

bool ensureCapacity(Published& p, const std::string& name, size_t pixels)
{
    size_t bytes = kHeaderSize + pixels * 2;
    if (p.header && p.name == name && p.bytes >= bytes)
        return true;
    if (p.name != name && unmap(p, true))
        entriesChanged();
    // Grows only: a reader may be copying from the old size.
    bytes = std::max(bytes, p.bytes);
    int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        close(fd);
        return false;
    }
    void* m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (m == MAP_FAILED)
        return false;
    // Made or grown: readers look at the object again.
    entriesChanged();
    if (p.header)
        munmap(p.header, p.bytes);
    p.name = name;
    p.header = static_cast<PictureHeader*>(m);
    p.bytes = bytes;
    p.header->magic = kPictureMagic;
    p.header->capacity = (bytes - kHeaderSize) / 2;
    return true;
}

uint32_t flagsOf(const Window* w)
{
    uint32_t f = 0;
    if (w->style & WS_VISIBLE)
        f |= kVisible;
    if (w->exStyle & WS_EX_TOPMOST)
        f |= kTopmost;
    if (!(w->style & WS_DISABLED) && !(w->exStyle & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW)))
        f |= kActivatable;
    return f;
}

void write(Published& p, const Window* w)
{
    PictureHeader* h = p.header;
    h->sequence.fetch_add(1);
    h->handle = value(w->handle);
    h->left = w->rect.left;
    h->top = w->rect.top;
    h->right = w->rect.right;
    h->bottom = w->rect.bottom;
    h->flags = flagsOf(w);
    h->shellState = w->shellState;
    h->z = w->z;
    int width = std::max(w->width(), 0), height = std::max(w->height(), 0);
    if ((h->flags & kVisible) && static_cast<size_t>(width) * height <= h->capacity) {
        // The window covers its picture whole (white where it has no pixels of its own).
        auto* pixels = reinterpret_cast<uint16_t*>(reinterpret_cast<char*>(h) + kHeaderSize);
        composeTree(pixels, width, w, POINT { -w->rect.left, -w->rect.top }, RECT { 0, 0, width, height });
        h->width = width;
        h->height = height;
    } else {
        h->width = 0;
        h->height = 0;
    }
    h->sequence.fetch_add(1);
}

// ---- other processes' pictures -------------------------------------------------

struct Mapped {
    void* address = nullptr;
    size_t bytes = 0;
    ino_t inode = 0;
    // The window as last read whole: what stands while its owner is rewriting it.
    bool known = false;
    RemotePicture last {};
};

std::map<std::string, Mapped>& mapped()
{
    static std::map<std::string, Mapped> table;
    return table;
}

bool mapPicture(const std::string& entry, Mapped& m)
{
    int fd = shm_open(("/" + entry).c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < kHeaderSize) {
        close(fd);
        return false;
    }
    if (m.address && m.inode == st.st_ino && m.bytes == static_cast<size_t>(st.st_size)) {
        close(fd);
        return true;
    }
    void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED)
        return false;
    if (m.address)
        munmap(m.address, m.bytes);
    m.address = p;
    m.bytes = static_cast<size_t>(st.st_size);
    m.inode = st.st_ino;
    return true;
}

// The other processes' pictures of this device, by name, with their process. Listing /dev/shm
// is a look through a folder that every program of the machine writes to: done again only
// when some process of the device made or removed a picture since (or this one is another
// process, or on another device, than when it was read).
struct Listing {
    pid_t self = 0;
    State* state = nullptr;
    std::string prefix;
    uint64_t entries = 0;
    std::vector<std::pair<std::string, pid_t>> names; // by process
};

// A process's end as the kernel tells it: a descriptor that reads as ready once the process
// ended (a zombie too). kDead: it had ended when looked for; kAsk: no descriptor to be had,
// processAlive is asked each time.
constexpr int kDead = -2;
constexpr int kAsk = -1;

std::map<pid_t, int>& endWatches()
{
    static std::map<pid_t, int> table;
    return table;
}

int watchEnd(pid_t pid)
{
#ifdef SYS_pidfd_open
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0)
        return fd;
    if (errno == ESRCH)
        return kDead;
#endif
    (void)pid;
    return kAsk;
}

void stopWatching(int watch)
{
    if (watch >= 0)
        close(watch);
}

// Whether each process runs, in one look for all of them.
std::map<pid_t, bool> livingOf(const std::vector<pid_t>& pids)
{
    std::map<pid_t, bool> alive;
    std::vector<pollfd> ask;
    std::vector<pid_t> asked;
    for (pid_t pid : pids) {
        auto it = endWatches().find(pid);
        if (it == endWatches().end())
            it = endWatches().emplace(pid, watchEnd(pid)).first;
        if (it->second >= 0) {
            ask.push_back(pollfd { it->second, POLLIN, 0 });
            asked.push_back(pid);
        } else {
            alive[pid] = it->second == kAsk && processAlive(pid);
        }
    }
    const bool answered = ask.empty() || poll(ask.data(), ask.size(), 0) >= 0;
    for (size_t i = 0; i < ask.size(); ++i) {
        if (answered && !(ask[i].revents & ~POLLIN))
            alive[asked[i]] = !(ask[i].revents & POLLIN);
        else
            alive[asked[i]] = processAlive(asked[i]);
    }
    return alive;
}

Listing& listing()
{
    static Listing list;
    State* s = state();
    const pid_t self = getpid();
    std::string prefix = "pocketsim-" + deviceTag() + "-";
    // Read before the folder: a picture made while it is read moves it again. Without the
    // shared state file (the fallback state) nothing tells of other processes' changes.
    const uint64_t entries = s->entries.load();
    const bool shared = s == g_lastState.load();
    if (shared && list.self == self && list.state == s && list.entries == entries && list.prefix == prefix)
        return list;
    list.self = self;
    list.state = s;
    list.entries = entries;
    list.prefix = prefix;
    list.names.clear();
    std::set<pid_t> listed;
    for (const std::string& entry : shmEntries()) {
        std::string tag;
        pid_t pid;
        if (entry.rfind(prefix, 0) != 0 || !parseName(entry, tag, pid) || pid == self)
            continue;
        list.names.emplace_back(entry, pid);
        listed.insert(pid);
    }
    std::stable_sort(list.names.begin(), list.names.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    for (auto it = mapped().begin(); it != mapped().end();) {
        const bool kept = std::any_of(list.names.begin(), list.names.end(), [&](const auto& n) { return n.first == it->first; });
        if (!kept) {
            munmap(it->second.address, it->second.bytes);
            it = mapped().erase(it);
        } else {
            ++it;
        }
    }
    // Processes no longer listed, or ended (their process id may come back), are looked for
    // afresh.
    const std::map<pid_t, bool> alive = livingOf(std::vector<pid_t>(listed.begin(), listed.end()));
    for (auto it = endWatches().begin(); it != endWatches().end();) {
        auto found = alive.find(it->first);
        if (found == alive.end() || !found->second) {
            stopWatching(it->second);
            it = endWatches().erase(it);
        } else {
            ++it;
        }
    }
    return list;
}

}

int64_t frontStamp()
{
    return state()->front.fetch_add(1) + 1;
}

int64_t backStamp()
{
    return state()->back.fetch_sub(1) - 1;
}

HWND foreground()
{
    return handleOf(state()->foreground.load());
}

void setForeground(HWND window)
{
    state()->foreground.store(value(window));
}

HWND capture()
{
    return handleOf(state()->capture.load());
}

void setCapture(HWND window)
{
    state()->capture.store(value(window));
}

void releaseCapture(HWND window)
{
    uint64_t expected = value(window);
    state()->capture.compare_exchange_strong(expected, 0);
}

HWND shellWindow()
{
    HWND shell = handleOf(state()->shell.load());
    return shell && processAlive(processOf(shell)) ? shell : nullptr;
}

void setShellWindow(HWND window)
{
    state()->shell.store(value(window));
}

uint64_t generation()
{
    return state()->generation.load();
}

pid_t processOf(HWND window)
{
    return static_cast<pid_t>(value(window) >> 24);
}

bool processAlive(pid_t pid)
{
    if (pid <= 0)
        return false;
    if (pid == getpid())
        return true;
    if (kill(pid, 0) != 0 && errno != EPERM)
        return false;
    // A process that ended but nobody waited for yet is gone for the device. (Asked for every
    // program at every step of a host: read without a stream.)
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    char line[512];
    const ssize_t n = read(fd, line, sizeof line);
    close(fd);
    if (n <= 0)
        return true;
    const std::string_view text(line, static_cast<size_t>(n));
    const size_t end = text.rfind(')');
    return end == std::string_view::npos || end + 2 >= text.size() || text[end + 2] != 'Z';
}

namespace {

// The generation's low half is the futex word: waiters in any process of the device sleep on it.
uint32_t* generationWord()
{
    static_assert(sizeof(std::atomic<uint64_t>) == 8 && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);
    return reinterpret_cast<uint32_t*>(&state()->generation);
}

void bumpGeneration()
{
    state()->generation.fetch_add(1);
    syscall(SYS_futex, generationWord(), FUTEX_WAKE, INT32_MAX, nullptr, nullptr, 0);
}

}

void waitForGeneration(uint64_t seen)
{
    syscall(SYS_futex, generationWord(), FUTEX_WAIT, static_cast<uint32_t>(seen), nullptr, nullptr, 0);
}

void markDirty()
{
    g_dirty = true;
}

void publish()
{
    if (!g_dirty)
        return;
    g_dirty = false;
    std::string tag = deviceTag();
    std::set<HWND> current;
    for (Window* w : topLevel()) {
        if (w->destroying)
            continue;
        current.insert(w->handle);
        Published& p = published()[w->handle];
        size_t pixels = static_cast<size_t>(std::max(w->width(), 0)) * std::max(w->height(), 0);
        if (!ensureCapacity(p, pictureName(tag, getpid(), w->handle), pixels))
            continue;
        write(p, w);
    }
    for (auto it = published().begin(); it != published().end();) {
        if (!current.count(it->first)) {
            if (unmap(it->second, true))
                entriesChanged();
            it = published().erase(it);
        } else {
            ++it;
        }
    }
    bumpGeneration();
}

void forget(HWND window)
{
    auto it = published().find(window);
    if (it == published().end())
        return;
    if (unmap(it->second, true))
        entriesChanged();
    published().erase(it);
    bumpGeneration();
}

std::vector<RemotePicture> remotePictures()
{
    std::vector<RemotePicture> out;
    Listing& list = listing();
    std::vector<pid_t> pids;
    for (const auto& [entry, pid] : list.names)
        if (pids.empty() || pids.back() != pid)
            pids.push_back(pid);
    const std::map<pid_t, bool> alive = livingOf(pids);
    for (const auto& [entry, pid] : list.names) {
        if (!alive.at(pid))
            continue;
        Mapped& m = mapped()[entry];
        auto* h = static_cast<const PictureHeader*>(m.address);
        // Mapped once; again only when its owner grew it past what is mapped here (or it was
        // not ready to be mapped when listed).
        if (!h || kHeaderSize + 2 * static_cast<size_t>(std::max(h->width, 0)) * std::max(h->height, 0) > m.bytes) {
            if (!mapPicture(entry, m))
                continue;
            h = static_cast<const PictureHeader*>(m.address);
        }
        bool got = false, busy = false;
        for (int attempt = 0; attempt < 4 && !got; ++attempt) {
            uint32_t before = h->sequence.load();
            busy = before & 1;
            if (busy) {
                usleep(200);
                continue;
            }
            RemotePicture r {};
            r.handle = handleOf(h->handle);
            r.rect = RECT { h->left, h->top, h->right, h->bottom };
            r.flags = h->flags;
            r.shellState = h->shellState;
            r.z = h->z;
            r.width = h->width;
            r.height = h->height;
            size_t need = static_cast<size_t>(std::max(r.width, 0)) * std::max(r.height, 0);
            if (h->magic != kPictureMagic || need * 2 + kHeaderSize > m.bytes)
                break;
            r.pixels = reinterpret_cast<const uint16_t*>(static_cast<const char*>(m.address) + kHeaderSize);
            busy = h->sequence.load() != before;
            if (busy)
                continue;
            out.push_back(r);
            m.last = r;
            m.known = true;
            got = true;
        }
        // An owner slow to finish its rewrite (a busy or a sanitized program) must not make its
        // window vanish meanwhile: from the screen, from the shell's view of what is in front,
        // from the stylus. Its last size and place stand, over pixels that may be half new.
        if (!got && busy && m.known) {
            RemotePicture r = m.last;
            size_t need = static_cast<size_t>(std::max(r.width, 0)) * std::max(r.height, 0);
            if (need * 2 + kHeaderSize <= m.bytes) {
                r.pixels = reinterpret_cast<const uint16_t*>(static_cast<const char*>(m.address) + kHeaderSize);
                out.push_back(r);
            }
        }
    }
    return out;
}

std::vector<pid_t> reapEnded()
{
    std::set<pid_t> ended;
    std::map<pid_t, bool> alive;
    bool removed = false;
    for (const std::string& entry : shmEntries()) {
        std::string tag;
        pid_t pid;
        if (!parseName(entry, tag, pid))
            continue;
        auto a = alive.find(pid);
        if (a == alive.end())
            a = alive.emplace(pid, processAlive(pid)).first;
        if (!a->second) {
            if (shm_unlink(("/" + entry).c_str()) == 0)
                removed = true;
            ended.insert(pid);
        }
    }
    if (removed)
        entriesChanged();
    std::string folder = sim::hostStateFolder() + "/windows";
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            std::string name = e->d_name;
            size_t dot = name.find('.');
            if (dot == std::string::npos || dot == 0)
                continue;
            pid_t pid = static_cast<pid_t>(std::atol(name.substr(0, dot).c_str()));
            auto a = alive.find(pid);
            if (a == alive.end() && pid > 0)
                a = alive.emplace(pid, processAlive(pid)).first;
            if (pid > 0 && !a->second) {
                unlink((folder + "/" + name).c_str());
                ended.insert(pid);
            }
        }
        closedir(dir);
    }
    if (!ended.empty())
        state()->generation.fetch_add(1);
    return { ended.begin(), ended.end() };
}

std::vector<std::string> pictureNames()
{
    std::vector<std::string> out;
    std::string prefix = "pocketsim-" + deviceTag() + "-";
    for (const std::string& entry : shmEntries())
        if (entry.rfind(prefix, 0) == 0)
            out.push_back(entry);
    return out;
}

}
