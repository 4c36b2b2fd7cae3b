#include "runtime/Registry.h"

#include <winreg.h>

#include <vector>

namespace {

struct KeyPath {
    HKEY root = nullptr;
    std::u16string subKey;
};

bool splitKeyPath(std::u16string_view path, KeyPath& out)
{
    struct Root {
        std::u16string_view name;
        HKEY key;
    };
    const Root roots[] = {
        { u"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT },
        { u"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE },
        { u"HKEY_USERS", HKEY_USERS },
        { u"HKEY_CURRENT_USER", HKEY_CURRENT_USER },
    };
    for (const Root& root : roots) {
        if (!path.starts_with(root.name))
            continue;
        std::u16string_view rest = path.substr(root.name.size());
        // The root name must end there: "HKEY_USERSX" names no root.
        if (!rest.empty() && rest[0] != u'\\')
            return false;
        out.root = root.key;
        out.subKey = rest.empty() ? std::u16string() : std::u16string(rest.substr(1));
        return true;
    }
    return false;
}

class OpenedKey {
public:
    OpenedKey(std::u16string_view path, REGSAM access)
    {
        KeyPath split;
        if (splitKeyPath(path, split)) {
            DWORD disposition = 0;
            if (RegCreateKeyEx(split.root, split.subKey.c_str(), 0, nullptr, 0, access, nullptr, &m_key, &disposition) != ERROR_SUCCESS)
                m_key = nullptr;
        }
    }
    ~OpenedKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    explicit operator bool() const { return m_key != nullptr; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

}

bool RegReadNumber(std::u16string_view keyPath, std::u16string_view valueName, DWORD& out)
{
    OpenedKey key(keyPath, KEY_READ);
    if (!key)
        return false;
    std::u16string name(valueName);
    DWORD type = 0, size = 0;
    if (RegQueryValueEx(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != sizeof(DWORD))
        return false;
    DWORD value = 0;
    size = sizeof value;
    if (RegQueryValueEx(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS
        || type != REG_DWORD || size != sizeof value)
        return false;
    out = value;
    return true;
}

bool RegWriteNumber(std::u16string_view keyPath, std::u16string_view valueName, DWORD number)
{
    OpenedKey key(keyPath, KEY_ALL_ACCESS);
    if (!key)
        return false;
    std::u16string name(valueName);
    return RegSetValueEx(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number)
        == ERROR_SUCCESS;
}

bool RegReadText(std::u16string_view keyPath, std::u16string_view valueName, std::u16string& out)
{
    OpenedKey key(keyPath, KEY_READ);
    if (!key)
        return false;
    return RegReadString(key.get(), std::u16string(valueName).c_str(), out);
}

bool RegWriteText(std::u16string_view keyPath, std::u16string_view valueName, std::u16string_view text)
{
    OpenedKey key(keyPath, KEY_ALL_ACCESS);
    if (!key)
        return false;
    std::u16string name(valueName);
    std::u16string data(text);
    return RegSetValueEx(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
               static_cast<DWORD>((data.size() + 1) * sizeof(WCHAR)))
        == ERROR_SUCCESS;
}

HKEY RegOpenPath(std::u16string_view keyPath)
{
    KeyPath split;
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (!splitKeyPath(keyPath, split)
        || RegCreateKeyEx(split.root, split.subKey.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, &disposition) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

bool RegDeleteKey(std::u16string_view keyPath)
{
    KeyPath split;
    if (!splitKeyPath(keyPath, split))
        return false;
    return ::RegDeleteKey(split.root, split.subKey.c_str()) == ERROR_SUCCESS;
}

bool RegReadString(HKEY key, const WCHAR* name, std::u16string& out, size_t capacity)
{
    // Another process may change the value between asking its size and reading it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = 0, size = 0;
        if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
            return false;
        if (size == 0) {
            out.clear();
            return true;
        }
        if (capacity == 0 || size > (capacity - 1) * sizeof(WCHAR))
            return false;
        std::vector<WCHAR> buffer(size / 2 + 1, 0);
        DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(WCHAR));
        LONG status = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &bytes);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            return false;
        buffer.back() = 0;
        out = buffer.data();
        return true;
    }
    return false;
}

bool RegReadString(HKEY root, std::u16string_view subKey, const WCHAR* name, std::u16string& out, size_t capacity)
{
    HKEY key;
    if (RegOpenKeyEx(root, std::u16string(subKey).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    const bool read = RegReadString(key, name, out, capacity);
    RegCloseKey(key);
    return read;
}
