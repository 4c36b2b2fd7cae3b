// Top-level windows of the other processes of the device. Every process lists its top-level
// windows in "<root>/.pocketsim/windows/<pid>.lst" and answers requests on the socket
// "<pid>.sock" beside it: messages sent or posted to its windows (WM_COPYDATA carries its data
// along) and foreground requests. A window handle carries its process id in the bits above 24.
// Connections are kept between requests, one request at a time on each, and each is served by
// a thread of its own for as long as it lasts.
#include "win_internal.h"
#include "win_remote.h"
#include "linux/files/device_fs.h"
#include "linux/files/host_io.h"
#include "linux/text/host_text.h"

#include <winbase.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <map>
#include <mutex>
#include <set>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <chrono>
#include <thread>
#include <unistd.h>

namespace wm {

namespace {

enum class Op : uint32_t { Send = 1, Post = 2, Foreground = 3, Input = 4, Deactivate = 5, Sync = 6, CaptureLost = 7, PostAll = 8 };

struct Request {
    uint32_t magic;
    Op op;
    uint64_t window;
    uint32_t message;
    uint64_t wParam;
    int64_t lParam;
    uint64_t copyTag; // WM_COPYDATA: dwData
    uint32_t dataSize; // WM_COPYDATA: bytes that follow
};
constexpr uint32_t kMagic = 0x4D4B5731;
constexpr uint32_t kMaxData = 1 << 20;

pid_t processOf(HWND window)
{
    return static_cast<pid_t>(reinterpret_cast<uintptr_t>(window) >> 24);
}

std::string windowsFolder()
{
    return sim::hostStateFolder() + "/windows";
}

// "<folder>/<pid><suffix>": a process's window list (".lst") or request socket (".sock").
std::string processFile(const std::string& folder, pid_t pid, const char* suffix)
{
    return folder + "/" + std::to_string(pid) + suffix;
}

std::string hex(std::u16string_view text)
{
    std::string out = sim::hexOf(sim::toUtf8(text));
    return out.empty() ? "-" : out;
}

std::u16string unhex(const std::string& s)
{
    if (s == "-")
        return {};
    std::string bytes;
    for (size_t i = 0; i + 1 < s.size(); i += 2)
        bytes += static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16));
    return sim::toUtf16(bytes);
}

bool readAll(int fd, void* buffer, size_t size)
{
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    return sim::transfer(size, done, [&](size_t at, size_t count) { return read(fd, p + at, count); }) > 0;
}

bool writeAll(int fd, const void* buffer, size_t size)
{
    auto* p = static_cast<const char*>(buffer);
    size_t done = 0;
    return sim::transfer(size, done, [&](size_t at, size_t count) { return send(fd, p + at, count, MSG_NOSIGNAL); }) > 0;
}

