#include "keyboard/InputMethodServer.h"
#include "keyboard/MyIInputMethod.h"
#include "keyboard/kbApplication.h"
#include "keyboard/kbData.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "runtime/Log.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"
#include "tests/keyboard/KeyboardData.h"
#include "tests/support/DeviceRoot.h"

#include <simhost.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::u16string kClassKey = u"HKEY_CLASSES_ROOT\\CLSID\\{E2452E3B-2823-4309-90CB-8787C4BA3AF7}";
const char16_t kSipKey[] = u"HKEY_CURRENT_USER\\ControlPanel\\SIP";

// The panel's callback, writing down what reaches it.
struct RecordingCallback final : IIMCallback {
    std::vector<IMINFO> infos;
    std::vector<std::string> keys;
    STDMETHOD(QueryInterface)(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return 1; }
    STDMETHOD_(ULONG, Release)() override { return 1; }
    STDMETHOD(SetImInfo)(IMINFO* info) override
    {
        infos.push_back(*info);
        return S_OK;
    }
    STDMETHOD(SendVirtualKey)(BYTE key, DWORD flags) override
    {
        keys.push_back("vk " + std::to_string(key) + " " + std::to_string(flags));
        return S_OK;
    }
    STDMETHOD(SendCharEvents)(UINT key, UINT keyFlags, UINT count, UINT* shift, UINT* chars) override
    {
        keys.push_back("char " + std::to_string(key) + " " + std::to_string(keyFlags) + " " + std::to_string(count) + " "
            + std::to_string(shift[0]) + " " + std::to_string(chars[0]));
        return S_OK;
    }
    STDMETHOD(SendString)(BSTR, DWORD) override { return E_NOTIMPL; }
};

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProc(w, m, wp, lp);
}

struct InputMethod : DeviceRootTest {
    HWND sip = nullptr;
    RecordingCallback callback;

    void SetUp() override
    {
        SimUseVirtualClock(10000);
        SimSetGeometry("qvga");
        InstallKeyboardData(device);
        WNDCLASS wc {};
        wc.lpfnWndProc = plainProc;
        wc.lpszClassName = u"test_sip_window";
        RegisterClass(&wc);
    }
    void TearDown() override
    {
        if (sip)
            DestroyWindow(sip);
        UnregisterClass(u"test_sip_window", nullptr);
        SimSetGeometry("qvga");
        SimUseRealClock();
    }
    void makeSipWindow(int width, int height)
    {
        int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
        sip = CreateWindowEx(0, u"test_sip_window", u"SIP", WS_VISIBLE, (screenWidth - width) / 2, screenHeight - 26 - height,
            width, height, nullptr, nullptr, nullptr, nullptr);
    }
        // The SIP size the shipped skin gives a form: its "design_size" (96 dpi here).
    static SIZE designSize(const char16_t* form)
{
    Properties skin;
    skin.load_skin(u"\\Program Files\\Tarn\\Magnikeys\\skins\\bin\\default.skin", DisplayInfo::query());
    const ElementRecord* record = skin.find_node(form);
    POINT size = record ? skin.get_point(*record, u"design_size", POINT {}) : POINT {};
    return SIZE { size.x, size.y };
}

    IInputMethod* create()
    {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(InputMethodServer::get_class_object(CLSID_Magnikeys, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        IInputMethod* method = nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID_IInputMethod, reinterpret_cast<void**>(&method)), S_OK);
        factory->Release();
        return method;
    }
};

