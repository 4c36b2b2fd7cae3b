#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "runtime/RegistryWatch.h"

#include <winbase.h>

#include <cstdlib>
#include <string>

namespace {

constexpr char16_t kSwitchKey[] = u"HKEY_CURRENT_USER\\Software\\Tarn";

class NullLog final : public LogBase {
public:
    LogBase& append(std::u16string_view) override { return *this; }
    LogBase& append(long long) override { return *this; }
    void flush() override { }
};

// Every piece goes to the file as soon as it is appended: a line whose "\n" never comes
// (the program crashed or hangs while composing it) is still in the file, and that is when
// it matters most. Pieces of lines that threads compose at the same time may interleave.
// The object outlives every file it writes: a thread may be composing a line on it while
// another thread's Log() switches the log off or on again.
class FileLog final : public LogBase {
public:
    FileLog() { InitializeCriticalSection(&m_lock); }
    FileLog(const FileLog&) = delete;
    FileLog& operator=(const FileLog&) = delete;

    // Starts the file afresh.
    void open(const std::u16string& path)
    {
        EnterCriticalSection(&m_lock);
        closeFile();
        m_file = CreateFile(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_file != INVALID_HANDLE_VALUE && GetFileSize(m_file, nullptr) == 0)
            write(u"\xFEFF");
        LeaveCriticalSection(&m_lock);
    }

    // Later appends are dropped until the next open.
    void close()
    {
        EnterCriticalSection(&m_lock);
        closeFile();
        LeaveCriticalSection(&m_lock);
    }

    LogBase& append(std::u16string_view text) override
    {
        EnterCriticalSection(&m_lock);
        write(text);
        LeaveCriticalSection(&m_lock);
        return *this;
    }

    LogBase& append(long long number) override
    {
        std::string digits = std::to_string(number);
        return append(std::u16string(digits.begin(), digits.end()));
    }

    // Nothing waits in memory; the file's own buffers belong to the system.
    void flush() override { }

private:
    void closeFile()
    {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }

    void write(std::u16string_view text)
    {
        if (m_file == INVALID_HANDLE_VALUE || text.empty())
            return;
        m_bytes.clear();
        m_bytes.reserve(text.size() * 2);
        for (char16_t c : text) {
            m_bytes.push_back(static_cast<char>(c & 0xFF));
            m_bytes.push_back(static_cast<char>(c >> 8));
        }
        DWORD written = 0;
        WriteFile(m_file, m_bytes.data(), static_cast<DWORD>(m_bytes.size()), &written, nullptr);
    }

    CRITICAL_SECTION m_lock;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    std::string m_bytes;
};

// Both kinds of log live as long as the process, so that a reference that Log() handed out
// stays usable whatever the switch does meanwhile.
struct LogState {
    LogState() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    NullLog null;
    FileLog file;
    LogBase* log = nullptr;
    DWORD madeFor = 0;
    // The switch is read again only after the registry changed: a line with the log off
    // costs next to nothing.
    RegistryWatch watch { kSwitchKey };
};

// Never destroyed with the process: a log line may be written while it shuts down. A library
// that carries this code frees it when it is unloaded (ReleaseLog).
LogState*& stateSlot()
{
    static LogState* s = new LogState();
    return s;
}

LogState& state()
{
    LogState*& s = stateSlot();
    if (!s)
        s = new LogState();
    return *s;
}

}

void ReleaseLog()
{
    LogState*& s = stateSlot();
    if (!s)
        return;
    s->file.close();
    DeleteCriticalSection(&s->lock);
    delete s;
    s = nullptr;
}

LogBase& Log()
{
    LogState& s = state();
    EnterCriticalSection(&s.lock);
    // Looked at before reading, so that a write during the read shows at the next line.
    const bool stale = s.watch.changed() || !s.log;
    DWORD enabled = s.madeFor;
    if (stale) {
        enabled = 0;
        RegReadNumber(kSwitchKey, u"Log", enabled);
    }
    if (!s.log || enabled != s.madeFor) {
        s.file.close();
        if (enabled) {
            s.file.open(u"/Temp/" + ExpandPath(u"%app_name%.txt"));
            s.log = &s.file;
        } else {
            s.log = &s.null;
        }
        s.madeFor = enabled;
    }
    LogBase& log = *s.log;
    LeaveCriticalSection(&s.lock);
    return log;
}

void Fatal(std::u16string_view message, std::u16string_view place)
{
    LogBase& log = Log();
    log.append(u"Snag: ").append(message).append(u" @ ").append(place).append(u"\n");
    log.flush();
    // Ends at once: other threads and static destructors must not run on after a snag.
    std::_Exit(1);
}
