#pragma once
// One instance per process and type: the constructor claims the process-wide pointer, the
// destructor frees it; a second instance is a fatal error.
#include "runtime/Log.h"

template <typename T>
class Singleton {
public:
    Singleton()
    {
        if (s_instance)
            Fatal(u"Singleton is already instantiated", u"Singleton::Singleton()");
        s_instance = this; // T is not built yet: the pointer is cast only when read
    }
    virtual ~Singleton() { s_instance = nullptr; }
    Singleton(const Singleton&) = delete;
    Singleton& operator=(const Singleton&) = delete;

    static T* singleton_instance() { return static_cast<T*>(s_instance); }

private:
    static inline Singleton* s_instance = nullptr;
};