TEST_F(InputMethod, FactoryRefusesAggregationOtherClassesAndInterfacesAndCountsLocks)
{
    EXPECT_EQ(InputMethodServer::can_unload_now(), S_OK);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(InputMethodServer::get_class_object(CLSID_Magnikeys, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(InputMethodServer::can_unload_now(), S_FALSE);
    void* object = &callback;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(&callback), IID_IInputMethod, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    object = &callback;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(InputMethodServer::can_unload_now(), S_FALSE); // locked
    IClassFactory* again = nullptr;
    ASSERT_EQ(InputMethodServer::get_class_object(CLSID_Magnikeys, IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    again->LockServer(FALSE);
    again->Release();
    EXPECT_EQ(InputMethodServer::can_unload_now(), S_OK);

    // a factory for another class makes nothing
    const CLSID other { 1, 2, 3, { 4, 5, 6, 7, 8, 9, 10, 11 } };
    ASSERT_EQ(InputMethodServer::get_class_object(other, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IInputMethod, &object), E_FAIL);
    factory->Release();
    EXPECT_EQ(InputMethodServer::get_class_object(CLSID_Magnikeys, IID_IInputMethod, &object), E_NOINTERFACE);
    EXPECT_EQ(InputMethodServer::can_unload_now(), S_OK);
}

TEST_F(InputMethod, RegistrationWritesTheClassAndUnregistrationRestoresThePlatformKeyboard)
{
    EXPECT_EQ(InputMethodServer::register_server(), S_OK);
    std::u16string value;
    ASSERT_TRUE(RegReadText(kClassKey, u"", value));
    EXPECT_EQ(value, u"Magnikeys");
    ASSERT_TRUE(RegReadText(kClassKey + u"\\InprocServer32", u"", value));
    EXPECT_EQ(value, u"\\Program Files\\Tarn\\magnikeys\\magnikeys.dll");
    ASSERT_TRUE(RegReadText(kClassKey + u"\\IsSIPInputMethod", u"", value));
    EXPECT_EQ(value, u"1");
    ASSERT_TRUE(RegReadText(kClassKey + u"\\DefaultIcon", u"", value));
    EXPECT_EQ(value, u"\\Program Files\\Tarn\\magnikeys\\magnikeys.dll,0");
    EXPECT_FALSE(RegReadText(kSipKey, u"DefaultIM", value) && value == kMagnikeysClsid); // not made current

    RegWriteText(kSipKey, u"DefaultIM", kMagnikeysClsid);
    EXPECT_EQ(InputMethodServer::unregister_server(), S_OK);
    ASSERT_TRUE(RegReadText(kSipKey, u"DefaultIM", value));
    EXPECT_EQ(value, u"{42429667-ae04-11d0-a4f8-00aa00a749b9}");
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{E2452E3B-2823-4309-90CB-8787C4BA3AF7}", 0, 0, &key), ERROR_SUCCESS);

    InputMethodServer::register_server();
    RegWriteText(kSipKey, u"DefaultIM", u"{11111111-2222-3333-4444-555555555555}");
    InputMethodServer::unregister_server();
    ASSERT_TRUE(RegReadText(kSipKey, u"DefaultIM", value));
    EXPECT_EQ(value, u"{11111111-2222-3333-4444-555555555555}");
    EXPECT_NE(RegOpenKeyEx(HKEY_CLASSES_ROOT, u"CLSID\\{E2452E3B-2823-4309-90CB-8787C4BA3AF7}", 0, 0, &key), ERROR_SUCCESS);
}

TEST_F(InputMethod, SelectBuildsTheKeyboardAtTheSkinsSizeAndTheCallbackReachesIt)
{
    IInputMethod* method = create();
    ASSERT_TRUE(method);
    const SIZE portrait = designSize(u"normal_portrait");
    ASSERT_EQ(portrait.cx, 240);
    EXPECT_EQ(MyIInputMethod::sip_size().cx, 240);
    EXPECT_EQ(MyIInputMethod::sip_size().cy, portrait.cy);
    makeSipWindow(240, portrait.cy);
    EXPECT_EQ(method->RegisterCallback(&callback), S_OK); // before Select
    EXPECT_EQ(method->Select(sip), S_OK);
    kbApplication* app = kbApplication::instance();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->callback(), &callback);
    EXPECT_EQ(GetParent(app->main_window()), sip);
    EXPECT_TRUE(IsWindow(app->zoom_window()));
    EXPECT_FALSE(IsWindowVisible(app->zoom_window()));
    EXPECT_EQ(app->keyboard_size().cx, 240);
    EXPECT_EQ(app->form().layout_text().size(), 33u);

    // unchanged size on a screen as wide as the panel: no rebuild
    HWND main = app->main_window();
    EXPECT_EQ(method->Showing(), S_OK);
    EXPECT_EQ(kbApplication::instance()->main_window(), main);

    EXPECT_EQ(method->Deselect(), S_OK);
    EXPECT_EQ(kbApplication::instance(), nullptr);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(method->Showing(), S_OK); // no keyboard to rebuild
    EXPECT_EQ(kbApplication::instance(), nullptr);
    // selected again, the window classes register again
    EXPECT_EQ(method->Select(sip), S_OK);
    ASSERT_TRUE(kbApplication::instance());
    EXPECT_TRUE(IsWindow(kbApplication::instance()->main_window()));
    EXPECT_EQ(method->Release(), 0u);
    EXPECT_EQ(kbApplication::instance(), nullptr);
    EXPECT_EQ(kbData::instance(), nullptr);
    EXPECT_EQ(InputMethodServer::can_unload_now(), S_OK);
}

TEST_F(InputMethod, ShowingRebuildsForRotationAnExtendedLayoutOrANarrowerPanel)
{
    IInputMethod* method = create();
    makeSipWindow(240, designSize(u"normal_portrait").cy);
    method->Select(sip);
    ASSERT_FALSE(kbApplication::instance()->landscape());

    DEVMODE mode {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_DISPLAYORIENTATION;
    mode.dmDisplayOrientation = DMDO_90;
    ASSERT_EQ(ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr), DISP_CHANGE_SUCCESSFUL);
    method->Showing();
    ASSERT_TRUE(kbApplication::instance());
    EXPECT_TRUE(kbApplication::instance()->landscape());
    EXPECT_EQ(MyIInputMethod::sip_size().cx, 320);
    EXPECT_EQ(MyIInputMethod::sip_size().cy, designSize(u"normal_landscape").cy);
    mode.dmDisplayOrientation = DMDO_0;
    ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr);
    method->Showing();
    EXPECT_FALSE(kbApplication::instance()->landscape());

    // the user's list now holds only the four-row layout (as the settings program writes it)
    device.writeFile(u"\\Program Files\\Tarn\\Magnikeys\\layouts\\layouts.ini", "layout_0=russian\n");
    method->Showing();
    EXPECT_TRUE(kbApplication::instance()->form().extended());
    EXPECT_EQ(MyIInputMethod::sip_size().cy, designSize(u"extended_normal_portrait").cy);
    EXPECT_EQ(kbApplication::instance()->form().layout_text().size(), 44u);
    method->Deselect();
    method->Release();

    // a screen wider than the panel rebuilds at every show
    SimSetGeometry("300x320@96");
    method = create();
    method->Select(sip);
    HWND main = kbApplication::instance()->main_window();
    method->Showing();
    EXPECT_NE(kbApplication::instance()->main_window(), main);
    method->Release();
}

TEST_F(InputMethod, ReceiveSipInfoFitsTheKeyboardAndAsksForTheRightHeightOnce)
{
    IInputMethod* method = create();
    makeSipWindow(240, designSize(u"normal_portrait").cy);
    method->Select(sip);
    SIPINFO info {};
    EXPECT_EQ(method->ReceiveSipInfo(&info), S_OK);
    EXPECT_TRUE(callback.infos.empty()); // no callback yet
    method->RegisterCallback(&callback);
    EXPECT_EQ(kbApplication::instance()->callback(), &callback);
    method->ReceiveSipInfo(&info);
    EXPECT_TRUE(callback.infos.empty()); // the window is as high as the keyboard

    MoveWindow(sip, 0, 200, 240, 60, TRUE);
    method->ReceiveSipInfo(&info);
    RECT client;
    GetClientRect(kbApplication::instance()->main_window(), &client);
    EXPECT_EQ(client.bottom, 60); // the keyboard fills the panel window
    ASSERT_EQ(callback.infos.size(), 1u);
    const IMINFO& sent = callback.infos[0];
    EXPECT_EQ(sent.cbSize, 40u);
    EXPECT_EQ(sent.fdwFlags, DWORD(SIPF_ON | SIPF_DOCKED));
    EXPECT_EQ(sent.rcSipRect.left, 0);
    EXPECT_EQ(sent.rcSipRect.top, 320 - 26 - designSize(u"normal_portrait").cy);
    EXPECT_EQ(sent.rcSipRect.right, 240);
    EXPECT_EQ(sent.rcSipRect.bottom, 294);
    method->Release();
}

TEST_F(InputMethod, GetInfoMakesTheImageListsOnceAndAgainAfterDeselect)
{
    IInputMethod* method = create();
    makeSipWindow(240, designSize(u"normal_portrait").cy);
    IMINFO first {}, second {};
    first.cbSize = second.cbSize = 40;
    EXPECT_EQ(method->GetInfo(&first), S_OK);
    EXPECT_TRUE(bool(first.hImageWide));
    EXPECT_TRUE(bool(first.hImageNarrow));
    EXPECT_EQ(first.fdwFlags, DWORD(SIPF_DOCKED));
    EXPECT_EQ(first.rcSipRect.bottom, 294);
    EXPECT_EQ(first.rcSipRect.top, 294 - designSize(u"normal_portrait").cy);
    method->GetInfo(&second);
    EXPECT_EQ(first.hImageWide, second.hImageWide);
    EXPECT_EQ(first.hImageNarrow, second.hImageNarrow);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(first.hImageWide, &cx, &cy);
    EXPECT_EQ(cx, 32);
    EXPECT_EQ(cy, 16);
    method->Deselect();
    method->GetInfo(&second);
    EXPECT_TRUE(bool(second.hImageWide));
    EXPECT_GE(ImageList_GetImageCount(second.hImageWide), 0);
    method->Release();
}

TEST_F(InputMethod, ASecondObjectTakesTheKeyboardOverAndTheFirstLeavesItAlone)
{
    makeSipWindow(240, designSize(u"normal_portrait").cy);
    IInputMethod* first = create();
    first->Select(sip);
    ASSERT_TRUE(kbApplication::instance());
    IInputMethod* second = create(); // as a panel switching back makes the new one first
    ASSERT_TRUE(kbData::instance());
    EXPECT_EQ(kbApplication::instance(), nullptr); // the old keyboard read the replaced data
    second->RegisterCallback(&callback);
    second->Select(sip);
    kbApplication* app = kbApplication::instance();
    ASSERT_TRUE(app);
    first->Deselect();
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(kbApplication::instance(), app);
    ASSERT_TRUE(kbData::instance());
    EXPECT_EQ(app->callback(), &callback);
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(kbApplication::instance(), nullptr);
    EXPECT_EQ(kbData::instance(), nullptr);
}

TEST_F(InputMethod, EveryCallWritesItsLogLine)
{
    const char16_t* tarn = u"HKEY_CURRENT_USER\\Software\\Tarn";
    ASSERT_TRUE(RegWriteNumber(tarn, u"Log", 1));
    makeSipWindow(240, designSize(u"normal_portrait").cy);
    IInputMethod* method = create();
    method->RegisterCallback(&callback);
    IMINFO info {};
    method->GetInfo(&info);
    method->Select(sip);
    method->Showing();
    SIPINFO sipInfo {};
    method->ReceiveSipInfo(&sipInfo);
    method->Hiding();
    EXPECT_EQ(method->GetImData(0, nullptr), E_NOTIMPL);
    EXPECT_EQ(method->SetImData(0, nullptr), E_NOTIMPL);
    method->Deselect();
    method->Release();
    RegWriteNumber(tarn, u"Log", 0);
    Log();
    auto bytes = device.readFile(u"\\Temp\\" + AppName() + u".txt");
    ASSERT_TRUE(bytes);
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes->size(); i += 2)
        text.push_back(char16_t(uint8_t((*bytes)[i]) | uint8_t((*bytes)[i + 1]) << 8));
    // in the order of the calls
    size_t at = 0;
    for (const char16_t* line : { u"MyIInputMethod::MyIInputMethod\n", u"SIP size 240 ", u"MyIInputMethod::QueryInterface :\n",
             u"MyIInputMethod::RegisterCallback :\n", u"MyIInputMethod::GetInfo:\n", u"Select: \n", u"create main window\n",
             u"kb app set curr layout\n", u"CInputMethod::resetKbApp -> SIPsize: 240 ", u"MyIInputMethod::Showing : 240 ",
             u"MyIInputMethod::ReceiveSipInfo 0 0 240 ", u"MyIInputMethod::Hiding:\n", u"MyIInputMethod::GetImData::empty\n",
             u"MyIInputMethod::SetImData::empty\n", u"MyIInputMethod::deselect:\n", u"kbApplication destructor\n",
             u"MyIInputMethod::Release :\n" }) {
        size_t found = text.find(line, at);
        EXPECT_NE(found, std::u16string::npos) << "missing or out of order: " << std::string(line, line + std::char_traits<char16_t>::length(line));
        if (found != std::u16string::npos)
            at = found;
    }
}

TEST_F(InputMethod, PanelRectangleIsCentredAboveTheMenuBar)
{
    MyIInputMethod::set_sip_size(SIZE { 240, 80 });
    RECT r = MyIInputMethod::panel_rect();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 214);
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 294);
    SimSetGeometry("vga");
    MyIInputMethod::set_sip_size(SIZE { 401, 176 });
    r = MyIInputMethod::panel_rect();
    EXPECT_EQ(r.left, 39); // (480 - 401) / 2
    EXPECT_EQ(r.bottom, 640 - 52);
    EXPECT_EQ(r.top, 640 - 52 - 176);
}

TEST_F(InputMethod, WithoutASkinTheObjectStaysInertAfterItsMessage)
{
    std::filesystem::remove_all(device.hostPath(kInstallDir + u"\\skins"));
    IInputMethod* method = create();
    ASSERT_TRUE(method);
    EXPECT_EQ(kbData::instance(), nullptr);
    makeSipWindow(240, designSize(u"normal_portrait").cy);
    EXPECT_EQ(method->Select(sip), S_OK);
    EXPECT_EQ(kbApplication::instance(), nullptr);
    EXPECT_EQ(method->Showing(), S_OK);
    SIPINFO info {};
    EXPECT_EQ(method->ReceiveSipInfo(&info), S_OK);
    EXPECT_EQ(method->Release(), 0u);
}

}
