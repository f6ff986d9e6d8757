// Fresh files on Windows: CreateDirectoryA and CREATE_NEW fail when the name
// exists (a file, a folder or a reparse point); the folder keeps the
// inherited access list.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>

#include "basekit/file_io.h"

namespace enctl {

namespace {

unique_file stream_of(HANDLE handle, int flags, const char* mode) noexcept {
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ::GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
        return {};
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0) {
        ::CloseHandle(handle);
        return {};
    }
    unique_file file(::_fdopen(fd, mode));
    if (!file) ::_close(fd);
    return file;
}

HANDLE open_handle(const char* path, DWORD access, DWORD disposition) noexcept {
    return ::CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
}

}  // namespace

int make_fresh_dir(const char* path) noexcept {
    if (!path || !*path) return ENOENT;
    if (::CreateDirectoryA(path, nullptr)) return 0;
    return ::GetLastError() == ERROR_ALREADY_EXISTS ? EEXIST : EACCES;
}

unique_file create_fresh_file(const char* path) noexcept {
    if (!path) return {};
    return stream_of(open_handle(path, GENERIC_WRITE, CREATE_NEW), _O_BINARY | _O_WRONLY, "wb");
}

unique_file open_append_no_follow(const char* path) noexcept {
    if (!path) return {};
    HANDLE handle = open_handle(path, FILE_APPEND_DATA, OPEN_ALWAYS);
    if (handle != INVALID_HANDLE_VALUE) {
        FILE_ATTRIBUTE_TAG_INFO info{};
        if (::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info) &&
            (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            ::CloseHandle(handle);
            errno = EACCES;
            return {};
        }
    }
    return stream_of(handle, _O_BINARY | _O_WRONLY | _O_APPEND, "ab");
}

int write_new_file(const char* path, std::span<const std::uint8_t> bytes) noexcept {
    unique_file file = create_fresh_file(path);
    if (!file) return 1;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    const bool closed = std::fclose(file.release()) == 0;
    if (written && closed) return 0;
    ::DeleteFileA(path);
    return 2;
}

}  // namespace enctl
