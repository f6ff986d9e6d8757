// Fresh files on Linux: mkdir 0700 (fails on any existing name), open with
// O_CREAT | O_EXCL (which also refuses a dangling or any other link of that
// name) and O_NOFOLLOW.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "basekit/file_io.h"

namespace enctl {

namespace {

unique_file stream_of(int fd, const char* mode) noexcept {
    if (fd < 0) return {};
    unique_file file(::fdopen(fd, mode));
    if (!file) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return file;
}

}  // namespace

int make_fresh_dir(const char* path) noexcept {
    if (!path || !*path) return ENOENT;
    return ::mkdir(path, 0700) == 0 ? 0 : errno;
}

unique_file create_fresh_file(const char* path) noexcept {
    if (!path) return {};
    return stream_of(::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600), "wb");
}

unique_file open_append_no_follow(const char* path) noexcept {
    if (!path) return {};
    return stream_of(::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600), "ab");
}

int write_new_file(const char* path, std::span<const std::uint8_t> bytes) noexcept {
    unique_file file = create_fresh_file(path);
    if (!file) return 1;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (written && closed) return 0;
    ::unlink(path);
    return 2;
}

}  // namespace enctl
