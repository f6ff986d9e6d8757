// A backend table for tests: devices come from a list the test writes,
// commands go to handlers the test installs, and every call is counted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vdx/vdx.h"
#include "vdx/vdx_backend.h"

namespace enctl::testing_fake {

struct fake_entry {
    std::uint32_t flag;  // enumeration flag that lists it
    std::string name;
    std::uint32_t interface;
    std::uint32_t connection;
};

struct fake_state {
    std::vector<fake_entry> entries;
    std::vector<std::string> calls;  // "open disk0", "close disk0", ...
    std::vector<vdx_scsi_cmd> scsi_sent;
    std::vector<std::vector<std::uint8_t>> scsi_data_out;
    std::function<int(vdx_error*, vdx_dev*, vdx_scsi_cmd*)> on_scsi;
    std::function<int(vdx_error*, vdx_dev*, vdx_nvme_cmd*)> on_nvme;
    std::function<bool(vdx_dev*)> probe_nvme, probe_sat, probe_scsi;
    bool fail_open = false;
    bool fail_copy = false;
    std::intptr_t next_handle = 100;
};

inline fake_state g_fake;

inline int fake_open(vdx_error* error, vdx_dev* dev) {
    g_fake.calls.push_back(std::string("open ") + dev->name);
    if (g_fake.fail_open) return VDX_ERROR(error, kErrOsRequest, 2, "could not open %s", dev->name);
    dev->os_handle = g_fake.next_handle++;
    return 0;
}
inline int fake_close(vdx_error*, vdx_dev* dev) {
    g_fake.calls.push_back(std::string("close ") + dev->name);
    dev->os_handle = kVdxInvalidHandle;
    return 0;
}
inline int fake_cleanup(vdx_dev* dev) {
    g_fake.calls.push_back(std::string("cleanup ") + dev->name);
    dev->os_handle = kVdxInvalidHandle;
    return 0;
}
inline int fake_copy(vdx_dev* dest, const vdx_dev* src) {
    if (src->os_handle == kVdxInvalidHandle) return 0;
    g_fake.calls.push_back(std::string("copy ") + src->name);
    if (g_fake.fail_copy) return 1;
    dest->os_handle = g_fake.next_handle++;
    return 0;
}
inline void fake_enumerate(vdx_dev_list* list, std::uint32_t flag) {
    for (const fake_entry& e : g_fake.entries) {
        if (e.flag != flag) continue;
        vdx_dev* rec = vdx_dev_enumeration_push_back(list);
        if (!rec) continue;
        for (std::size_t i = 0; i < e.name.size() && i < sizeof rec->name - 1; ++i) rec->name[i] = e.name[i];
        rec->interface = e.interface;
        rec->connection = e.connection;
    }
}
template <std::uint32_t Flag>
void fake_enumerate_flag(vdx_dev_list* list) { fake_enumerate(list, Flag); }

inline int fake_scsi(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    g_fake.scsi_sent.push_back(*cmd);
    if (cmd->direction == kVdxDirToDevice && cmd->data)
        g_fake.scsi_data_out.emplace_back(cmd->data, cmd->data + cmd->transfer_length);
    else
        g_fake.scsi_data_out.emplace_back();
    if (g_fake.on_scsi) return g_fake.on_scsi(error, dev, cmd);
    cmd->scsi_status = 0;
    cmd->bytes_transferred = cmd->transfer_length;
    return 0;
}
inline int fake_nvme(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    if (g_fake.on_nvme) return g_fake.on_nvme(error, dev, cmd);
    return 0;
}
inline bool fake_probe_nvme(vdx_dev* dev) { return g_fake.probe_nvme && g_fake.probe_nvme(dev); }
inline bool fake_probe_sat(vdx_dev* dev) { return g_fake.probe_sat && g_fake.probe_sat(dev); }
inline bool fake_probe_scsi(vdx_dev* dev) { return g_fake.probe_scsi && g_fake.probe_scsi(dev); }

inline const vdx_backend_ops& fake_backend() {
    static const vdx_backend_ops ops = [] {
        vdx_backend_ops o{};
        o.name = "fake";
        o.enumerate[0] = &fake_enumerate_flag<kVdxEnumDisks>;
        o.enumerate[2] = &fake_enumerate_flag<kVdxEnumScsiControllers>;
        o.enumerate[5] = &fake_enumerate_flag<kVdxEnumSes>;
        o.open = &fake_open;
        o.close = &fake_close;
        o.cleanup = &fake_cleanup;
        o.copy = &fake_copy;
        o.probe_nvme = &fake_probe_nvme;
        o.probe_scsi_sat_ata = &fake_probe_sat;
        o.probe_scsi = &fake_probe_scsi;
        o.scsi_execute = &fake_scsi;
        o.nvme_execute = &fake_nvme;
        return o;
    }();
    return ops;
}

// Installs the fake as the platform backend for the scope, with a clean state.
class fake_backend_scope {
public:
    fake_backend_scope() { g_fake = fake_state{}; }

private:
    vdx_backend_scope installed_{vdx_backend_kind::platform, &fake_backend()};
};

// A device record that belongs to the fake backend.
inline vdx_dev make_fake_device(const char* name, std::uint32_t interface,
                                std::uint32_t connection = kVdxConnectionEnclosure) {
    vdx_dev dev;
    for (std::size_t i = 0; name[i] && i < sizeof dev.name - 1; ++i) dev.name[i] = name[i];
    dev.interface = interface;
    dev.connection = connection;
    dev.backend = &fake_backend();
    return dev;
}

}  // namespace enctl::testing_fake
