// A fake Windows for the backend tests: devices by path that answer
// DeviceIoControl with prepared output, device interface classes for the
// Setup API walk, and a record of every request (path, control code, input
// bytes, output size).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "vdx/vdx.h"
#include "vdx/windows/win32_seam.h"

namespace enctl::fake {

struct request {
    std::string path;
    std::uint32_t code;
    std::vector<std::uint8_t> in;
    std::uint32_t out_size;
};

// Answers one request: fills `out` (already holding the input for requests
// that use one buffer), sets *returned; false fails the call with the error
// number in `error`.
using answer_fn = std::function<bool(std::uint32_t code, const std::vector<std::uint8_t>& in,
                                     std::vector<std::uint8_t>& out, std::uint32_t* returned)>;

struct device {
    answer_fn answer;
    bool opens = true;
};

struct interface_entry {
    std::string path;
    std::string instance_id;
};

// A device node of the configuration manager's tree, with the properties the
// enumerators read (DriverDesc is also the value of its driver key).
struct node {
    std::string instance_id;
    std::string parent;       // instance id; empty at the root
    std::string setup_class;  // GUID text of its setup class
    std::string class_name;   // DEVPKEY_Device_Class
    std::string driver_desc;
    std::string pdo_name;
    std::uint32_t bus_number = 0xFFFFFFFFu;  // none
};

struct world {
    std::map<std::string, device> devices;
    std::map<std::string, std::vector<interface_entry>> interfaces;  // by GUID text
    std::vector<node> nodes;  // DEVINST = index + 1
    std::vector<request> requests;
    std::uint32_t error = 31;  // ERROR_GEN_FAILURE: what a failed call reports
    win32_release release = win32_release::windows_10;
};

// The world the installed calls serve.
world& the_world();
// Calls that serve the_world(); install with win32_calls_scope.
const win32_calls& calls();
// The text form of a GUID, as the keys of world::interfaces.
std::string guid_text(const GUID& guid);

// A disk, NVMe drive or enclosure processor as the drivers in front of it
// answer. `inbox`: the storage stack's requests (device number unless it is
// negative, descriptor, SCSI address when `address`, property queries and
// protocol commands; property data is 11h bytes); `miniport`: the signature
// of the pass-through it takes (data 22h bytes); a bridge answers its adapter
// and disk queries with disks 3 and 7.
struct drive {
    int number = -1;
    std::uint8_t port = 0, path = 0, target = 0;
    bool address = true;
    bool inbox = true;
    std::string miniport{};
    bool bridge = false;
};
device storage_device(drive d);

// The signature of an SRB_IO_CONTROL request.
std::string signature(const std::vector<std::uint8_t>& in);

// One line per record of an enumeration: name, interface, connection, driver
// kind, drive number, paths with whether each is open, SCSI address, and the
// Windows fields that are set (PCI bus and parent, CSMI phy, port and RAID
// membership, RSTe disk id and RAID membership, descriptor length).
std::string records(const vdx_dev_list& list);

// Installs a fresh world for the lifetime of the object.
class scope {
public:
    scope();
    ~scope();
    world& w;

private:
    win32_calls_scope calls_;
};

}  // namespace enctl::fake
