#pragma once
// Reference counting and QueryInterface for an object of the platform's component model that
// implements one interface: `class Method final : public ComObject<Method, IInputMethod,
// IID_IInputMethod>`. The object starts without a reference; the last Release deletes it as the
// Object it is (interfaces have no virtual destructor, and none is added here, so that the
// interface's table keeps exactly the platform's slots). An object may override the three
// calls to log or to keep a reference of its own, and call these.
#include <objbase.h>

template <typename Object, typename Interface, const IID& kInterface>
class ComObject : public Interface {
public:
    STDMETHOD(QueryInterface)(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == kInterface) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() override { return ++m_references; }
    STDMETHOD_(ULONG, Release)() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete static_cast<Object*>(this);
        return left;
    }

protected:
    ComObject() = default;
    ~ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG references() const { return m_references; }

private:
    ULONG m_references = 0;
};

// Hands a new object (null when it could not be made) out as the interface iid: the query takes
// the caller's reference, and an object whose query fails is freed again.
template <typename Object>
HRESULT QueryNewObject(Object* made, REFIID iid, void** object)
{
    if (!made)
        return E_OUTOFMEMORY;
    made->AddRef();
    const HRESULT result = made->QueryInterface(iid, object);
    made->Release();
    return result;
}
