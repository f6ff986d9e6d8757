// Whole-file helpers, and the fresh files: everything the tool writes (as
// root) is created new, so that nothing planted beforehand at a path (a link,
// another user's file or folder) is followed, truncated or written through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

namespace enctl {

struct file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
// A stdio stream closed with its owner.
using unique_file = std::unique_ptr<std::FILE, file_closer>;

// Size in bytes of the file (opened for binary reading, measured by seeking
// to its end); -1 when it cannot be opened.
long long file_size(const char* path) noexcept;

// Read at most bytes.size() bytes from the start of the file into `bytes`.
// Returns 0, or 1 when the file cannot be opened. `count`, when given,
// receives the number of bytes read.
int read_file(const char* path, std::span<std::uint8_t> bytes, std::size_t* count = nullptr) noexcept;

// Makes a new folder, readable by its owner only (0700). Fails when anything
// (a folder, a file, a link) already has that name. 0, or the system's error
// number (EEXIST when the name is taken).
int make_fresh_dir(const char* path) noexcept;

// Creates a new file (0600) and opens it for binary writing. Fails, with
// errno set, when anything already has that name (also a dangling link): on
// Linux O_CREAT | O_EXCL | O_NOFOLLOW. Null on failure.
unique_file create_fresh_file(const char* path) noexcept;

// Creates the file fresh (create_fresh_file) and writes `bytes` into it.
// 0 success, 1 cannot create, 2 write failed (the partial file is removed).
int write_new_file(const char* path, std::span<const std::uint8_t> bytes) noexcept;

// Opens a file for binary appending, creating it (0600) when absent; a link
// at that name is never followed. Null on failure.
unique_file open_append_no_follow(const char* path) noexcept;

}  // namespace enctl
