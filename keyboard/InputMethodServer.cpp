#include "keyboard/InputMethodServer.h"
#include "keyboard/MyIInputMethod.h"
#include "keyboard/kbApplication.h"
#include "keyboard/kbData.h"
#include "runtime/ComObject.h"
#include "runtime/Log.h"
#include "runtime/Application.h"
#include "runtime/Path.h"
#include "runtime/Registry.h"

#include <memory>
#include <new>

namespace {

HINSTANCE s_module = nullptr;
LONG s_locks = 0;

std::unique_ptr<Application>& applicationOwner()
{
    static std::unique_ptr<Application> application;
    return application;
}

const std::u16string kClassKey = std::u16string(u"HKEY_CLASSES_ROOT\\CLSID\\") + kMagnikeysClsid;
constexpr char16_t kSipKey[] = u"HKEY_CURRENT_USER\\ControlPanel\\SIP";
constexpr char16_t kLibraryPath[] = u"%program_files%/Tarn/magnikeys/magnikeys.dll";

class ClassFactory final : public ComObject<ClassFactory, IClassFactory, IID_IClassFactory> {
public:
    explicit ClassFactory(REFCLSID clsid)
        : m_clsid(clsid)
    {
        InputMethodServer::lock();
        if (!Application::instance()) {
            auto& owner = applicationOwner();
            owner.reset();
            owner = std::make_unique<Application>(s_module, u"Magnikeys");
        }
    }
    ~ClassFactory() { InputMethodServer::unlock(); }

    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        if (!(m_clsid == CLSID_Magnikeys))
            return E_FAIL;
        return QueryNewObject(new (std::nothrow) MyIInputMethod(nullptr, s_module), iid, object);
    }
    STDMETHOD(LockServer)(BOOL lock) override
    {
        if (lock)
            InputMethodServer::lock();
        else
            InputMethodServer::unlock();
        return S_OK;
    }

private:
    CLSID m_clsid;
};

}

namespace InputMethodServer {

void set_module(HINSTANCE module) { s_module = module; }
HINSTANCE module() { return s_module; }
LONG lock_count() { return s_locks; }
void lock() { ++s_locks; }
void unlock() { --s_locks; }

void shutdown()
{
    kbApplication::reset();
    kbData::reset();
    applicationOwner().reset();
    ReleaseLog();
}

HRESULT can_unload_now()
{
    return s_locks == 0 ? S_OK : S_FALSE;
}

HRESULT get_class_object(REFCLSID clsid, REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    return QueryNewObject(new (std::nothrow) ClassFactory(clsid), iid, object);
}

HRESULT register_server()
{
    const std::u16string library = ExpandPath(kLibraryPath);
    RegWriteText(kClassKey + u"\\InprocServer32", u"", library);
    RegWriteText(kClassKey + u"\\IsSIPInputMethod", u"", u"1");
    RegWriteText(kClassKey + u"\\DefaultIcon", u"", library + u",0");
    RegWriteText(kClassKey, u"", u"Magnikeys");
    return S_OK;
}

HRESULT unregister_server()
{
    std::u16string current;
    if (RegReadText(kSipKey, u"DefaultIM", current) && current == kMagnikeysClsid)
        RegWriteText(kSipKey, u"DefaultIM", kPlatformKeyboardClsid);
    RegDeleteKey(kClassKey);
    return S_OK;
}

}