bool socketAddress(const std::string& path, sockaddr_un& address)
{
    address = sockaddr_un {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// ---- serving requests ---------------------------------------------------------

std::mutex g_serverLock;
int g_listenFd = -1;
std::string g_listenPath;
bool g_serverStarted = false;
pid_t g_serverPid = 0;

// One request read from fd, carried out and answered; false when the connection is done with
// (the asker closed it or went, or it does not speak this protocol).
bool serveOne(int fd)
{
    Request r {};
    std::vector<char> data;
    LRESULT result = 0;
    if (!readAll(fd, &r, sizeof r) || r.magic != kMagic || r.dataSize > kMaxData)
        return false;
    data.resize(r.dataSize);
    if (!readAll(fd, data.data(), data.size()))
        return false;
    auto window = reinterpret_cast<HWND>(static_cast<uintptr_t>(r.window));
    switch (r.op) {
    case Op::Send:
        if (r.message == WM_COPYDATA) {
            COPYDATASTRUCT cds { static_cast<ULONG_PTR>(r.copyTag), r.dataSize, data.empty() ? nullptr : data.data() };
            result = SendMessage(window, WM_COPYDATA, static_cast<WPARAM>(r.wParam), reinterpret_cast<LPARAM>(&cds));
        } else {
            result = SendMessage(window, r.message, static_cast<WPARAM>(r.wParam), static_cast<LPARAM>(r.lParam));
        }
        break;
    case Op::Post: {
        // Queued before it is answered: once the poster goes on (and, say, waits for the
        // device to be at rest) the message must be here to be seen. The window lock,
        // held until the answer is out, keeps a message that ends this program (a
        // WM_CLOSE destroys its window first) from doing so before the poster heard.
        Guard g(lock());
        const bool known = find(window) != nullptr;
        if (known)
            PostMessage(window, r.message, static_cast<WPARAM>(r.wParam), static_cast<LPARAM>(r.lParam));
        int64_t answer = known;
        return writeAll(fd, &answer, sizeof answer);
    }
    case Op::PostAll: {
        // Every top-level window of this process, as one post each would (see Op::Post).
        Guard g(lock());
        std::vector<HWND> windows;
        for (Window* w : topLevel())
            windows.push_back(w->handle);
        for (HWND h : windows)
            PostMessage(h, r.message, static_cast<WPARAM>(r.wParam), static_cast<LPARAM>(r.lParam));
        int64_t answer = static_cast<int64_t>(windows.size());
        return writeAll(fd, &answer, sizeof answer);
    }
    case Op::Foreground:
    case Op::Input:
    case Op::Deactivate:
    case Op::CaptureLost: {
        // Queued for the window's own thread and answered at once: the asking process
        // may be the one that thread is about to talk to.
        UINT internal = r.op == Op::Foreground ? kInternalForeground
            : r.op == Op::Deactivate            ? kInternalDeactivate
            : r.op == Op::CaptureLost           ? kInternalCaptureLost
            : (r.message == WM_LBUTTONDOWN || r.message == WM_MOUSEMOVE || r.message == WM_LBUTTONUP)
            ? kInternalStylus
            : kInternalKey;
        WPARAM wParam = static_cast<WPARAM>(r.wParam);
        LPARAM lParam = static_cast<LPARAM>(r.lParam);
        if (internal == kInternalForeground)
            wParam = static_cast<WPARAM>(r.window);
        if (internal == kInternalStylus)
            lParam = MAKELPARAM(static_cast<SHORT>(r.wParam), static_cast<SHORT>(r.lParam)), wParam = r.message;
        if (internal == kInternalKey)
            wParam = r.message, lParam = static_cast<LPARAM>(r.wParam) | (r.message == WM_CHAR ? 0 : (static_cast<LPARAM>(r.lParam) & ~LPARAM(0xFF)));
        result = postInternal(window, internal, wParam, lParam);
        break;
    }
    case Op::Sync:
        result = waitIdle(window, static_cast<int>(r.wParam));
        break;
    }
    int64_t answer = result;
    return writeAll(fd, &answer, sizeof answer);
}

// A connection's requests, one after another, until its asker closes it.
void serveConnection(int fd)
{
    while (serveOne(fd)) {
    }
    close(fd);
}

void serverLoop()
{
    for (;;) {
        int listenFd;
        {
            std::lock_guard<std::mutex> g(g_serverLock);
            listenFd = g_listenFd;
        }
        if (listenFd < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        pollfd p { listenFd, POLLIN, 0 };
        if (poll(&p, 1, 200) <= 0)
            continue;
        int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // Each connection on its own thread: a send waits for the window's thread to take it,
        // and another thread of the asker asks meanwhile on a connection of its own.
        std::thread(serveConnection, fd).detach();
    }
}

// Listens in the current device root (again after the root changed).
void ensureServer(const std::string& folder)
{
    std::string path = processFile(folder, getpid(), ".sock");
    std::lock_guard<std::mutex> g(g_serverLock);
    if (g_serverPid != getpid()) {
        // A forked child: the listening socket and its thread are the parent's.
        if (g_listenFd >= 0)
            close(g_listenFd);
        g_listenFd = -1;
        g_listenPath.clear();
        g_serverStarted = false;
        g_serverPid = getpid();
    }
    if (path == g_listenPath && g_listenFd >= 0)
        return;
    if (g_listenFd >= 0) {
        close(g_listenFd);
        unlink(g_listenPath.c_str());
        g_listenFd = -1;
    }
    sockaddr_un address;
    if (!socketAddress(path, address))
        return;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    unlink(path.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
        close(fd);
        return;
    }
    g_listenFd = fd;
    g_listenPath = path;
    if (!g_serverStarted) {
        g_serverStarted = true;
        std::thread(serverLoop).detach();
    }
}

// ---- asking other processes ---------------------------------------------------

bool alive(pid_t pid)
{
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

Request requestFor(Op op, HWND window, UINT message = 0, WPARAM wParam = 0, LPARAM lParam = 0)
{
    Request r {};
    r.magic = kMagic;
    r.op = op;
    r.window = reinterpret_cast<uintptr_t>(window);
    r.message = message;
    r.wParam = wParam;
    r.lParam = lParam;
    return r;
}

// The programs given something since this one last waited for them, and those it ever waited
// for (see takeSyncMark). Kept for the life of the process: windows of static objects go, and
// may tell other programs so, after static destructors.
struct SyncMarks {
    std::mutex lock;
    std::set<pid_t> given;
    std::set<pid_t> waitedFor;
};
SyncMarks& syncMarks()
{
    static SyncMarks* marks = new SyncMarks;
    return *marks;
}

// Connections to the request sockets of other processes, kept between requests: a connection
// made for each costs the other side a connection accepted and a thread started, a round trip
// that a busy device pays many times a step. A connection is used by one request at a time; a
// thread that asks while another waits on the same process takes one more.
struct Connection {
    pid_t pid;
    int fd;
};
struct Connections {
    std::mutex lock;
    pid_t owner = 0; // a forked child starts without: the descriptors are its parent's talks
    std::multimap<std::string, Connection> idle; // by socket path
};
constexpr size_t kIdlePerProcess = 4;

Connections& connections()
{
    static Connections* kept = new Connections; // used by windows that go after static destructors
    return *kept;
}

// Under the connections' lock.
void adoptConnections(Connections& c)
{
    if (c.owner == getpid())
        return;
    for (auto& entry : c.idle)
        close(entry.second.fd);
    c.idle.clear();
    c.owner = getpid();
}

// Under the connections' lock: those kept for processes that have ended since go.
void pruneConnections(Connections& c)
{
    std::erase_if(c.idle, [](const auto& entry) {
        if (alive(entry.second.pid))
            return false;
        close(entry.second.fd);
        return true;
    });
}

// A connection to the socket at path: a kept one (reused) or a new one; -1 when none is had.
int takeConnection(const std::string& path, const sockaddr_un& address, bool& reused)
{
    Connections& c = connections();
    {
        std::lock_guard<std::mutex> g(c.lock);
        adoptConnections(c);
        if (auto it = c.idle.find(path); it != c.idle.end()) {
            int fd = it->second.fd;
            c.idle.erase(it);
            reused = true;
            return fd;
        }
        // A process talked to for the first time: a good moment to let go of ended ones.
        pruneConnections(c);
    }
    reused = false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void keepConnection(const std::string& path, pid_t pid, int fd)
{
    Connections& c = connections();
    std::lock_guard<std::mutex> g(c.lock);
    adoptConnections(c);
    if (c.idle.count(path) >= kIdlePerProcess) {
        close(fd);
        return;
    }
    c.idle.emplace(path, Connection { pid, fd });
}

// The process behind path has ended: its connections go.
void dropConnections(const std::string& path)
{
    Connections& c = connections();
    std::lock_guard<std::mutex> g(c.lock);
    adoptConnections(c);
    auto [from, to] = c.idle.equal_range(path);
    for (auto it = from; it != to; ++it)
        close(it->second.fd);
    c.idle.erase(from, to);
}

// One request and its answer on fd. While the other process works on it, this thread answers
// what is sent to it: the other side may need one of its windows meanwhile.
bool exchange(int fd, pid_t pid, const Request& r, const void* data, int64_t& answer)
{
    bool ok = writeAll(fd, &r, sizeof r) && (r.dataSize == 0 || writeAll(fd, data, r.dataSize));
    while (ok) {
        pollfd p { fd, POLLIN, 0 };
        int ready = poll(&p, 1, 20);
        if (ready > 0)
            return readAll(fd, &answer, sizeof answer);
        if (ready < 0 && errno != EINTR)
            return false;
        // A process that ended may leave its end of the connection open in a child it forked.
        if (!alive(pid))
            return false;
        answerSentMessages();
    }
    return false;
}

bool request(const Request& r, const void* data, int64_t& answer)
{
    pid_t pid = processOf(reinterpret_cast<HWND>(static_cast<uintptr_t>(r.window)));
    const std::string path = processFile(windowsFolder(), pid, ".sock");
    sockaddr_un address;
    if (!socketAddress(path, address))
        return false;
    if (!alive(pid)) {
        dropConnections(path);
        return false;
    }
    if (r.op != Op::Sync) {
        SyncMarks& marks = syncMarks();
        std::lock_guard<std::mutex> g(marks.lock);
        marks.given.insert(pid);
    }
    for (;;) {
        bool reused = false;
        int fd = takeConnection(path, address, reused);
        if (fd < 0)
            return false;
        if (exchange(fd, pid, r, data, answer)) {
            keepConnection(path, pid, fd);
            return true;
        }
        close(fd);
        // A kept connection that the other side closed since it was last used (the process
        // ended, or became another program) carried nothing: the other side closes one only
        // between requests. Asked again on a new connection while the process lives.
        if (!reused || !alive(pid)) {
            if (!alive(pid))
                dropConnections(path);
            return false;
        }
    }
}

}

void publishTopLevel()
{
    std::string folder = windowsFolder();
    mkdir(folder.c_str(), 0777);
    std::ostringstream list;
    for (Window* w : topLevel())
        list << std::hex << reinterpret_cast<uintptr_t>(w->handle) << std::dec << ' ' << hex(w->cls->name) << ' ' << hex(w->title) << '\n';
    std::string path = processFile(folder, getpid(), ".lst");
    // Most changes of the windows (shown, hidden, moved in front) leave the list as it was, and
    // other programs read it for every message they send: written only when it changes.
    // (Kept for the life of the process: windows of static objects go after static destructors.)
    static std::string& written = *new std::string;
    static std::string& writtenPath = *new std::string;
    struct stat st {};
    if ((list.str() != written || path != writtenPath || stat(path.c_str(), &st) != 0)
        && sim::writeSharedFile(path, list.str())) {
        written = list.str();
        writtenPath = path;
    }
    if (!topLevel().empty())
        ensureServer(folder);
}

bool isRemote(HWND window)
{
    pid_t pid = processOf(window);
    return window && pid != getpid() && pid > 0;
}

std::vector<RemoteWindow> remoteWindows()
{
    std::vector<RemoteWindow> out;
    std::string folder = windowsFolder();
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return out;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name.size() < 5 || name.substr(name.size() - 4) != ".lst")
            continue;
        pid_t pid = static_cast<pid_t>(std::atol(name.c_str()));
        if (pid == getpid())
            continue;
        if (!alive(pid)) {
            unlink((folder + "/" + name).c_str());
            unlink(processFile(folder, pid, ".sock").c_str());
            continue;
        }
        std::istringstream in(sim::readSharedFile(folder + "/" + name).value_or(std::string()));
        std::string handle, cls, title;
        while (in >> handle >> cls >> title) {
            RemoteWindow w;
            w.handle = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(handle, nullptr, 16)));
            w.className = unhex(cls);
            w.title = unhex(title);
            out.push_back(std::move(w));
        }
    }
    closedir(dir);
    return out;
}

