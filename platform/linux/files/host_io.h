#pragma once
// Reading and writing host descriptors (files, sockets) in full.
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// Moves up to size bytes with io(offset, count), a read, write or send at that offset,
// retrying interrupted calls, and stops at the first call that moves nothing. Returns that
// call's result (0 at the end of a file, negative with errno on failure), or 1 when all of
// size moved; done counts what did.
template <typename Io>
ssize_t transfer(size_t size, size_t& done, Io io)
{
    done = 0;
    while (done < size) {
        ssize_t n = io(done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n;
        done += static_cast<size_t>(n);
    }
    return 1;
}

// A small file that one process of the device rewrites while others read it (a program's
// window list, the panel's state). It is rewritten in place under a lock instead of replaced:
// a reader never sees half of it, and a rewrite makes and frees no file on the disk, which
// waits behind every other program's writes when the device is busy.
bool writeSharedFile(const std::string& path, std::string_view bytes);
// Its bytes; nothing when it is not there.
std::optional<std::string> readSharedFile(const std::string& path);

}
