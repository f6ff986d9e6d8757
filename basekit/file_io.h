// Whole-file helpers: the size of a file and reading it into a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace enctl {

// Size in bytes of the file (opened for binary reading, measured by seeking
// to its end); -1 when it cannot be opened.
long long file_size(const char* path) noexcept;

// Read at most bytes.size() bytes from the start of the file into `bytes`.
// Returns 0, or 1 when the file cannot be opened. `count`, when given,
// receives the number of bytes read.
int read_file(const char* path, std::span<std::uint8_t> bytes, std::size_t* count = nullptr) noexcept;

}  // namespace enctl
