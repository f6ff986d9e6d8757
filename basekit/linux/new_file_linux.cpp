// Creating a new file on Linux: O_CREAT | O_EXCL (which also refuses a
// dangling or any other link of that name) and O_NOFOLLOW.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "basekit/file_io.h"

namespace enctl {

int write_new_file(const char* path, std::span<const std::uint8_t> bytes) noexcept {
    if (!path) return 1;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool closed = ::close(fd) == 0;
    if (done == bytes.size() && closed) return 0;
    ::unlink(path);
    return 2;
}

}  // namespace enctl
