// The registry hive of a device root: one SQLite database in write-ahead-log mode, so that
// every process of the device reads and writes it at the same time. Keys form a tree of rows;
// names are kept as written and looked up by their case-folded form.
#include "linux/files/device_fs.h"
#include "linux/text/host_text.h"

#include <winbase.h>
#include <winreg.h>

#include <sqlite3.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

constexpr size_t kMaxKeyName = 255;
constexpr int64_t kNoKey = 0;

std::recursive_mutex g_mutex;
sqlite3* g_db = nullptr;
pid_t g_dbPid = 0;

struct OpenKey {
    int64_t id;
};
std::unordered_set<OpenKey*> g_openKeys;

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (db)
            m_status = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_stmt && m_status == SQLITE_OK; }
    Statement& bind(int i, int64_t v)
    {
        if (ok())
            sqlite3_bind_int64(m_stmt, i, v);
        return *this;
    }
    Statement& bind(int i, const std::string& text)
    {
        if (ok())
            sqlite3_bind_text(m_stmt, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bindBlob(int i, const void* data, size_t size)
    {
        if (ok())
            sqlite3_bind_blob(m_stmt, i, size ? data : "", static_cast<int>(size), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return ok() ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    int64_t integer(int column) { return sqlite3_column_int64(m_stmt, column); }
    std::string text(int column)
    {
        auto p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return p ? std::string(p, sqlite3_column_bytes(m_stmt, column)) : std::string();
    }
    std::vector<BYTE> blob(int column)
    {
        auto p = static_cast<const BYTE*>(sqlite3_column_blob(m_stmt, column));
        return p ? std::vector<BYTE>(p, p + sqlite3_column_bytes(m_stmt, column)) : std::vector<BYTE>();
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
    int m_status = SQLITE_ERROR;
};

bool exec(sqlite3* db, const char* sql)
{
    // The busy timeout covers locks held by other processes; a few retries cover the
    // moments where SQLite reports busy without waiting (WAL recovery, mode switch).
    for (int attempt = 0; attempt < 50; ++attempt) {
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            return true;
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            return false;
        usleep(20000);
    }
    return false;
}

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
    " name TEXT NOT NULL, folded TEXT NOT NULL, UNIQUE(parent, folded));"
    "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name TEXT NOT NULL, folded TEXT NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, folded)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys VALUES(1, 0, 'HKEY_CLASSES_ROOT', 'hkey_classes_root');"
    "INSERT OR IGNORE INTO keys VALUES(2, 0, 'HKEY_CURRENT_USER', 'hkey_current_user');"
    "INSERT OR IGNORE INTO keys VALUES(3, 0, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');"
    "INSERT OR IGNORE INTO keys VALUES(4, 0, 'HKEY_USERS', 'hkey_users');";

// Called with g_mutex held.
sqlite3* hive()
{
    if (g_db && g_dbPid == getpid())
        return g_db;
    // A connection inherited through fork belongs to the parent: leave it alone.
    g_db = nullptr;
    std::string path = sim::hostStateFolder() + "/registry.db";
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr)
        != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 60000);
    bool ready = exec(db, "PRAGMA journal_mode=WAL") && exec(db, "PRAGMA synchronous=NORMAL");
    if (ready) {
        // Skip the write lock when another process already made the tables.
        Statement probe(db, "SELECT count(*) FROM sqlite_master WHERE name = 'vals'");
        bool made = probe.step() == SQLITE_ROW && probe.integer(0) == 1;
        if (!made)
            ready = exec(db, "BEGIN IMMEDIATE") && exec(db, kSchema) && exec(db, "COMMIT");
    }
    if (!ready) {
        sqlite3_close(db);
        return nullptr;
    }
    g_db = db;
    g_dbPid = getpid();
    return g_db;
}

class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db)
        : m_db(db)
        , m_open(db && exec(db, "BEGIN IMMEDIATE"))
    {
    }
    ~WriteTransaction()
    {
        if (m_open)
            exec(m_db, "ROLLBACK");
    }
    bool open() const { return m_open; }
    bool commit()
    {
        m_open = false;
        if (exec(m_db, "COMMIT"))
            return true;
        exec(m_db, "ROLLBACK");
        return false;
    }

private:
    sqlite3* m_db;
    bool m_open;
};

