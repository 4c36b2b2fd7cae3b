// Code-page conversion: the device's one route between UTF-16 and UTF-8, shared with the
// platform's own host boundary (host_text).
#include "winnls.h"
#include "winbase.h"
#include "linux/text/host_text.h"

#include <climits>
#include <cstring>

namespace {

// Copies a converted text into the caller's buffer by the platform's counting rules.
template <typename Char, typename Text>
int deliver(const Text& text, Char* buffer, int size)
{
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    int needed = static_cast<int>(text.size());
    if (size == 0)
        return needed;
    if (!buffer || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text.data(), text.size() * sizeof(Char));
    return needed;
}

bool badArguments(UINT codePage, const void* input, int count, int outputSize)
{
    if (codePage != CP_UTF8 || !input || count == 0 || count < -1 || outputSize < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return true;
    }
    return false;
}

}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR bytes, int byteCount,
    LPCSTR defaultChar, BOOL* usedDefault)
{
    if (badArguments(codePage, wide, wideCount, byteCount) || flags || defaultChar || usedDefault) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = wideCount == -1 ? sim::wideLength(wide) + 1 : static_cast<size_t>(wideCount);
    return deliver(sim::toUtf8(std::u16string_view(wide, length)), bytes, byteCount);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR wide, int wideCount)
{
    if (badArguments(codePage, bytes, byteCount, wideCount) || flags) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = byteCount == -1 ? std::strlen(bytes) + 1 : static_cast<size_t>(byteCount);
    return deliver(sim::toUtf16(std::string_view(bytes, length)), wide, wideCount);
}
