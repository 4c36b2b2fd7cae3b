#include "keyboard/MyIInputMethod.h"
#include "keyboard/InputMethodServer.h"
#include "keyboard/ScreenScale.h"
#include "keyboard/kbApplication.h"
#include "keyboard/kbData.h"
#include "keyboard/kbKeyActions.h"
#include "kbfiles/SkinChoice.h"
#include "runtime/Execute.h"
#include "runtime/Log.h"
#include "runtime/Path.h"
#include "skin/file/DisplayInfo.h"

#include <commctrl.h>
#include <winresource.h>

namespace {

SIZE s_sipSize { 0, 0 };
// The objects that made the process's keyboard data and keyboard application: a second input
// method object of the process takes both over, and only their maker destroys them.
const MyIInputMethod* s_dataMaker = nullptr;
const MyIInputMethod* s_appMaker = nullptr;
HIMAGELIST s_wideImages = nullptr;
HIMAGELIST s_narrowImages = nullptr;

constexpr COLORREF kMaskColour = RGB(0xC0, 0xC0, 0xC0);

void destroyImageLists()
{
    if (s_wideImages)
        ImageList_Destroy(s_wideImages);
    if (s_narrowImages)
        ImageList_Destroy(s_narrowImages);
    s_wideImages = nullptr;
    s_narrowImages = nullptr;
}

void addBitmap(HIMAGELIST list, HINSTANCE module, int id)
{
    HBITMAP bitmap = LoadBitmap(module, MAKEINTRESOURCE(id));
    if (!bitmap)
        return;
    ImageList_AddMasked(list, bitmap, kMaskColour);
    DeleteObject(bitmap);
}

void createImageLists(HINSTANCE module)
{
    s_wideImages = ImageList_Create(32, 16, ILC_MASK, 1, 1);
    s_narrowImages = ImageList_Create(16, 16, ILC_MASK, 1, 1);
    addBitmap(s_wideImages, module, 504);
    addBitmap(s_narrowImages, module, 505);
}

// Kept free below the panel; follows the skin loaded last (ScreenScale).
int s_bottomOffset = 0;

int menuBarHeight()
{
    return s_bottomOffset ? s_bottomOffset : (DisplayInfo::query().dpi == 96 ? 26 : 52);
}

bool landscapeDisplay()
{
    const int orientation = DisplayInfo::query().orientation;
    return orientation == 1 || orientation == 3;
}

}

SIZE MyIInputMethod::sip_size()
{
    return s_sipSize;
}

void MyIInputMethod::set_sip_size(SIZE size)
{
    s_sipSize = size;
}

RECT MyIInputMethod::panel_rect()
{
    RECT rect;
    rect.left = (GetSystemMetrics(SM_CXSCREEN) - s_sipSize.cx) / 2;
    rect.right = rect.left + s_sipSize.cx;
    rect.bottom = GetSystemMetrics(SM_CYSCREEN) - menuBarHeight();
    rect.top = rect.bottom - s_sipSize.cy;
    return rect;
}

MyIInputMethod::MyIInputMethod(IUnknown* outer, HINSTANCE module)
{
    Log().append(u"MyIInputMethod::MyIInputMethod\n");
    InputMethodServer::lock();
    m_controlling = outer ? outer : static_cast<IUnknown*>(this);

    const DisplayInfo display = DisplayInfo::query();
    // The skin chosen for this screen, else the one beside the keyboard.
    const std::u16string chosen = ChosenSkinPath(kSkinPath);
    if (m_skin.load_skin(chosen, display) || (chosen != ExpandPath(kSkinPath) && m_skin.load_skin(ExpandPath(kSkinPath), display))) {
        m_module = module;
        s_bottomOffset = ScreenScale::of(m_skin, display).bottom_offset;
        // A keyboard of an older object holds the data that is replaced here.
        kbApplication::reset();
        s_appMaker = nullptr;
        kbData::make();
        s_dataMaker = this;
        compute_sip_size();
    } else {
        const std::u16string text = m_skin.translate(u"NoSkins");
        MessageBox(nullptr, text.c_str(), u"magniKeys", MB_OK);
    }
}

MyIInputMethod::~MyIInputMethod()
{
    if (s_appMaker == this) {
        kbApplication::reset();
        s_appMaker = nullptr;
    }
    if (s_dataMaker == this) {
        kbApplication::reset(); // it reads the data
        s_appMaker = nullptr;
        kbData::reset();
        s_dataMaker = nullptr;
    }
    InputMethodServer::unlock();
}

HRESULT MyIInputMethod::QueryInterface(REFIID iid, void** object)
{
    Log().append(u"MyIInputMethod::QueryInterface :\n");
    return ComObject::QueryInterface(iid, object);
}

ULONG MyIInputMethod::AddRef()
{
    Log().append(u"MyIInputMethod::AddRef :\n");
    return ComObject::AddRef();
}

ULONG MyIInputMethod::Release()
{
    Log().append(u"MyIInputMethod::Release :\n");
    return ComObject::Release();
}

HRESULT MyIInputMethod::Select(HWND sipWindow)
{
    Log().append(u"Select: \n");
    m_sipWindow = sipWindow;
    reset_kb_app();
    return S_OK;
}