// HKEY_CLASSES_ROOT to HKEY_USERS: rows 1 to 4, never opened nor closed.
bool isRootKey(HKEY key)
{
    auto raw = reinterpret_cast<uintptr_t>(key);
    return raw >= 0x80000000u && raw <= 0x80000003u;
}

int64_t keyIdOf(HKEY key)
{
    if (isRootKey(key))
        return static_cast<int64_t>(reinterpret_cast<uintptr_t>(key) - 0x80000000u) + 1;
    auto open = reinterpret_cast<OpenKey*>(key);
    return g_openKeys.count(open) ? open->id : kNoKey;
}

bool keyExists(sqlite3* db, int64_t id)
{
    Statement q(db, "SELECT 1 FROM keys WHERE id = ?");
    return q.bind(1, id).step() == SQLITE_ROW;
}

bool splitSubKey(LPCWSTR subKey, std::vector<std::u16string>& parts)
{
    std::u16string_view path = sim::viewOf(subKey);
    size_t i = 0;
    while (i <= path.size()) {
        size_t end = path.find(u'\\', i);
        if (end == std::u16string_view::npos)
            end = path.size();
        if (end > i) {
            if (end - i > kMaxKeyName)
                return false;
            parts.emplace_back(path.substr(i, end - i));
        }
        i = end + 1;
    }
    return true;
}

