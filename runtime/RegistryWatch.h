#pragma once
// Whether the registry may have changed since the last look, so that a program can keep what
// it read and read again only after a change. Uses the core library's change notification;
// on a device without it every look counts as a change.
#include <windef.h>

#include <string>
#include <string_view>

class RegistryWatch {
public:
    // keyPath as the registry layer takes it ("HKEY_CURRENT_USER\Software\Tarn"); the key and
    // its subkeys are watched.
    explicit RegistryWatch(std::u16string_view keyPath);
    ~RegistryWatch();
    RegistryWatch(const RegistryWatch&) = delete;
    RegistryWatch& operator=(const RegistryWatch&) = delete;

    // True at the first look and whenever something changed since the last look that said so;
    // a change during the caller's reading after it shows at the next look.
    bool changed();

private:
    void start();

    std::u16string m_keyPath;
    bool m_started = false;
    HKEY m_key = nullptr;
    HANDLE m_change = nullptr; // null: no notification, every look is a change
};
