#include "tests/support/DeviceRoot.h"

#include <winbase.h>
#include <winreg.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

struct Registry : DeviceRootTest {
    HKEY create(HKEY root, const char16_t* path, DWORD* disposition = nullptr)
    {
        HKEY key = nullptr;
        DWORD ignored = 0;
        EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, disposition ? disposition : &ignored), ERROR_SUCCESS);
        return key;
    }
    static LONG setNumber(HKEY key, const char16_t* name, DWORD value)
    {
        return RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    static LONG setText(HKEY key, const char16_t* name, std::u16string text)
    {
        return RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), DWORD((text.size() + 1) * 2));
    }
};

TEST_F(Registry, CreateOrOpenKeepsValuesAndIgnoresCase)
{
    DWORD disposition = 0;
    HKEY key = create(HKEY_CURRENT_USER, u"Software\\Tarn\\Magnikeys", &disposition);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    ASSERT_EQ(setNumber(key, u"Log", 7), ERROR_SUCCESS);
    ASSERT_EQ(setText(key, u"Language", u"Русский"), ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY again = create(HKEY_CURRENT_USER, u"SOFTWARE\\tarn\\MAGNIKEYS", &disposition);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    DWORD type = 0, value = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueEx(again, u"log", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(value, 7u);

    // Asking the size first, then a buffer that is too small, then one that fits.
    size = 0;
    ASSERT_EQ(RegQueryValueEx(again, u"Language", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 16u);
    WCHAR text[8] = {};
    DWORD small = 4;
    EXPECT_EQ(RegQueryValueEx(again, u"Language", nullptr, &type, reinterpret_cast<BYTE*>(text), &small), ERROR_MORE_DATA);
    EXPECT_EQ(small, 16u);
    ASSERT_EQ(RegQueryValueEx(again, u"Language", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(text), u"Русский");

    EXPECT_EQ(RegQueryValueEx(again, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValue(again, u"LOG"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(again, u"Log"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(again);

    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Tarn\\Nothing", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Tarn", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND)
        << "roots are separate trees";
}

TEST_F(Registry, DeletingAKeyTakesItsSubkeysAndValues)
{
    HKEY clsid = create(HKEY_CLASSES_ROOT, u"CLSID\\{E2452E3B}\\InprocServer32");
    ASSERT_EQ(setText(clsid, nullptr, u"\\Windows\\magnikeys.dll"), ERROR_SUCCESS);
    HKEY sibling = create(HKEY_CLASSES_ROOT, u"CLSID\\{Other}");
    ASSERT_EQ(setNumber(sibling, u"Kept", 1), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, u"clsid\\{e2452e3b}"), ERROR_SUCCESS);
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{E2452E3B}\\InprocServer32", 0, 0, &opened), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{E2452E3B}", 0, 0, &opened), ERROR_FILE_NOT_FOUND);
    // A handle to a deleted key fails instead of writing into nowhere.
    EXPECT_EQ(setNumber(clsid, u"Late", 1), ERROR_KEY_DELETED);
    // Re-creating the key does not bring back the old values.
    HKEY fresh = create(HKEY_CLASSES_ROOT, u"CLSID\\{E2452E3B}\\InprocServer32");
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(fresh, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    DWORD kept = 0, keptSize = sizeof kept;
    EXPECT_EQ(RegQueryValueEx(sibling, u"Kept", nullptr, nullptr, reinterpret_cast<BYTE*>(&kept), &keptSize), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, u"CLSID\\{Missing}"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, u""), ERROR_INVALID_PARAMETER);
    for (HKEY k : { clsid, sibling, fresh })
        RegCloseKey(k);
    EXPECT_EQ(RegCloseKey(clsid), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, EnumeratesSubkeysAndValuesByName)
{
    HKEY tarn = create(HKEY_CURRENT_USER, u"Software\\Tarn");
    RegCloseKey(create(tarn, u"Magnikeys"));
    RegCloseKey(create(tarn, u"Atlas"));
    setNumber(tarn, u"SIPPreference", 1);
    setNumber(tarn, u"Log", 0);

    WCHAR name[32];
    DWORD nameSize = 32;
    ASSERT_EQ(RegEnumKeyEx(tarn, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Atlas");
    EXPECT_EQ(nameSize, 5u);
    nameSize = 32;
    ASSERT_EQ(RegEnumKeyEx(tarn, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Magnikeys");
    nameSize = 32;
    EXPECT_EQ(RegEnumKeyEx(tarn, 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

    DWORD type = 0, value = 0, valueSize = sizeof value;
    nameSize = 32;
    ASSERT_EQ(RegEnumValue(tarn, 1, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&value), &valueSize), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"SIPPreference");
    EXPECT_EQ(value, 1u);
    nameSize = 3;
    EXPECT_EQ(RegEnumValue(tarn, 1, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    nameSize = 32;
    EXPECT_EQ(RegEnumValue(tarn, 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(tarn);
}

TEST_F(Registry, EachDeviceRootHasItsOwnHive)
{
    HKEY key = create(HKEY_CURRENT_USER, u"Software\\Tarn");
    setNumber(key, u"Log", 1);
    RegCloseKey(key);
    {
        TempDeviceRoot other;
        HKEY opened = nullptr;
        EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Tarn", 0, 0, &opened), ERROR_FILE_NOT_FOUND);
    }
    HKEY back = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Tarn", 0, 0, &back), ERROR_SUCCESS);
    RegCloseKey(back);
}

// Child processes report through their exit code only; nothing of the test framework runs there.
int writeValues(char prefix, int count)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Stress", 0, nullptr, 0, 0, nullptr, &key, &disposition) != ERROR_SUCCESS)
        return 10;
    for (int i = 0; i < count; ++i) {
        std::u16string name(1, char16_t(prefix));
        for (char c : std::to_string(i))
            name.push_back(char16_t(c));
        DWORD value = DWORD(prefix) * 100000 + DWORD(i);
        if (RegSetValueEx(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) != ERROR_SUCCESS)
            return 11;
    }
    RegCloseKey(key);
    return 0;
}

int readWhileWriting(int count)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Stress", 0, 0, &key) != ERROR_SUCCESS)
        return 20;
    for (int round = 0; round < 100000; ++round) {
        int seen = 0;
        for (char prefix : { 'a', 'b' }) {
            for (int i = 0; i < count; i += 37) {
                std::u16string name(1, char16_t(prefix));
                for (char c : std::to_string(i))
                    name.push_back(char16_t(c));
                DWORD value = 0, size = sizeof value, type = 0;
                LONG status = RegQueryValueEx(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
                if (status == ERROR_FILE_NOT_FOUND)
                    continue;
                if (status != ERROR_SUCCESS)
                    return 21;
                if (type != REG_DWORD || value != DWORD(prefix) * 100000 + DWORD(i))
                    return 22;
                ++seen;
            }
        }
        DWORD last = 0, size = sizeof last;
        LONG a = RegQueryValueEx(key, (u"a" + std::u16string(u"999")).c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&last), &size);
        size = sizeof last;
        LONG b = RegQueryValueEx(key, u"b999", nullptr, nullptr, reinterpret_cast<BYTE*>(&last), &size);
        if (a == ERROR_SUCCESS && b == ERROR_SUCCESS)
            return seen > 0 ? 0 : 23;
    }
    return 24;
}

pid_t runChild(int (*body)(char, int), char prefix, int count)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(body(prefix, count));
    return pid;
}

int exitCodeOf(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(Registry, TwoWritingProcessesAndAReaderShareTheHive)
{
    const int count = 1000;
    RegCloseKey(create(HKEY_CURRENT_USER, u"Software\\Stress"));
    pid_t reader = runChild([](char, int n) { return readWhileWriting(n); }, 0, count);
    pid_t a = runChild(writeValues, 'a', count);
    pid_t b = runChild(writeValues, 'b', count);
    EXPECT_EQ(exitCodeOf(a), 0);
    EXPECT_EQ(exitCodeOf(b), 0);
    EXPECT_EQ(exitCodeOf(reader), 0) << "21: read error, 22: wrong value, 24: never saw the end";

    HKEY key = create(HKEY_CURRENT_USER, u"Software\\Stress");
    int found = 0;
    for (char prefix : { 'a', 'b' }) {
        for (int i = 0; i < count; ++i) {
            std::u16string name(1, char16_t(prefix));
            for (char c : std::to_string(i))
                name.push_back(char16_t(c));
            DWORD value = 0, size = sizeof value;
            if (RegQueryValueEx(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS
                && value == DWORD(prefix) * 100000 + DWORD(i))
                ++found;
        }
    }
    EXPECT_EQ(found, 2 * count);
    RegCloseKey(key);
}

}

namespace {

bool signalled(HANDLE change)
{
    return WaitForSingleObject(change, 0) == WAIT_OBJECT_0;
}

}

TEST_F(Registry, ChangeNotificationFollowsEveryWriteOfTheDevice)
{
    HKEY tarn = create(HKEY_CURRENT_USER, u"Software\\Tarn");
    HANDLE change = CeFindFirstRegChange(tarn, TRUE, REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_NAME);
    ASSERT_NE(change, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(signalled(change));
    EXPECT_EQ(WaitForSingleObject(change, 20), DWORD(WAIT_TIMEOUT));

    // Reading changes nothing; opening a key that exists neither.
    DWORD value = 0, size = sizeof value;
    RegQueryValueEx(tarn, u"Log", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(create(HKEY_CURRENT_USER, u"Software\\Tarn"));
    EXPECT_FALSE(signalled(change));

    // A value set: signalled, and it stays so until the handle is armed again.
    ASSERT_EQ(setNumber(tarn, u"Log", 1), ERROR_SUCCESS);
    EXPECT_TRUE(signalled(change));
    EXPECT_TRUE(signalled(change));
    EXPECT_TRUE(CeFindNextRegChange(change));
    EXPECT_FALSE(signalled(change));

    // A new key, a deleted value, a deleted key.
    RegCloseKey(create(HKEY_CURRENT_USER, u"Software\\Tarn\\New"));
    EXPECT_TRUE(signalled(change));
    CeFindNextRegChange(change);
    ASSERT_EQ(RegDeleteValue(tarn, u"Log"), ERROR_SUCCESS);
    EXPECT_TRUE(signalled(change));
    CeFindNextRegChange(change);
    EXPECT_EQ(RegDeleteValue(tarn, u"Log"), ERROR_FILE_NOT_FOUND); // nothing deleted, nothing changed
    EXPECT_FALSE(signalled(change));
    ASSERT_EQ(RegDeleteKey(HKEY_CURRENT_USER, u"Software\\Tarn\\New"), ERROR_SUCCESS);
    EXPECT_TRUE(signalled(change));
    CeFindNextRegChange(change);

    // Another process of the device writes.
    pid_t child = fork();
    if (child == 0) {
        HKEY key = nullptr;
        DWORD disposition = 0, one = 1;
        bool ok = RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Tarn", 0, nullptr, 0, 0, nullptr, &key, &disposition) == ERROR_SUCCESS
            && RegSetValueEx(key, u"SIPPreference", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one) == ERROR_SUCCESS;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(WaitForSingleObject(change, 1000), DWORD(WAIT_OBJECT_0));
    CeFindNextRegChange(change);

    // Another device root is another hive: what was read before says nothing about it.
    {
        TempDeviceRoot other;
        EXPECT_TRUE(signalled(change));
        CeFindNextRegChange(change);
        EXPECT_FALSE(signalled(change));
    }
    EXPECT_TRUE(signalled(change));

    EXPECT_TRUE(CeFindCloseRegChange(change));
    EXPECT_FALSE(CeFindNextRegChange(change));
    EXPECT_FALSE(CeFindCloseRegChange(change));
    RegCloseKey(tarn);
}

TEST_F(Registry, ChangeNotificationRefusesWhatItCannotWatch)
{
    EXPECT_EQ(CeFindFirstRegChange(nullptr, TRUE, REG_NOTIFY_CHANGE_LAST_SET), INVALID_HANDLE_VALUE);
    EXPECT_EQ(CeFindFirstRegChange(HKEY_CURRENT_USER, TRUE, 0), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CeFindNextRegChange(nullptr));
    // A handle of another kind is not a change notification.
    HANDLE file = CreateFile(u"\\notes.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(CeFindNextRegChange(file));
    EXPECT_FALSE(CeFindCloseRegChange(file));
    EXPECT_TRUE(CloseHandle(file));
}
