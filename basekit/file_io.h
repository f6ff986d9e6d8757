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

// Creates the file fresh and writes `bytes` into it: the call fails when
// anything (a file, a directory, a link) already has that name, so that a
// file written as root never follows a planted link. 0 success, 1 cannot
// create, 2 write failed (the partial file is removed).
int write_new_file(const char* path, std::span<const std::uint8_t> bytes) noexcept;

}  // namespace enctl