HRESULT MyIInputMethod::Deselect()
{
    Log().append(u"MyIInputMethod::deselect:\n");
    destroyImageLists();
    if (s_appMaker == this) { // a newer object's keyboard is not this one's to end
        kbApplication::reset();
        s_appMaker = nullptr;
    }
    return S_OK;
}

HRESULT MyIInputMethod::Showing()
{
    Log().append(u"MyIInputMethod::Showing : ").append(s_sipSize.cx).append(u" ").append(s_sipSize.cy).append(u"\n");
    kbData* data = kbData::instance();
    if (!skin_loaded() || !data)
        return S_OK;
    data->layouts().refresh();
    data->settings().read();
    const SIZE before = s_sipSize;
    compute_sip_size();
    if (s_sipSize.cx == before.cx && s_sipSize.cy == before.cy && GetSystemMetrics(SM_CXSCREEN) == s_sipSize.cx)
        return S_OK;
    if (kbApplication::instance())
        reset_kb_app();
    return S_OK;
}

HRESULT MyIInputMethod::Hiding()
{
    Log().append(u"MyIInputMethod::Hiding:\n");
    return S_OK;
}

HRESULT MyIInputMethod::GetInfo(IMINFO* info)
{
    Log().append(u"MyIInputMethod::GetInfo:\n");
    if (!info)
        return E_POINTER;
    if (!s_wideImages)
        createImageLists(m_module);
    info->hImageNarrow = s_narrowImages;
    info->hImageWide = s_wideImages;
    info->iNarrow = 0;
    info->iWide = 0;
    info->fdwFlags = SIPF_DOCKED;
    info->rcSipRect = panel_rect();
    return S_OK;
}

HRESULT MyIInputMethod::ReceiveSipInfo(SIPINFO*)
{
    RECT client {};
    if (m_sipWindow)
        GetClientRect(m_sipWindow, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (kbApplication* app = kbApplication::instance(); app && app->main_window())
        MoveWindow(app->main_window(), 0, 0, width, height, TRUE);
    Log()
        .append(u"MyIInputMethod::ReceiveSipInfo ")
        .append(client.left)
        .append(u" ")
        .append(client.top)
        .append(u" ")
        .append(width)
        .append(u" ")
        .append(height)
        .append(u"\n");
    if (height == s_sipSize.cy || !m_callback)
        return S_OK;

    IMINFO info {};
    info.cbSize = sizeof(IMINFO);
    info.hImageNarrow = s_narrowImages;
    info.hImageWide = s_wideImages;
    info.iNarrow = 0;
    info.iWide = 0;
    info.fdwFlags = SIPF_ON | SIPF_DOCKED;
    info.rcSipRect = panel_rect();
    Log()
        .append(u"set im info   ")
        .append(info.rcSipRect.left)
        .append(u" ")
        .append(info.rcSipRect.right)
        .append(u" ")
        .append(info.rcSipRect.top)
        .append(u" ")
        .append(info.rcSipRect.bottom)
        .append(u"\n");
    m_callback->SetImInfo(&info);
    return S_OK;
}

HRESULT MyIInputMethod::RegisterCallback(IIMCallback* callback)
{
    Log().append(u"MyIInputMethod::RegisterCallback :\n");
    m_callback = callback;
    if (kbApplication* app = kbApplication::instance())
        app->set_callback(callback);
    return S_OK;
}

HRESULT MyIInputMethod::GetImData(DWORD, LPVOID)
{
    Log().append(u"MyIInputMethod::GetImData::empty\n");
    return E_NOTIMPL;
}

HRESULT MyIInputMethod::SetImData(DWORD, LPVOID)
{
    Log().append(u"MyIInputMethod::SetImData::empty\n");
    return E_NOTIMPL;
}

HRESULT MyIInputMethod::UserOptionsDlg(HWND)
{
    Log().append(u"MyIInputMethod::UserOptionsDlg\n");
    ExecuteFile(kSettingsProgramPath, u"");
    return S_OK;
}

void MyIInputMethod::compute_sip_size()
{
    std::u16string name;
    if (kbData* data = kbData::instance(); data && data->layouts().needs_extended())
        name = u"extended_";
    name += u"normal_";
    name += landscapeDisplay() ? u"landscape" : u"portrait";
    POINT size { 0, 0 };
    if (const ElementRecord* record = m_skin.find_node(name))
        size = m_skin.get_point(*record, u"design_size", POINT { 0, 0 });
    s_sipSize = SIZE { size.x, size.y };
    Log().append(u"SIP size ").append(s_sipSize.cx).append(u" ").append(s_sipSize.cy).append(u"\n");
}

void MyIInputMethod::reset_kb_app()
{
    kbApplication::reset();
    s_appMaker = nullptr;
    // No keyboard from an empty skin: the object stays inert after the "NoSkins" message.
    if (skin_loaded() && kbData::instance()) {
        try {
            kbApplication::reset(std::make_unique<kbApplication>(m_skin, m_module, m_sipWindow));
            s_appMaker = this;
        } catch (...) {
            Log().append(u"Error: the skin lacks a part of the keyboard form\n");
        }
    }
    if (kbApplication* app = kbApplication::instance()) {
        app->set_callback(m_callback);
        s_sipSize = app->keyboard_size();
    }
    Log().append(u"CInputMethod::resetKbApp -> SIPsize: ").append(s_sipSize.cx).append(u" ").append(s_sipSize.cy).append(u"\n");
}
