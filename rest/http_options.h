// Option record of the http operation (the fabric-attached enclosure's REST
// service), filled by the command line and then by the Query resource.
#pragma once

#include <cstdint>

namespace enctl {

struct http_options {
    char address[256];       // host part of every URL: IPv4 or host name, optional ":port"
    char user[256];          // "user=<id>"; "admin" when empty
    char password[256];      // "pass=<password>"; the default password when empty
    std::uint32_t fw;        // "fw=" given
    char fw_file[1024];      // path after "fw="
    std::uint32_t getlog;    // "getlog" given
    char getlog_dir[1024];   // path after "dir="; empty: the run's log folder
    std::uint32_t health;    // "health" or "health=bad" given
    std::uint32_t health_bad;  // "health=bad" given
    std::uint32_t iom_set;   // "iom=dhcp" or "iom=<ip4v>" given
    std::uint32_t iom_show;  // "iom" given without value
    char iom_value[256];     // "dhcp" or the IPv4 address after "iom="
    std::uint32_t show;      // "show" or "show=<device>" given
    char show_device[256];   // the name after "show="; empty for plain "show"
    std::uint32_t slot;      // SlotNumber from the Query resource
    char device_name[256];   // Name from the Query resource
};

}  // namespace enctl
