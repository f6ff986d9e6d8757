// Small sysfs readers of the Linux backend (internal to vdx/linux).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace enctl::linux_sysfs {

struct hctl {
    std::uint32_t host = 0;
    std::uint32_t channel = 0;
    std::uint32_t target = 0;
    std::uint64_t lun = 0;
};

// "H:C:T:L" in decimal, nothing else.
std::optional<hctl> parse_hctl(std::string_view text);
// The text of a small regular file (at most 64 KiB read) without trailing
// white space; none when unreadable or not a regular file (a FIFO there is
// never opened).
std::optional<std::string> read_text(const std::filesystem::path& file);
// The folder a symlink below the root leads to, resolved through every link
// on the way: a relative target is taken from the link's real folder, an
// absolute one is put below the root. None when the entry is not a symlink or
// leads nowhere.
std::optional<std::filesystem::path> resolve_link(const std::filesystem::path& link);

// While one lives, resolve_link on this thread remembers the folders it found
// to be no links, so that a walk over thousands of entries below the same
// folders asks about each folder once. Made for one pass over the tree (the
// tree may change between passes).
class link_walk_scope {
public:
    link_walk_scope();
    ~link_walk_scope();
    link_walk_scope(const link_walk_scope&) = delete;
    link_walk_scope& operator=(const link_walk_scope&) = delete;

private:
    std::unordered_set<std::string> real_folders_;
    std::unordered_set<std::string>* outer_;  // the scope this one is inside, if any
};
// The number after `prefix` in a name such as "sg12" or "nvme0"; none unless
// the rest is all decimal digits.
std::optional<std::uint32_t> parse_numbered(std::string_view name, std::string_view prefix);

}  // namespace enctl::linux_sysfs
