// The program context of a run: host name, base and log directories, the
// package (log folder) name and the program's own path.
#pragma once

#include <cstddef>
#include <ctime>

namespace enctl {

inline constexpr std::size_t kHostNameSize = 256;
inline constexpr std::size_t kContextPathSize = 1024;

struct enctl_data {
    char host_name[kHostNameSize];
    char base_dir[kContextPathSize];        // getlog's pack directory, else the temporary directory
    char package_name[kContextPathSize];    // "enctl_<host>_<YYYYMMDD_HHMMSS>"
    char log_dir[kContextPathSize];         // base dir, separator, package name
    char execution_file[kContextPathSize];  // the program's own path
    char log_sub_dir[kContextPathSize];     // the current capture folder (getlog)
};

extern enctl_data g_enctl_data;

// Fills g_enctl_data. `base_directory` (getlog's pack directory) is used when
// given and not empty, else the system temporary directory; one trailing
// separator is removed.
void init_enctl_data(const char* base_directory);

// The same with an explicit local time (tests).
void init_enctl_data_at(const char* base_directory, const std::tm& now);

}  // namespace enctl
