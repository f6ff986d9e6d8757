// A gzip-compressed tar archive built in memory, the form in which the
// enclosures hand out their log bundle.
#pragma once

#include <string>
#include <vector>

#include "sim/bytes.h"

namespace enctl::sim {

struct archive_member {
    std::string name;  // at most 99 characters (ustar name field)
    std::string content;
};

// The members as a ustar archive, compressed as one gzip member. Every
// member's time stamp is `mtime` (seconds since 1970), so that the same
// members always give the same bytes.
bytes build_tar_gz(const std::vector<archive_member>& members, std::uint64_t mtime);

}  // namespace enctl::sim
