// Device libraries, the resources inside them, image lists and in-process servers, with the
// test input method library as the library under test.
#include "tests/support/DeviceRoot.h"

#include <simhost.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const char16_t kLibrary[] = u"\\Program Files\\Tests\\TestIM\\testim.dll";
// {D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}
constexpr CLSID kTestClsid { 0xD1A5E0C2, 0x7B3F, 0x4C1E, { 0x9A, 0x2D, 0x5E, 0x6F, 0x7A, 0x8B, 0x9C, 0x0D } };

struct Libraries : DeviceRootTest {
    void SetUp() override
    {
        std::ifstream in(TESTIM_LIBRARY, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        device.writeFile(kLibrary, bytes.str());
    }
    std::string calls() const { return device.readFile(u"\\Temp\\testim.log").value_or(""); }
    size_t count(const std::string& line) const
    {
        std::istringstream in(calls());
        size_t n = 0;
        for (std::string l; std::getline(in, l);)
            n += l == line;
        return n;
    }
};

TEST_F(Libraries, LoadsOncePerProcessWithItsEntryPointAndPath)
{
    HMODULE first = LoadLibrary(u"/PROGRAM FILES/Tests/TestIM/TestIM.dll");
    ASSERT_NE(first, nullptr) << GetLastError();
    // Another spelling of the same file is the same library.
    HMODULE second = LoadLibrary(kLibrary);
    EXPECT_EQ(second, first);
    EXPECT_EQ(count("DllMain attach"), 1u);
    EXPECT_EQ(GetModuleHandle(u"testim.dll"), first);

    WCHAR path[MAX_PATH];
    ASSERT_GT(GetModuleFileName(first, path, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(path), kLibrary); // as the file system spells it

    EXPECT_NE(GetProcAddress(first, u"DllGetClassObject"), nullptr);
    EXPECT_NE(GetProcAddress(first, u"TestImLastCallback"), nullptr);
    // Only its own exports: not what the libraries it uses define, nor hidden functions.
    EXPECT_EQ(GetProcAddress(first, u"malloc"), nullptr);
    EXPECT_EQ(GetProcAddress(first, u"CreateWindowEx"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(count("DllMain detach"), 0u);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(count("DllMain detach"), 1u);
    EXPECT_EQ(GetModuleHandle(u"testim.dll"), nullptr);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetProcAddress(first, u"DllGetClassObject"), nullptr);
}

TEST_F(Libraries, RefusesWhatIsNoLibrary)
{
    EXPECT_EQ(LoadLibrary(u"\\Windows\\missing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    device.writeFile(u"\\Windows\\text.dll", "just text");
    EXPECT_EQ(LoadLibrary(u"text.dll"), nullptr); // a bare name is looked for in \Windows
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(LoadLibrary(u""), nullptr);
    EXPECT_EQ(LoadLibrary(nullptr), nullptr);
}

TEST_F(Libraries, TheCoreLibraryAnswersByNameForFunctionsLookedUpAtRunTime)
{
    HMODULE core = GetModuleHandle(u"COREDLL.DLL");
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(LoadLibrary(u"coredll.dll"), core);
    auto change = reinterpret_cast<LONG (*)(LPCWSTR, LPDEVMODE, HWND, DWORD, LPVOID)>(GetProcAddress(core, u"ChangeDisplaySettingsEx"));
    EXPECT_EQ(change, &ChangeDisplaySettingsEx);
    EXPECT_TRUE(FreeLibrary(core));
    EXPECT_EQ(GetModuleHandle(u"coredll.dll"), core); // never unloaded
}

TEST_F(Libraries, BitmapsAndIconsComeOutOfTheLibraryFile)
{
    HMODULE module = LoadLibrary(kLibrary);
    ASSERT_NE(module, nullptr);
    HBITMAP wide = LoadBitmap(module, MAKEINTRESOURCE(504));
    ASSERT_NE(wide, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, wide);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0xC6, 0xC3, 0xC6)); // light grey, as 16 bits keep it
    EXPECT_EQ(GetPixel(dc, 30, 15), RGB(0xC6, 0xC3, 0xC6));
    EXPECT_EQ(GetPixel(dc, 31, 0), CLR_INVALID); // 31 pixels wide
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(wide);

    EXPECT_EQ(LoadBitmap(module, MAKEINTRESOURCE(503)), nullptr); // an icon, not a bitmap
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadBitmap(nullptr, MAKEINTRESOURCE(504)), nullptr);
    EXPECT_EQ(LoadBitmap(GetModuleHandle(nullptr), MAKEINTRESOURCE(504)), nullptr); // the test program carries none

    int w = 0, h = 0;
    HICON icon = LoadIcon(module, MAKEINTRESOURCE(503));
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(SimIconSize(icon, &w, &h));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 32);
    auto sized = [&](int size) {
        auto i = static_cast<HICON>(LoadImage(module, MAKEINTRESOURCE(503), IMAGE_ICON, size, size, 0));
        int sw = 0;
        SimIconSize(i, &sw, nullptr);
        DestroyIcon(i);
        return sw;
    };
    EXPECT_EQ(sized(16), 16);
    EXPECT_EQ(sized(24), 24); // scaled from the nearest image
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    FreeLibrary(module);

    // The shell reads icons of a file that is not loaded, by index or by id.
    EXPECT_EQ(ExtractIconEx(kLibrary, -1, nullptr, nullptr, 0), 1u);
    HICON large = nullptr, small = nullptr;
    EXPECT_EQ(ExtractIconEx(kLibrary, 0, &large, &small, 1), 1u);
    EXPECT_TRUE(SimIconSize(small, &w, nullptr));
    EXPECT_EQ(w, 16);
    DestroyIcon(large);
    DestroyIcon(small);
    EXPECT_EQ(ExtractIconEx(kLibrary, -503, &large, nullptr, 1), 1u);
    DestroyIcon(large);
    EXPECT_EQ(ExtractIconEx(kLibrary, 1, &large, nullptr, 1), 0u);
    HICON fromLocation = SimIconFromLocation(u"\\Program Files\\Tests\\TestIM\\testim.dll,0", true);
    EXPECT_NE(fromLocation, nullptr);
    DestroyIcon(fromLocation);
    EXPECT_EQ(SimIconFromLocation(u"\\Program Files\\Tests\\TestIM\\testim.dll,x", true), nullptr);
}

TEST_F(Libraries, DamagedResourcesFailCleanly)
{
    std::string bytes = *device.readFile(kLibrary);
    size_t at = bytes.find("MKRS");
    ASSERT_NE(at, std::string::npos);
    // Every entry's offset points far past the end, then the count claims more entries than fit.
    std::string offsets = bytes, counts = bytes;
    for (size_t e = 0; e < 3; ++e)
        offsets.replace(at + 12 + 16 * e + 8, 4, "\xF0\xFF\xFF\x7F", 4);
    counts.replace(at + 8, 4, "\xFF\xFF\xFF\x0F", 4);
    // A picture whose size claims more pixels than the entry holds.
    std::string sizes = bytes;
    uint32_t first = 0;
    std::memcpy(&first, &bytes[at + 12 + 8], 4);
    sizes.replace(at + first, 4, "\x00\x10\x00\x00", 4);
    const std::string* variants[] = { &offsets, &counts, &sizes };
    for (const std::string* variant : variants) {
        const std::string& damaged = *variant;
        device.writeFile(u"\\Windows\\damaged.dll", damaged);
        HMODULE module = LoadLibrary(u"\\Windows\\damaged.dll");
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(LoadBitmap(module, MAKEINTRESOURCE(504)), nullptr);
        // A damaged table loses everything; a damaged picture only itself.
        HICON icon = LoadIcon(module, MAKEINTRESOURCE(503));
        EXPECT_EQ(icon != nullptr, variant == &sizes);
        EXPECT_EQ(ExtractIconEx(u"\\Windows\\damaged.dll", -1, nullptr, nullptr, 0), variant == &sizes ? 1u : 0u);
        DestroyIcon(icon);
        FreeLibrary(module);
        // Rewritten in place: the next reading sees the new file, not a remembered one.
        std::filesystem::remove(device.hostPath(u"\\Windows\\damaged.dll"));
    }
}

TEST_F(Libraries, ImageListsCutBitmapsAndDrawOnlyTheirOpaquePixels)
{
    HMODULE module = LoadLibrary(kLibrary);
    ASSERT_NE(module, nullptr);
    HIMAGELIST list = ImageList_Create(32, 16, ILC_COLOR16 | ILC_MASK, 1, 1);
    ASSERT_TRUE(list);
    HBITMAP wide = LoadBitmap(module, MAKEINTRESOURCE(504));
    // 31 pixels in a list 32 wide: one image, its last column see-through.
    EXPECT_EQ(ImageList_AddMasked(list, wide, RGB(0xC0, 0xC0, 0xC0)), 0);
    EXPECT_EQ(ImageList_GetImageCount(list), 1);

    BITMAPINFO info {};
    info.bmiHeader = { sizeof(BITMAPINFOHEADER), 40, -20, 1, 16, BI_BITFIELDS, 0, 0, 0, 0, 0 };
    const DWORD masks[3] = { 0xF800, 0x07E0, 0x001F };
    std::memcpy(info.bmiColors, masks, sizeof masks);
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    auto* pixels = static_cast<uint16_t*>(bits);
    std::fill(pixels, pixels + 40 * 20, uint16_t(0x07E0)); // green
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, target);
    EXPECT_TRUE(ImageList_Draw(list, 0, dc, 2, 2, ILD_TRANSPARENT));
    EXPECT_EQ(GetPixel(dc, 2, 2), RGB(0, 255, 0)); // the grey corner stays green
    EXPECT_EQ(GetPixel(dc, 2 + 31, 10), RGB(0, 255, 0)); // the padding column too
    EXPECT_NE(GetPixel(dc, 2 + 15, 2 + 8), RGB(0, 255, 0)); // the picture's middle is drawn
    EXPECT_FALSE(ImageList_Draw(list, 1, dc, 0, 0, ILD_NORMAL));

