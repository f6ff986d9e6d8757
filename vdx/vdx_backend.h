// The backends of the device layer and the one array that holds them.
//
// A backend is one table of operations (vdx_backend_ops): the platform's own
// (vdx/linux, vdx/windows), each RAID wrapper, and the backend tests install.
// They are peers: each lists devices through its enumerators, a device
// remembers the table that listed it (vdx_dev::backend) and that table serves
// its platform paths; the dispatch in vdx.cpp picks the entry from the
// device's interface and connection. An absent entry means "this backend has
// no such path".
//
// Adding a backend is one file that defines its table, and one slot: a kind
// below and its built-in table in kBuiltinBackends (vdx_backend.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vdx/vdx.h"

namespace enctl {

using vdx_enumerate_fn = void (*)(vdx_dev_list* list);
using vdx_probe_fn = bool (*)(vdx_dev* dev);
using vdx_scsi_fn = int (*)(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd);
using vdx_ata_fn = int (*)(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
using vdx_nvme_fn = int (*)(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd);

// Enumerator slots, in the order they run (the flag of each slot is
// kVdxEnumerateOrder[slot]).
inline constexpr std::uint32_t kVdxEnumerateOrder[] = {
    kVdxEnumDisks,     kVdxEnumIdeControllers, kVdxEnumScsiControllers,
    kVdxEnumCsmi,      kVdxEnumIntelRste,      kVdxEnumSes,
    kVdxEnumUsbRootHubs, kVdxEnumAdaptec,      kVdxEnumMegaraid,
};
inline constexpr std::size_t kVdxEnumeratorSlots = std::size(kVdxEnumerateOrder);

struct vdx_backend_ops {
    const char* name;

    // 1. enumerators, by slot of kVdxEnumerateOrder (absent: adds nothing)
    vdx_enumerate_fn enumerate[kVdxEnumeratorSlots];

    // 2. open and close of the OS handle(s); cleanup of backend state
    int (*open)(vdx_error* error, vdx_dev* dev);
    int (*close)(vdx_error* error, vdx_dev* dev);
    int (*cleanup)(vdx_dev* dev);
    // 3. the backend part of a copy: `dest` already holds src's fields with
    //    invalid handles; open independent handles when src has open ones.
    int (*copy)(vdx_dev* dest, const vdx_dev* src);

    // 4. probe predicates, asked in this order
    vdx_probe_fn probe_nvme_intel_rst;  // 6
    vdx_probe_fn probe_nvme_zm_iuo;     // 8
    vdx_probe_fn probe_nvme;            // 5
    vdx_probe_fn probe_ata;             // 12
    vdx_probe_fn probe_ata_csmi;        // 12 through CSMI
    vdx_probe_fn probe_scsi_sat_ata;    // 10
    vdx_probe_fn probe_scsi;            // 9
    // the probe of a helper library (Adaptec, MegaRAID): sets the interface
    vdx_probe_fn probe_library;

    // 5. SCSI execute; a failed request is kErrOsRequest with the OS error number
    vdx_scsi_fn scsi_execute;
    // 6. ATA and NVMe paths
    vdx_ata_fn ata_execute;       // kVdxInterfaceAta (or the library's ATA path)
    vdx_ata_fn ata_csmi_execute;  // kVdxInterfaceAta with connection 1
    vdx_nvme_fn nvme_execute;            // 5
    vdx_nvme_fn nvme_intel_rst_execute;  // 6
    vdx_nvme_fn nvme_intel_rste_execute; // 7
    vdx_nvme_fn nvme_zm_iuo_execute;     // 8
    vdx_nvme_fn nvme_marvell_execute;    // 17

    // The platform queries of discovery.
    int (*bus_number)(const vdx_dev* dev);
    bool (*adaptec_present)();
};

// The slots of the backend array, in the order enumeration runs them.
enum class vdx_backend_kind : std::uint8_t { platform, adaptec, megaraid, test };
inline constexpr std::size_t kVdxBackendKinds = 4;

// The table in a slot; none when the slot is empty. Until something else is
// installed a slot holds its built-in table (the platform slot the build's own
// platform backend; the others none yet).
const vdx_backend_ops* vdx_backend_get(vdx_backend_kind kind);
// Puts `ops` into a slot (none empties it) and returns what was there.
const vdx_backend_ops* vdx_backend_install(vdx_backend_kind kind, const vdx_backend_ops* ops);
// Every slot in kind order (an empty slot is none).
std::span<const vdx_backend_ops* const> vdx_backends();
// The build's platform table (defined in the platform folder).
const vdx_backend_ops& vdx_platform_backend();

// The table of a device's platform paths: the one that listed it, else the
// platform slot's.
const vdx_backend_ops* vdx_backend_of(const vdx_dev& dev);

// Installs a table into a slot for the lifetime of the object, then puts
// back what was there.
class vdx_backend_scope {
public:
    vdx_backend_scope(vdx_backend_kind kind, const vdx_backend_ops* ops)
        : kind_(kind), previous_(vdx_backend_install(kind, ops)) {}
    ~vdx_backend_scope() { vdx_backend_install(kind_, previous_); }
    vdx_backend_scope(const vdx_backend_scope&) = delete;
    vdx_backend_scope& operator=(const vdx_backend_scope&) = delete;

private:
    vdx_backend_kind kind_;
    const vdx_backend_ops* previous_;
};

}  // namespace enctl
