#include "runtime/CActive.h"
#include "runtime/Log.h"
#include "runtime/Text.h"

#include <atomic>
#include <string>

namespace {
std::atomic<int32_t> g_counter { 0 };
}

CActive::CActive()
    : m_id(++g_counter)
{
}

CActive::~CActive()
{
    if (m_active)
        Fatal(u"Active object " + Utf16FromUtf8(std::to_string(m_id)) + u" is already active", u"CActive::~CActive()");
}
