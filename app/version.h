// The version listing: each module of the program with its version and the
// source revision it was built from.
#pragma once

namespace enctl {

inline constexpr char kEnctlVersion[] = "2.1.4.0";

// Prints the listing (through the console writer, so it can be captured);
// returns 0.
int display_version_listing();

}  // namespace enctl
