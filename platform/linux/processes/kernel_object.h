#pragma once
// Objects behind HANDLEs (files, searches, processes, ...). CloseHandle closes any of them;
// each kind adds what else it can do.
#include <windef.h>

#include <memory>

namespace sim {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // WaitForSingleObject on this object; objects that cannot be waited on fail.
    virtual DWORD wait(DWORD milliseconds);
};

HANDLE registerHandle(std::shared_ptr<KernelObject> object);
// The live object behind handle, or nullptr; a closed handle's object lives on while a
// caller still holds it.
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);
template <typename T> std::shared_ptr<T> lookupHandleAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(lookupHandle(handle));
}
// Takes the object out of the table; nullptr for a handle that is not open.
std::shared_ptr<KernelObject> releaseHandle(HANDLE handle);

}