bool remoteWindow(HWND window, RemoteWindow& out)
{
    if (!isRemote(window))
        return false;
    for (RemoteWindow& w : remoteWindows())
        if (w.handle == window) {
            out = std::move(w);
            return true;
        }
    return false;
}

LRESULT remoteSend(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Request r = requestFor(Op::Send, window, message, wParam, lParam);
    const void* data = nullptr;
    if (message == WM_COPYDATA && lParam) {
        auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (cds->cbData > kMaxData)
            return 0;
        r.copyTag = cds->dwData;
        r.dataSize = cds->cbData;
        data = cds->lpData;
        r.lParam = 0;
    }
    int64_t answer = 0;
    if (!request(r, data, answer)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return static_cast<LRESULT>(answer);
}

bool remotePost(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    int64_t answer = 0;
    return request(requestFor(Op::Post, window, message, wParam, lParam), nullptr, answer) && answer;
}

void remotePostAll(UINT message, WPARAM wParam, LPARAM lParam)
{
    // One request for each other process, not one for each of its windows: a broadcast goes
    // out at every change of the panel.
    std::set<pid_t> asked;
    for (const RemoteWindow& w : remoteWindows()) {
        if (!asked.insert(processOf(w.handle)).second)
            continue;
        int64_t answer = 0;
        request(requestFor(Op::PostAll, w.handle, message, wParam, lParam), nullptr, answer);
    }
}

bool remoteForeground(HWND window)
{
    int64_t answer = 0;
    return request(requestFor(Op::Foreground, window), nullptr, answer) && answer;
}

bool remoteInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Input must not stray to another program: a request that did not get through is tried
    // again while its process lives.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int64_t answer = 0;
        if (request(requestFor(Op::Input, window, message, wParam, lParam), nullptr, answer))
            return answer != 0;
        if (!alive(processOf(window)))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

void remoteDeactivate(HWND old, HWND next)
{
    int64_t answer = 0;
    request(requestFor(Op::Deactivate, old, 0, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(next)), nullptr, answer);
}

void remoteCaptureLost(HWND old, HWND next)
{
    int64_t answer = 0;
    request(requestFor(Op::CaptureLost, old, 0, reinterpret_cast<WPARAM>(old), reinterpret_cast<LPARAM>(next)), nullptr, answer);
}

bool takeSyncMark(pid_t pid)
{
    SyncMarks& marks = syncMarks();
    std::lock_guard<std::mutex> g(marks.lock);
    const bool given = marks.given.erase(pid) > 0;
    const bool fresh = marks.waitedFor.insert(pid).second;
    return given || fresh;
}

void syncMarkBack(pid_t pid)
{
    SyncMarks& marks = syncMarks();
    std::lock_guard<std::mutex> g(marks.lock);
    marks.given.insert(pid);
}

void forgetSyncMarks(const std::vector<pid_t>& running)
{
    SyncMarks& marks = syncMarks();
    std::lock_guard<std::mutex> g(marks.lock);
    auto gone = [&](pid_t pid) { return std::find(running.begin(), running.end(), pid) == running.end(); };
    std::erase_if(marks.given, gone);
    std::erase_if(marks.waitedFor, gone);
}

std::vector<pid_t> givenProcesses()
{
    SyncMarks& marks = syncMarks();
    std::lock_guard<std::mutex> g(marks.lock);
    return std::vector<pid_t>(marks.given.begin(), marks.given.end());
}

bool remoteSyncProcess(pid_t pid, int milliseconds)
{
    // A handle of the process that names no window of it.
    return remoteSync(reinterpret_cast<HWND>(static_cast<uintptr_t>(pid) << 24), milliseconds);
}

bool remoteSync(HWND window, int milliseconds)
{
    int64_t answer = 0;
    return request(requestFor(Op::Sync, window, 0, static_cast<WPARAM>(milliseconds)), nullptr, answer) && answer;
}

}
