// Creating a new file on Windows: CREATE_NEW fails when the name exists
// (a file, a directory or a reparse point).
#include <windows.h>

#include "basekit/file_io.h"

namespace enctl {

int write_new_file(const char* path, std::span<const std::uint8_t> bytes) noexcept {
    if (!path) return 1;
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done > 0x40000000 ? 0x40000000 : bytes.size() - done);
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) break;
        done += written;
    }
    const bool closed = ::CloseHandle(file) != 0;
    if (done == bytes.size() && closed) return 0;
    ::DeleteFileA(path);
    return 2;
}

}  // namespace enctl
