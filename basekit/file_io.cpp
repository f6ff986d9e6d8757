#include "basekit/file_io.h"

namespace enctl {

long long file_size(const char* path) noexcept {
    if (!path) return -1;
    unique_file file(std::fopen(path, "rb"));
    if (!file) return -1;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return -1;
    const long size = std::ftell(file.get());
    return size < 0 ? -1 : static_cast<long long>(size);
}

int read_file(const char* path, std::span<std::uint8_t> bytes, std::size_t* count) noexcept {
    if (count) *count = 0;
    if (!path) return 1;
    unique_file file(std::fopen(path, "rb"));
    if (!file) return 1;
    const std::size_t n = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (count) *count = n;
    return 0;
}

}  // namespace enctl
