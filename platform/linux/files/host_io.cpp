#include "linux/files/host_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sim {

namespace {

// Holders keep the lock for a read or a write of a few hundred bytes; a holder stopped in
// between (a debugger) must not stop every program of the device: after a while the file is
// used without it.
void lockFile(int fd, int how)
{
    for (int attempt = 0; attempt < 2000 && flock(fd, how | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR); ++attempt)
        usleep(50);
}

}

bool writeSharedFile(const std::string& path, std::string_view bytes)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    size_t done = 0;
    // Written over the old bytes, then cut to length: the file keeps its blocks.
    lockFile(fd, LOCK_EX);
    bool ok = transfer(bytes.size(), done, [&](size_t at, size_t count) { return pwrite(fd, bytes.data() + at, count, off_t(at)); }) > 0
        && ftruncate(fd, off_t(bytes.size())) == 0;
    close(fd);
    return ok;
}

std::optional<std::string> readSharedFile(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    lockFile(fd, LOCK_SH);
    bool ok = true;
    char chunk[4096];
    for (ssize_t n; ok && (n = read(fd, chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ok = false;
        else
            bytes.append(chunk, size_t(n));
    }
    close(fd);
    if (!ok)
        return std::nullopt;
    return bytes;
}

}