    // Without a mask colour every pixel is drawn; a bitmap twice as wide gives two images.
    HIMAGELIST plain = ImageList_Create(16, 16, ILC_COLOR16, 1, 1);
    EXPECT_EQ(ImageList_Add(plain, wide, nullptr), 0);
    EXPECT_EQ(ImageList_GetImageCount(plain), 2);
    HICON icon = LoadIcon(module, MAKEINTRESOURCE(503));
    EXPECT_EQ(ImageList_AddIcon(plain, icon), 2);
    EXPECT_TRUE(ImageList_Remove(plain, 0));
    EXPECT_EQ(ImageList_GetImageCount(plain), 2);
    DestroyIcon(icon);

    // A destroyed list is refused, and its number is never given to a new list.
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Draw(list, 0, dc, 0, 0, ILD_NORMAL));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    HIMAGELIST next = ImageList_Create(8, 8, ILC_MASK, 1, 1);
    EXPECT_FALSE(next == list);
    EXPECT_FALSE(ImageList_Create(0, 16, ILC_MASK, 1, 1));
    ImageList_Destroy(next);
    ImageList_Destroy(plain);

    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(target);
    DeleteObject(wide);
    FreeLibrary(module);
}

TEST(ClassIds, TextFormRoundTripsAndRejectsMalformedText)
{
    WCHAR text[39];
    EXPECT_EQ(StringFromGUID2(CLSID_KeyboardIM, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{42429667-AE04-11D0-A4F8-00AA00A749B9}");
    EXPECT_EQ(StringFromGUID2(CLSID_KeyboardIM, text, 38), 0);
    CLSID back;
    EXPECT_EQ(CLSIDFromString(u"{42429667-ae04-11d0-a4f8-00aa00a749b9}", &back), S_OK);
    EXPECT_TRUE(back == CLSID_KeyboardIM);
    for (const char16_t* bad : { u"42429667-ae04-11d0-a4f8-00aa00a749b9", u"{42429667-ae04-11d0-a4f8-00aa00a749b}",
             u"{42429667-ae04-11d0-a4f8-00aa00a749bg}", u"{42429667+ae04-11d0-a4f8-00aa00a749b9}", u"" }) {
        EXPECT_EQ(CLSIDFromString(bad, &back), CO_E_CLASSSTRING);
        EXPECT_TRUE(back == GUID_NULL);
    }
}

struct Servers : Libraries {
    void registerTestIm()
    {
        HMODULE module = LoadLibrary(kLibrary);
        ASSERT_NE(module, nullptr);
        auto reg = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, u"DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        EXPECT_EQ(reg(), S_OK);
        FreeLibrary(module);
    }
};

TEST_F(Servers, CreatesThroughTheRegistryAndUnloadsOnlyWhenTheLibraryAllows)
{
    registerTestIm();
    IInputMethod* method = nullptr;
    ASSERT_EQ(CoCreateInstance(kTestClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, reinterpret_cast<void**>(&method)), S_OK);
    ASSERT_NE(method, nullptr);
    EXPECT_NE(GetModuleHandle(u"testim.dll"), nullptr);
    CoFreeUnusedLibraries(); // the object lives: the library stays
    EXPECT_NE(GetModuleHandle(u"testim.dll"), nullptr);
    method->Release();

    // A locked class factory keeps it too, until unlocked.
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(kTestClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(TRUE);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_NE(GetModuleHandle(u"testim.dll"), nullptr);
    factory = nullptr;
    ASSERT_EQ(CoGetClassObject(kTestClsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_EQ(GetModuleHandle(u"testim.dll"), nullptr);
    EXPECT_EQ(count("DllMain attach"), 2u); // registration, then one load for every object
    EXPECT_EQ(count("DllMain detach"), 2u);
}

TEST_F(Servers, FailuresNameTheirCauseAndLeaveNoObject)
{
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kTestClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    registerTestIm();
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kTestClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    std::filesystem::remove(device.hostPath(kLibrary));
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(kTestClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, &object), CO_E_DLLNOTFOUND);
    EXPECT_EQ(object, nullptr);
    CoFreeUnusedLibraries();
}

TEST_F(Servers, PanelFunctionsWithoutARunningPanel)
{
    CLSID current;
    EXPECT_TRUE(SipGetCurrentIM(&current));
    EXPECT_TRUE(current == CLSID_KeyboardIM);
    CLSID test = kTestClsid;
    EXPECT_FALSE(SipSetCurrentIM(&test)); // not registered
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    registerTestIm();
    EXPECT_TRUE(SipSetCurrentIM(&test));
    EXPECT_EQ(SipStatus(), static_cast<DWORD>(SIP_STATUS_UNAVAILABLE));
    EXPECT_FALSE(SipShowIM(SIPF_ON));

    SIPINFO info {};
    info.cbSize = sizeof info - 1;
    EXPECT_FALSE(SipGetInfo(&info));
    info.cbSize = sizeof info;
    EXPECT_TRUE(SipGetInfo(&info));
    EXPECT_EQ(info.fdwFlags, 0u);
    EXPECT_GT(info.rcVisibleDesktop.bottom, info.rcVisibleDesktop.top);

    int found = SipEnumIM([](IMENUMINFO* im) { return im->clsid == kTestClsid && std::u16string(im->szName) == u"Test input method" ? 1 : 0; });
    EXPECT_EQ(found, 1);
}

}

namespace {

TEST_F(Servers, ALibraryThatRefusesToAttachIsNotLoaded)
{
    registerTestIm();
    HKEY key;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{D1A5E0C2-7B3F-4C1E-9A2D-5E6F7A8B9C0D}", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegSetValueEx(key, u"Fail", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"DllMain"), 16);
    RegCloseKey(key);
    EXPECT_EQ(LoadLibrary(kLibrary), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
    EXPECT_EQ(GetModuleHandle(u"testim.dll"), nullptr);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(kTestClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IInputMethod, &object), CO_E_DLLNOTFOUND);
    EXPECT_EQ(count("DllMain detach"), 1u); // only the registration's load ended normally
}

}