// The key a call starts from and the names of the path below it.
LONG resolvePath(HKEY key, LPCWSTR subKey, int64_t& base, std::vector<std::u16string>& parts)
{
    base = keyIdOf(key);
    if (base == kNoKey)
        return ERROR_INVALID_HANDLE;
    return splitSubKey(subKey, parts) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

// What a one-row query of key id answered: its row, `none` when there is none in a key that
// still exists, or why not.
LONG rowStatus(sqlite3* db, int64_t id, int rc, LONG none)
{
    if (rc == SQLITE_ROW)
        return ERROR_SUCCESS;
    if (rc == SQLITE_DONE)
        return keyExists(db, id) ? none : ERROR_KEY_DELETED;
    return ERROR_BADDB;
}

enum class Lookup { Found, Missing, Failed };

// A walk that has to reach the end of its path.
LONG statusOf(Lookup found)
{
    switch (found) {
    case Lookup::Failed:
        return ERROR_BADDB;
    case Lookup::Missing:
        return ERROR_FILE_NOT_FOUND;
    case Lookup::Found:
        break;
    }
    return ERROR_SUCCESS;
}

Lookup childOf(sqlite3* db, int64_t parent, const std::u16string& name, int64_t& child)
{
    Statement q(db, "SELECT id FROM keys WHERE parent = ? AND folded = ?");
    int rc = q.bind(1, parent).bind(2, sim::toUtf8(sim::foldCase(name))).step();
    if (rc == SQLITE_ROW) {
        child = q.integer(0);
        return Lookup::Found;
    }
    return rc == SQLITE_DONE ? Lookup::Missing : Lookup::Failed;
}

Lookup walk(sqlite3* db, int64_t id, const std::vector<std::u16string>& parts, size_t& reached, int64_t& at)
{
    at = id;
    for (reached = 0; reached < parts.size(); ++reached) {
        int64_t child = 0;
        Lookup found = childOf(db, at, parts[reached], child);
        if (found != Lookup::Found)
            return found;
        at = child;
    }
    return Lookup::Found;
}

HKEY newHandle(int64_t id)
{
    auto open = new OpenKey { id };
    g_openKeys.insert(open);
    return reinterpret_cast<HKEY>(open);
}

LONG copyData(const std::vector<BYTE>& data, LPBYTE out, LPDWORD outSize)
{
    if (out) {
        if (!outSize)
            return ERROR_INVALID_PARAMETER;
        if (*outSize < data.size()) {
            *outSize = static_cast<DWORD>(data.size());
            return ERROR_MORE_DATA;
        }
        if (!data.empty())
            std::memcpy(out, data.data(), data.size());
    }
    if (outSize)
        *outSize = static_cast<DWORD>(data.size());
    return ERROR_SUCCESS;
}

LONG copyName(const std::string& utf8, LPWSTR out, LPDWORD outSize)
{
    if (!out || !outSize)
        return ERROR_INVALID_PARAMETER;
    std::u16string name = sim::toUtf16(utf8);
    if (*outSize < name.size() + 1) {
        *outSize = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    sim::copyWide(name, out, *outSize);
    *outSize = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

}

namespace sim {

void closeHive()
{
    std::lock_guard lock(g_mutex);
    if (g_db && g_dbPid == getpid())
        sqlite3_close_v2(g_db);
    g_db = nullptr;
}

}

LONG RegCreateKeyEx(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
    PHKEY result, LPDWORD disposition)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    int64_t base = kNoKey;
    std::vector<std::u16string> parts;
    if (LONG status = resolvePath(key, subKey, base, parts); status != ERROR_SUCCESS)
        return status;
    sqlite3* db = hive();
    if (!db)
        return ERROR_BADDB;

    // Most calls open a key that exists: find it without taking the hive's write lock.
    size_t reached = 0;
    int64_t at = 0;
    Lookup found = walk(db, base, parts, reached, at);
    if (found == Lookup::Failed)
        return ERROR_BADDB;
    if (found == Lookup::Found && (reached > 0 || keyExists(db, base))) {
        *result = newHandle(at);
        if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }

    WriteTransaction tx(db);
    if (!tx.open())
        return ERROR_BADDB;
    if (!keyExists(db, base))
        return ERROR_KEY_DELETED;
    found = walk(db, base, parts, reached, at);
    if (found == Lookup::Failed)
        return ERROR_BADDB;
    bool created = false;
    for (; reached < parts.size(); ++reached) {
        Statement insert(db, "INSERT INTO keys(parent, name, folded) VALUES(?, ?, ?)");
        insert.bind(1, at).bind(2, sim::toUtf8(parts[reached])).bind(3, sim::toUtf8(sim::foldCase(parts[reached])));
        if (insert.step() != SQLITE_DONE)
            return ERROR_BADDB;
        at = sqlite3_last_insert_rowid(db);
        created = true;
    }
    if (!tx.commit())
        return ERROR_BADDB;
    *result = newHandle(at);
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyEx(HKEY key, LPCWSTR subKey, DWORD, REGSAM, PHKEY result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    int64_t base = kNoKey;
    std::vector<std::u16string> parts;
    if (LONG status = resolvePath(key, subKey, base, parts); status != ERROR_SUCCESS)
        return status;
    sqlite3* db = hive();
    if (!db)
        return ERROR_BADDB;
    size_t reached = 0;
    int64_t at = 0;
    if (LONG status = statusOf(walk(db, base, parts, reached, at)); status != ERROR_SUCCESS)
        return status;
    if (parts.empty() && !keyExists(db, base))
        return ERROR_KEY_DELETED;
    *result = newHandle(at);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    if (isRootKey(key))
        return ERROR_SUCCESS;
    std::lock_guard lock(g_mutex);
    auto open = reinterpret_cast<OpenKey*>(key);
    if (!g_openKeys.erase(open))
        return ERROR_INVALID_HANDLE;
    delete open;
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    std::lock_guard lock(g_mutex);
    int64_t id = keyIdOf(key);
    if (id == kNoKey)
        return ERROR_INVALID_HANDLE;
    sqlite3* db = hive();
    if (!db)
        return ERROR_BADDB;
    Statement q(db, "SELECT type, data FROM vals WHERE key = ? AND folded = ?");
    int rc = q.bind(1, id).bind(2, sim::toUtf8(sim::foldCase(sim::viewOf(valueName)))).step();
    if (LONG status = rowStatus(db, id, rc, ERROR_FILE_NOT_FOUND); status != ERROR_SUCCESS)
        return status;
    if (type)
        *type = static_cast<DWORD>(q.integer(0));
    return copyData(q.blob(1), data, dataSize);
}

LONG RegSetValueEx(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize)
{
    if (!data && dataSize)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(g_mutex);
    int64_t id = keyIdOf(key);
    if (id == kNoKey)
        return ERROR_INVALID_HANDLE;
    sqlite3* db = hive();
    WriteTransaction tx(db);
    if (!tx.open())
        return ERROR_BADDB;
    if (!keyExists(db, id))
        return ERROR_KEY_DELETED;
    std::u16string_view name = sim::viewOf(valueName);
    Statement set(db,
        "INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, ?, ?, ?)"
        " ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
    set.bind(1, id).bind(2, sim::toUtf8(name)).bind(3, sim::toUtf8(sim::foldCase(name))).bind(4, type);
    set.bindBlob(5, data, dataSize);
    if (set.step() != SQLITE_DONE)
        return ERROR_BADDB;
    return tx.commit() ? ERROR_SUCCESS : ERROR_BADDB;
}

LONG RegDeleteValue(HKEY key, LPCWSTR valueName)
{
    std::lock_guard lock(g_mutex);
    int64_t id = keyIdOf(key);
    if (id == kNoKey)
        return ERROR_INVALID_HANDLE;
    sqlite3* db = hive();
    if (!db)
        return ERROR_BADDB;
    Statement del(db, "DELETE FROM vals WHERE key = ? AND folded = ?");
    if (del.bind(1, id).bind(2, sim::toUtf8(sim::foldCase(sim::viewOf(valueName)))).step() != SQLITE_DONE)
        return ERROR_BADDB;
    return sqlite3_changes(db) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegDeleteKey(HKEY key, LPCWSTR subKey)
{
    std::lock_guard lock(g_mutex);
    int64_t base = kNoKey;
    std::vector<std::u16string> parts;
    if (LONG status = resolvePath(key, subKey, base, parts); status != ERROR_SUCCESS)
        return status;
    if (parts.empty())
        return ERROR_INVALID_PARAMETER; // a key never deletes itself, nor a root
    sqlite3* db = hive();
    WriteTransaction tx(db);
    if (!tx.open())
        return ERROR_BADDB;
    size_t reached = 0;
    int64_t at = 0;
    if (LONG status = statusOf(walk(db, base, parts, reached, at)); status != ERROR_SUCCESS)
        return status;
    const char* tree = "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL"
                       " SELECT keys.id FROM keys JOIN sub ON keys.parent = sub.id) ";
    Statement values(db, (std::string(tree) + "DELETE FROM vals WHERE key IN (SELECT id FROM sub)").c_str());
    Statement keys(db, (std::string(tree) + "DELETE FROM keys WHERE id IN (SELECT id FROM sub)").c_str());
    if (values.bind(1, at).step() != SQLITE_DONE || keys.bind(1, at).step() != SQLITE_DONE)
        return ERROR_BADDB;
    return tx.commit() ? ERROR_SUCCESS : ERROR_BADDB;
}

LONG RegEnumKeyEx(HKEY key, DWORD index, LPWSTR name, LPDWORD nameSize, LPDWORD, LPWSTR keyClass,
    LPDWORD keyClassSize, PFILETIME lastWriteTime)
{
    std::lock_guard lock(g_mutex);
    int64_t id = keyIdOf(key);
    if (id == kNoKey)
        return ERROR_INVALID_HANDLE;
    sqlite3* db = hive();
    if (!db)
        return ERROR_BADDB;
    Statement q(db, "SELECT name FROM keys WHERE parent = ? ORDER BY folded LIMIT 1 OFFSET ?");
    int rc = q.bind(1, id).bind(2, index).step();
    if (LONG status = rowStatus(db, id, rc, ERROR_NO_MORE_ITEMS); status != ERROR_SUCCESS)
        return status;
    if (keyClass && keyClassSize && *keyClassSize)
        keyClass[0] = 0;
    if (keyClassSize)
        *keyClassSize = 0;
    if (lastWriteTime)
        *lastWriteTime = FILETIME { 0, 0 };
    return copyName(q.text(0), name, nameSize);
}

LONG RegEnumValue(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameSize, LPDWORD, LPDWORD type,
    LPBYTE data, LPDWORD dataSize)
{
    std::lock_guard lock(g_mutex);
    int64_t id = keyIdOf(key);
    if (id == kNoKey)
        return ERROR_INVALID_HANDLE;
    sqlite3* db = hive();
    if (!db)
        return ERROR_BADDB;
    Statement q(db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY folded LIMIT 1 OFFSET ?");
    int rc = q.bind(1, id).bind(2, index).step();
    if (LONG status = rowStatus(db, id, rc, ERROR_NO_MORE_ITEMS); status != ERROR_SUCCESS)
        return status;
    LONG status = copyName(q.text(0), valueName, valueNameSize);
    if (status != ERROR_SUCCESS)
        return status;
    if (type)
        *type = static_cast<DWORD>(q.integer(1));
    return copyData(q.blob(2), data, dataSize);
}
