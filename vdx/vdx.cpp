// Device model, enumeration list, attached data chain, lifecycle and the
// SCSI, ATA and NVMe dispatch on the interface number.
#include "vdx/vdx.h"

#include <algorithm>
#include <new>
#include <utility>

#include "basekit/fixed_text.h"
#include "basekit/trace.h"
#include "vdx/vdx_backend.h"
#include "vdx/vdx_sat.h"

namespace enctl {

namespace {

std::unique_ptr<vdx_dev[]> allocate_devices(std::uint32_t count) {
    try {
        return std::make_unique<vdx_dev[]>(count);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

template <std::size_t N>
bool in_set(std::uint32_t value, const std::uint32_t (&set)[N]) {
    return std::find(std::begin(set), std::end(set), value) != std::end(set);
}

struct interface_name {
    std::uint32_t interface;
    const char* name;
};
constexpr interface_name kInterfaceNames[] = {
    {kVdxInterfaceNvme, "WINDOWS_NVME"},
    {kVdxInterfaceNvmeIntelRst, "WINDOWS_NVME_INTEL_RST"},
    {kVdxInterfaceNvmeIntelRste, "WINDOWS_NVME_INTEL_RSTE"},
    {kVdxInterfaceNvmeZmIuo, "WINDOWS_NVME_ZM_IUO"},
    {kVdxInterfaceScsi, "WINDOWS_SCSI"},
    {kVdxInterfaceScsiSatAta, "WINDOWS_SCSI_SAT_ATA"},
    {kVdxInterfaceAta, "WINDOWS_ATA"},
    {kVdxInterfaceAdaptecScsi, "ADAPTEC_SCSI"},
    {kVdxInterfaceAdaptecAta, "ADAPTEC_ATA"},
    {kVdxInterfaceMegaraidScsi, "MEGARAID_SCSI"},
    {kVdxInterfaceMegaraidAta, "MEGARAID_ATA"},
    {kVdxInterfaceMarvellNevox, "MARVELL_NEVOX"},
    {kVdxInterfaceUsbRootHub, "USB_ROOT_HUB"},
};

// Probe predicates in the order they are asked.
struct probe_step {
    vdx_probe_fn vdx_backend_ops::*predicate;
    std::uint32_t interface;
    const char* trace;
};
constexpr probe_step kProbeSteps[] = {
    {&vdx_backend_ops::probe_nvme_intel_rst, kVdxInterfaceNvmeIntelRst, "detected WINDOWS_NVME_INTEL_RST\n"},
    {&vdx_backend_ops::probe_nvme_zm_iuo, kVdxInterfaceNvmeZmIuo, "detected WINDOWS_NVME_ZM_IUO\n"},
    {&vdx_backend_ops::probe_nvme, kVdxInterfaceNvme, "detected WINDOWS_NVME\n"},
    {&vdx_backend_ops::probe_ata, kVdxInterfaceAta, "detected WINDOWS_ATA\n"},
    {&vdx_backend_ops::probe_ata_csmi, kVdxInterfaceAta, "detected WINDOWS_ATA (via CSMI)\n"},
    {&vdx_backend_ops::probe_scsi_sat_ata, kVdxInterfaceScsiSatAta, "detected WINDOWS_SCSI_SAT_ATA\n"},
    {&vdx_backend_ops::probe_scsi, kVdxInterfaceScsi, "detected WINDOWS_SCSI\n"},
};

// SCSI path per interface.
struct scsi_route {
    std::uint32_t interface;
    vdx_backend_kind kind;
};
constexpr scsi_route kScsiRoutes[] = {
    {kVdxInterfaceNvme, vdx_backend_kind::platform},
    {kVdxInterfaceNvmeIntelRst, vdx_backend_kind::platform},
    {kVdxInterfaceScsi, vdx_backend_kind::platform},
    {kVdxInterfaceScsiSatAta, vdx_backend_kind::platform},
    {kVdxInterfaceAta, vdx_backend_kind::platform},
    {kVdxInterfaceAdaptecScsi, vdx_backend_kind::adaptec},
    {kVdxInterfaceMegaraidScsi, vdx_backend_kind::megaraid},
};

// ATA path per interface.
enum class ata_path { sat, native };
struct ata_route {
    std::uint32_t interface;
    vdx_backend_kind kind;
    ata_path path;
};
constexpr ata_route kAtaRoutes[] = {
    {kVdxInterfaceScsiSatAta, vdx_backend_kind::platform, ata_path::sat},
    {kVdxInterfaceAta, vdx_backend_kind::platform, ata_path::native},
    {kVdxInterfaceAdaptecAta, vdx_backend_kind::adaptec, ata_path::native},
    {kVdxInterfaceMegaraidAta, vdx_backend_kind::megaraid, ata_path::native},
};

// NVMe path per interface (all through the platform table).
struct nvme_route {
    std::uint32_t interface;
    vdx_nvme_fn vdx_backend_ops::*execute;
};
constexpr nvme_route kNvmeRoutes[] = {
    {kVdxInterfaceNvme, &vdx_backend_ops::nvme_execute},
    {kVdxInterfaceNvmeIntelRst, &vdx_backend_ops::nvme_intel_rst_execute},
    {kVdxInterfaceNvmeIntelRste, &vdx_backend_ops::nvme_intel_rste_execute},
    {kVdxInterfaceNvmeZmIuo, &vdx_backend_ops::nvme_zm_iuo_execute},
    {kVdxInterfaceMarvellNevox, &vdx_backend_ops::nvme_marvell_execute},
};

const vdx_backend_ops* backend_for(const vdx_dev& dev, vdx_backend_kind kind) {
    return kind == vdx_backend_kind::platform ? vdx_backend_of(dev) : vdx_backend_get(kind);
}

// Connections whose handles belong to a RAID wrapper rather than to the table
// that listed the device.
struct lifecycle_route {
    std::uint32_t connection;
    vdx_backend_kind kind;
};
constexpr lifecycle_route kLifecycleRoutes[] = {
    {kVdxConnectionAdaptec, vdx_backend_kind::adaptec},
    {kVdxConnectionMegaraid, vdx_backend_kind::megaraid},
};

// The table that owns a device's handles: the wrapper for connections 5 and
// 6, the device's own platform table otherwise.
const vdx_backend_ops* lifecycle_backend(const vdx_dev& dev) {
    for (const lifecycle_route& route : kLifecycleRoutes)
        if (route.connection == dev.connection) return vdx_backend_get(route.kind);
    return vdx_backend_of(dev);
}

}  // namespace

// ---------------------------------------------------------------------------
// Data chain nodes and device records.

vdx_dev_data::~vdx_dev_data() {
    if (destructor && payload) destructor(payload);
    payload = nullptr;
    // Release the rest of the chain iteratively, in chain order.
    std::unique_ptr<vdx_dev_data> rest = std::move(next);
    while (rest) {
        std::unique_ptr<vdx_dev_data> after = std::move(rest->next);
        rest.reset();
        rest = std::move(after);
    }
}

bool vdx_dev::owns_resources() const noexcept {
    return user_data != nullptr || os_handle != kVdxInvalidHandle ||
           second_handle != kVdxInvalidHandle;
}

void vdx_dev::copy_plain_fields(const vdx_dev& src) noexcept {
    std::copy(std::begin(src.name), std::end(src.name), std::begin(name));
    interface = src.interface;
    connection = src.connection;
    connection_driver = src.connection_driver;
    os_handle = kVdxInvalidHandle;
    std::copy(std::begin(src.device_path), std::end(src.device_path), std::begin(device_path));
    scsi_address = src.scsi_address;
    physical_drive_number = src.physical_drive_number;
    second_handle = kVdxInvalidHandle;
    std::copy(std::begin(src.second_path), std::end(src.second_path), std::begin(second_path));
    backend_index = src.backend_index;
    backend = src.backend;
    timed_out = src.timed_out;
}

void vdx_dev::copy_fields_from(const vdx_dev& src) {
    copy_plain_fields(src);
    backend_state = src.backend_state ? src.backend_state->clone() : nullptr;
}

void vdx_dev::take(vdx_dev& other) noexcept {
    copy_plain_fields(other);
    backend_state = std::move(other.backend_state);
    user_data = std::move(other.user_data);
    os_handle = std::exchange(other.os_handle, kVdxInvalidHandle);
    second_handle = std::exchange(other.second_handle, kVdxInvalidHandle);
}

vdx_dev::vdx_dev(vdx_dev&& other) noexcept { take(other); }

vdx_dev& vdx_dev::operator=(vdx_dev&& other) noexcept {
    if (this == &other) return *this;
    if (owns_resources()) vdx_dev_cleanup(this);
    take(other);
    return *this;
}

vdx_dev::~vdx_dev() {
    if (owns_resources()) vdx_dev_cleanup(this);
}

vdx_dev_list::~vdx_dev_list() { vdx_dev_release(this); }

// ---------------------------------------------------------------------------
// Interface classes and predicates.

bool vdx_is_scsi_interface(std::uint32_t interface) {
    static constexpr std::uint32_t kSet[] = {2, 3, 9, 10, 11, 13, 15};
    return in_set(interface, kSet);
}

bool vdx_is_ata_interface(std::uint32_t interface) {
    static constexpr std::uint32_t kSet[] = {3, 10, 12, 14, 16, 19};
    return in_set(interface, kSet);
}

bool vdx_is_nvme_interface(std::uint32_t interface) {
    static constexpr std::uint32_t kSet[] = {1, 4, 5, 6, 7, 8, 17, 20};
    return in_set(interface, kSet);
}

bool vdx_dev_is_intel_rst(const vdx_dev& dev) {
    return dev.interface == 6 || dev.interface == 11 || dev.connection_driver == kVdxDriverIntelRst;
}
bool vdx_dev_is_intel_rste(const vdx_dev& dev) {
    return dev.interface == kVdxInterfaceNvmeIntelRste || dev.connection_driver == kVdxDriverIntelRste;
}
bool vdx_dev_is_marvell(const vdx_dev& dev) { return dev.interface == kVdxInterfaceMarvellNevox; }
bool vdx_dev_is_adaptec(const vdx_dev& dev) { return dev.connection == kVdxConnectionAdaptec; }
bool vdx_dev_is_megaraid(const vdx_dev& dev) { return dev.connection == kVdxConnectionMegaraid; }
bool vdx_dev_is_csmi(const vdx_dev& dev) { return dev.connection == kVdxConnectionCsmi; }
bool vdx_dev_is_storage(const vdx_dev& dev) { return dev.connection == kVdxConnectionStorage; }
bool vdx_dev_is_adaptec_raid_driver(const vdx_dev& dev) {
    return dev.connection_driver == kVdxDriverAdaptecRaid;
}

bool vdx_has_scsi_path(const vdx_dev& dev) {
    return std::any_of(std::begin(kScsiRoutes), std::end(kScsiRoutes),
                       [&](const scsi_route& route) { return route.interface == dev.interface; });
}

const char* vdx_interface_name(std::uint32_t interface) {
    for (const auto& row : kInterfaceNames)
        if (row.interface == interface) return row.name;
    return "";
}

// ---------------------------------------------------------------------------
// The list.

vdx_dev* vdx_dev_enumeration_push_back(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    if (!list) return nullptr;
    if (list->count >= kVdxMaxDevices) {
        TRACE_AT(kTraceDevice, "%s: device table full (%u devices)\n", __func__, kVdxMaxDevices);
        return nullptr;
    }
    if (!list->devices || list->count + 1 >= list->capacity) {
        std::uint32_t capacity = list->devices ? list->capacity * 2 : kVdxInitialCapacity;
        capacity = std::min(capacity, kVdxMaxDevices + 1);
        auto grown = allocate_devices(capacity);
        if (!grown) {
            TRACE_AT(kTraceDevice, "%s: failed to allocate memory", __func__);
            return nullptr;
        }
        for (std::uint32_t i = 0; i < list->count; ++i) grown[i] = std::move(list->devices[i]);
        list->devices = std::move(grown);
        list->capacity = capacity;
    }
    vdx_dev& record = list->devices[list->count++];
    record = vdx_dev{};
    record.backend_index = -1;
    record.scsi_address.port = 255;
    return &record;
}

void vdx_dev_enumeration_pop_back(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    if (!list || list->count == 0 || !list->devices) return;
    vdx_dev& last = list->devices[list->count - 1];
    if (last.owns_resources()) vdx_dev_cleanup(&last);
    last = vdx_dev{};
    --list->count;
}

void vdx_dev_release(vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    if (!list) return;
    for (std::uint32_t i = 0; list->devices && i < list->count; ++i) {
        TRACE_AT(kTraceDevice, "cleaning up device %u/%u from enumeration\n", i + 1, list->count);
        vdx_dev_cleanup(&list->devices[i]);
    }
    TRACE_AT(kTraceDevice, "freeing devices memory allocated from enumeration (%ph)\n",
             static_cast<void*>(list->devices.get()));
    list->devices.reset();
    list->capacity = 0;
    list->count = 0;
}

void vdx_dev_enumerate_flags(vdx_dev_list* list, std::uint32_t flags) {
    TRACE_ENTER_EXIT();
    if (!list) return;
    vdx_dev_release(list);
    list->devices = allocate_devices(kVdxInitialCapacity);
    if (!list->devices) {
        TRACE_AT(kTraceDevice, "%s: failed to allocate memory", __func__);
        return;
    }
    list->capacity = kVdxInitialCapacity;
    for (std::size_t slot = 0; slot < kVdxEnumeratorSlots; ++slot) {
        if (!(flags & kVdxEnumerateOrder[slot])) continue;
        for (const vdx_backend_ops* ops : vdx_backends()) {
            if (!ops || !ops->enumerate[slot]) continue;
            const std::uint32_t first = list->count;
            ops->enumerate[slot](list);
            for (std::uint32_t i = first; i < list->count; ++i)
                if (!list->devices[i].backend) list->devices[i].backend = ops;
        }
    }
}

void vdx_dev_enumerate_all(vdx_dev_list* list) { vdx_dev_enumerate_flags(list, kVdxEnumAll); }

vdx_dev* vdx_dev_append_copy(vdx_dev_list* table, const vdx_dev& src) {
    vdx_dev* slot = vdx_dev_enumeration_push_back(table);
    if (!slot) return nullptr;
    if (vdx_dev_copy(slot, &src) != 0) {
        vdx_dev_enumeration_pop_back(table);
        return nullptr;
    }
    return slot;
}

// ---------------------------------------------------------------------------
// Data chain.

void vdx_dev_data_add(vdx_dev* dev, std::unique_ptr<vdx_dev_data> node) {
    if (!dev || !node) return;
    node->next.reset();
    if (!dev->user_data) {
        node->prev = nullptr;
        dev->user_data = std::move(node);
        return;
    }
    vdx_dev_data* last = dev->user_data.get();
    while (last->next) last = last->next.get();
    node->prev = last;
    last->next = std::move(node);
}

void vdx_dev_data_cleanup(vdx_dev* dev) {
    if (!dev) return;
    std::unique_ptr<vdx_dev_data> node = std::move(dev->user_data);
    while (node) {
        std::unique_ptr<vdx_dev_data> next = std::move(node->next);
        node.reset();  // destructor(payload), then the node is freed
        node = std::move(next);
    }
}

vdx_dev_data* vdx_dev_data_first(const vdx_dev& dev) { return dev.user_data.get(); }

vdx_dev_data* vdx_dev_data_find(const vdx_dev& dev, std::uint64_t tag) {
    for (vdx_dev_data* node = dev.user_data.get(); node; node = node->next.get())
        if (node->tag == tag) return node;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Lifecycle.

int vdx_dev_copy(vdx_dev* dest, const vdx_dev* src) {
    TRACE_ENTER_EXIT();
    if (!dest || !src) {
        TRACE_AT(kTraceDevice, "invalid dest (%p) or src (%p) pointer for device copy\n",
                 static_cast<void*>(dest), static_cast<const void*>(src));
        return 1;
    }
    if (dest == src) return 0;
    if (dest->owns_resources()) vdx_dev_cleanup(dest);
    dest->copy_fields_from(*src);

    int result = 0;
    for (const vdx_dev_data* node = src->user_data.get(); node; node = node->next.get()) {
        if (!node->copy) {
            TRACE_AT(kTraceDevice, "data node with tag %llu of %s has no copy function - not copied\n",
                     static_cast<unsigned long long>(node->tag), src->name);
            continue;
        }
        auto copy = std::make_unique<vdx_dev_data>();
        copy->tag = node->tag;
        copy->copy = node->copy;
        copy->destructor = node->destructor;
        void* payload = nullptr;
        if (node->copy(&payload, node->payload) != 0) {
            TRACE_AT(kTraceDevice, "data node with tag %llu of %s could not be copied\n",
                     static_cast<unsigned long long>(node->tag), src->name);
            result = 1;
            continue;
        }
        copy->payload = payload;
        vdx_dev_data_add(dest, std::move(copy));
    }

    const vdx_backend_ops* ops = lifecycle_backend(*src);
    if (ops && ops->copy && ops->copy(dest, src) != 0) result = 1;
    return result;
}

int vdx_dev_cleanup(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (!dev) {
        TRACE_AT(kTraceDevice, "invalid device - skip cleanup\n");
        return 1;
    }
    vdx_dev_data_cleanup(dev);
    const vdx_backend_ops* ops = lifecycle_backend(*dev);
    if (ops && ops->cleanup) return ops->cleanup(dev);
    return 0;
}

bool vdx_dev_is_open(const vdx_dev& dev) {
    if (dev.connection == kVdxConnectionUsbRootHub || dev.interface == kVdxInterfaceUsbRootHub ||
        dev.connection == kVdxConnectionAdaptec || dev.connection == kVdxConnectionMegaraid)
        return true;
    if (dev.os_handle == kVdxInvalidHandle) return false;
    if (dev.connection == kVdxConnectionStorage && dev.connection_driver == kVdxDriverIntelRst)
        return dev.second_handle != kVdxInvalidHandle;
    return true;
}

int vdx_dev_open(vdx_error* error, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (!dev) return VDX_ERROR(error, kErrNotSupported, 0, "invalid device");
    if (vdx_dev_is_open(*dev)) return 0;
    const vdx_backend_ops* ops = lifecycle_backend(*dev);
    if (!ops || !ops->open)
        return VDX_ERROR(error, kErrNotSupported, dev->interface, "open not supported on device %s",
                         dev->name);
    return ops->open(error, dev);
}

int vdx_dev_close(vdx_error* error, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (!dev || !vdx_dev_is_open(*dev)) return 0;
    const vdx_backend_ops* ops = lifecycle_backend(*dev);
    if (!ops || !ops->close) return 0;
    return ops->close(error, dev);
}

int vdx_dev_probe(vdx_error* error, vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    if (!dev) return VDX_ERROR(error, kErrNoInterface, 0, "unable to find a supported interface for device %s", "");
    TRACE_AT(kTraceDevice, "probe device %s\n", dev->name);
    if (vdx_dev_check_answering(error, dev)) return 1;
    if (vdx_dev_open(error, dev) != 0) return 1;

    if (dev->interface == kVdxInterfaceNvmeIntelRste) {
        TRACE_AT(kTraceDevice, "detected WINDOWS_NVME_INTEL_RSTE\n");
    } else if (dev->interface != kVdxInterfaceMarvellNevox) {
        const vdx_backend_ops* ops = vdx_backend_of(*dev);
        for (const probe_step& step : kProbeSteps) {
            vdx_probe_fn predicate = ops ? ops->*step.predicate : nullptr;
            if (predicate && predicate(dev)) {
                dev->interface = step.interface;
                TRACE_AT(kTraceDevice, "%s", step.trace);
                break;
            }
        }
    }
    if (dev->connection == kVdxConnectionAdaptec || dev->connection == kVdxConnectionMegaraid) {
        const vdx_backend_ops* library = lifecycle_backend(*dev);
        if (library && library->probe_library && library->probe_library(dev))
            TRACE_AT(kTraceDevice, "detected %s\n", vdx_interface_name(dev->interface));
    }
    // A probe command that timed out leaves the device unprobed.
    if (vdx_dev_check_answering(error, dev)) return 1;
    if (dev->interface == kVdxInterfaceUnknown)
        return VDX_ERROR(error, kErrNoInterface, 0, "unable to find a supported interface for device %s",
                         dev->name);
    return 0;
}

int vdx_dev_bus_number(const vdx_dev& dev) {
    const vdx_backend_ops* ops = vdx_backend_of(dev);
    return ops && ops->bus_number ? ops->bus_number(&dev) : -1;
}

bool vdx_adaptec_present() {
    return std::any_of(vdx_backends().begin(), vdx_backends().end(), [](const vdx_backend_ops* ops) {
        return ops && ops->adaptec_present && ops->adaptec_present();
    });
}

// ---------------------------------------------------------------------------
// Dispatch.

int vdx_dev_timed_out(vdx_error* error, vdx_dev* dev, const char* what) {
    if (dev) {
        dev->timed_out = true;
        TRACE_AT(kTraceDevice, "%s: command timed out (%s) - no further commands to it in this run\n", dev->name,
                 what ? what : "");
    }
    return VDX_ERROR(error, kErrOsRequest, kVdxSubcodeTimedOut, "command timed out on device %s (%s)",
                     dev ? dev->name : "", what ? what : "");
}

int vdx_dev_check_answering(vdx_error* error, const vdx_dev* dev) {
    if (!dev || !dev->timed_out) return 0;
    TRACE_AT(kTraceDevice, "%s: timed out earlier in this run - command not sent\n", dev->name);
    return VDX_ERROR(error, kErrOsRequest, kVdxSubcodeTimedOut,
                     "device %s timed out earlier in this run - command not sent", dev->name);
}

int vdx_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (!dev || !cmd) return VDX_ERROR(error, kErrNotSupported, 0, "scsi execute not supported on device %s", "");
    if (vdx_dev_check_answering(error, dev)) return 1;
    for (const scsi_route& route : kScsiRoutes) {
        if (route.interface != dev->interface) continue;
        const vdx_backend_ops* ops = backend_for(*dev, route.kind);
        if (ops && ops->scsi_execute) return ops->scsi_execute(error, dev, cmd);
        break;
    }
    return VDX_ERROR(error, kErrNotSupported, dev->interface, "scsi execute not supported on device %s",
                     dev->name);
}

int vdx_ata_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (!dev || !cmd) return VDX_ERROR(error, kErrNotSupported, 0, "interface is not supported by ata execute");
    if (vdx_dev_check_answering(error, dev)) return 1;
    for (const ata_route& route : kAtaRoutes) {
        if (route.interface != dev->interface) continue;
        const vdx_backend_ops* ops = backend_for(*dev, route.kind);
        if (!ops) break;
        if (route.path == ata_path::sat) {
            if (!ops->scsi_execute) break;
            vdx_scsi_cmd scsi;
            vdx_scsi_build_ata_pass_through(&scsi, *cmd);
            const int result = ops->scsi_execute(error, dev, &scsi);
            if (result == 0) vdx_scsi_fill_ata_result_from_sat(scsi, cmd);
            return result;
        }
        vdx_ata_fn execute = (route.kind == vdx_backend_kind::platform &&
                              dev->connection == kVdxConnectionCsmi)
                                 ? ops->ata_csmi_execute
                                 : ops->ata_execute;
        if (execute) return execute(error, dev, cmd);
        break;
    }
    return VDX_ERROR(error, kErrNotSupported, dev->interface, "interface is not supported by ata execute");
}

int vdx_nvme_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    TRACE_ENTER_EXIT();
    if (!dev || !cmd) return VDX_ERROR(error, kErrNotSupported, 0, "nvme execute not supported on device %s", "");
    if (vdx_dev_check_answering(error, dev)) return 1;
    for (const nvme_route& route : kNvmeRoutes) {
        if (route.interface != dev->interface) continue;
        const vdx_backend_ops* ops = vdx_backend_of(*dev);
        vdx_nvme_fn execute = ops ? ops->*route.execute : nullptr;
        if (execute) return execute(error, dev, cmd);
        break;
    }
    return VDX_ERROR(error, kErrNotSupported, dev->interface, "nvme execute not supported on device %s",
                     dev->name);
}

}  // namespace enctl
