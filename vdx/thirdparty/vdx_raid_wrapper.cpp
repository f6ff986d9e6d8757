// The design both RAID wrapper backends share: load, enumerate, probe, SCSI
// and ATA execute, and the unload at the last cleanup.
#include "vdx/thirdparty/vdx_raid_wrapper.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "basekit/library.h"
#include "basekit/trace.h"
#include "vdx/vdx_sat.h"

namespace enctl {

struct raid_library {
    const raid_wrapper_traits* traits = nullptr;
    helper_library handle;
    void* functions[kRaidFunctionCount] = {};
    bool initialised = false;
    std::uint32_t devices = 0;
};

namespace {

using initialize_fn = int (*)();
using enumerate_fn = int (*)();
using execute_fn = int (*)(std::uint32_t, const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t,
                           std::uint32_t, std::uint32_t, std::uint8_t*, std::uint32_t);
using path_fn = int (*)(std::uint32_t, char*, std::uint32_t);
using query_fn = int (*)(std::uint32_t);
using state_fn = std::uint32_t (*)(std::uint32_t);

template <class Fn>
Fn function_of(const raid_library& library, raid_wrapper_function which) {
    return reinterpret_cast<Fn>(library.functions[which]);
}

void unload(raid_library& library) {
    if (!library.handle) return;
    if (library.initialised) {
        const int result = function_of<initialize_fn>(library, kRaidUninitialize)();
        if (library.traits->trace_uninitialize_result && result != 0)
            TRACE_AT(kTraceDevice, "_uninitialize_library returned %d\n", result);
    }
    library.initialised = false;
    std::fill(std::begin(library.functions), std::end(library.functions), nullptr);
    library.handle.reset();
}

// The device's hold on its library: one count while it is held.
class raid_wrapper_state final : public vdx_backend_state {
public:
    raid_wrapper_state(raid_library& library, raid_wrapper_device device)
        : library_(&library), device_(device) {
        ++library_->devices;
    }
    ~raid_wrapper_state() override { release(); }
    raid_wrapper_state(const raid_wrapper_state&) = delete;
    raid_wrapper_state& operator=(const raid_wrapper_state&) = delete;

    std::unique_ptr<vdx_backend_state> clone() const override {
        if (!held_) return std::make_unique<raid_wrapper_state>(*this, released_tag{});
        return std::make_unique<raid_wrapper_state>(*library_, device_);
    }

    // Gives the count back; the last one unloads the library.
    void release() {
        if (!held_) return;
        held_ = false;
        if (library_->devices > 0 && --library_->devices == 0) unload(*library_);
    }

    bool held() const { return held_; }
    raid_library& library() const { return *library_; }
    const raid_wrapper_device& device() const { return device_; }

    struct released_tag {};
    raid_wrapper_state(const raid_wrapper_state& other, released_tag)
        : library_(other.library_), device_(other.device_), held_(false) {}

private:
    raid_library* library_;
    raid_wrapper_device device_;
    bool held_ = true;
};

raid_wrapper_state* state_of(vdx_dev* dev) {
    return dev ? dynamic_cast<raid_wrapper_state*>(dev->backend_state.get()) : nullptr;
}

// _load: the library and its functions, when not loaded yet.
int load(vdx_error* error, raid_library& library) {
    if (library.handle) return 0;
    const raid_wrapper_traits& traits = *library.traits;
    library_symbol symbols[kRaidFunctionCount] = {};
    std::size_t count = 0;
    for (; count < kRaidFunctionCount && traits.symbols[count]; ++count)
        symbols[count] = {traits.symbols[count], &library.functions[count]};
    library.handle = helper_library::load(traits.library, std::span(symbols, count));
    if (!library.handle)
        return vdx_error_set(error, kErrNotSupported, 0, __FILE__, "_load", __LINE__, "failed to load %s",
                             traits.library);
    TRACE_AT(kTraceDevice, "%s opened successfully\n", traits.library);
    return 0;
}

// A path text of at most kRaidDevicePathSize bytes, terminated or not, as a
// device name; bytes outside 20h..7Eh become '?'.
void copy_device_path(const char (&path)[kRaidDevicePathSize + 1], char (&name)[256]) {
    const std::size_t length = strnlen(path, kRaidDevicePathSize);
    std::fill(std::begin(name), std::end(name), '\0');
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        name[i] = c >= 0x20 && c <= 0x7E ? static_cast<char>(c) : '?';
    }
}

std::uint32_t interface_of(const raid_library& library, std::uint32_t index, std::uint32_t drive_state) {
    const raid_wrapper_traits& traits = *library.traits;
    auto says_yes = [&](int answer) { return traits.interface_needs_positive ? answer >= 1 : answer != 0; };
    if (says_yes(function_of<query_fn>(library, kRaidIsAta)(index))) {
        if (traits.trace_drive_state) TRACE_AT(kTraceDevice, "state = 0x%02X; ata\n", drive_state);
        return traits.ata_interface;
    }
    if (says_yes(function_of<query_fn>(library, kRaidIsScsi)(index))) {
        if (traits.trace_drive_state) TRACE_AT(kTraceDevice, "state = 0x%02X; scsi\n", drive_state);
        return traits.scsi_interface;
    }
    return kVdxInterfaceUnknown;
}

std::uint32_t direction_code(std::uint32_t direction) {
    switch (direction) {
        case kVdxDirNone: return 0;
        case kVdxDirToDevice: return 1;
        case kVdxDirFromDevice: return 2;
        default: return 3;
    }
}

// Milliseconds rounded up to whole seconds.
std::uint32_t timeout_seconds(std::uint32_t milliseconds) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(milliseconds) + 999) / 1000);
}

void dump_data(const vdx_scsi_cmd& cmd) {
    if (cmd.data && cmd.transfer_length)
        trace_hex_dump("beginning of data", std::span(cmd.data, std::min<std::uint32_t>(cmd.transfer_length, 512)));
}

}  // namespace

raid_library& raid_library_of(const raid_wrapper_traits& traits) {
    static std::map<const raid_wrapper_traits*, raid_library> libraries;
    raid_library& library = libraries[&traits];
    library.traits = &traits;
    return library;
}

bool raid_wrapper_loaded(const raid_wrapper_traits& traits) {
    return static_cast<bool>(raid_library_of(traits).handle);
}

const raid_wrapper_device* raid_wrapper_device_of(const vdx_dev& dev) {
    const auto* state = vdx_backend_state_of<raid_wrapper_state>(dev);
    return state ? &state->device() : nullptr;
}

void raid_wrapper_enumerate(raid_library& library, vdx_dev_list* list) {
    TRACE_ENTER_EXIT();
    const raid_wrapper_traits& traits = *library.traits;
    vdx_error error{};
    if (load(&error, library) != 0) {
        TRACE_AT(kTraceDevice, "_load failed\n");
        if (g_trace_level >= kTraceDevice) trace_print_error(error);
        return;
    }
    TRACE_AT(kTraceDevice, "%s", traits.found_trace);
    const int initialized = function_of<initialize_fn>(library, kRaidInitialize)();
    if (traits.initialize_result_stops && initialized != 0) {
        TRACE_AT(kTraceDevice, "_initialize_library returned %d\n", initialized);
    } else {
        library.initialised = true;
        const int drives = function_of<enumerate_fn>(library, kRaidEnumerate)();
        // Beyond the device table's room every push_back fails anyway.
        const auto count = static_cast<std::uint32_t>(std::clamp<int>(drives, 0, static_cast<int>(kVdxMaxDevices)));
        std::uint32_t added = 0;
        for (std::uint32_t index = 0; list && index < count; ++index) {
            vdx_dev* dev = vdx_dev_enumeration_push_back(list);
            if (!dev) {
                TRACE_AT(kTraceDevice, "device skipped due to enumeration push_back failure\n");
                continue;
            }
            char path[kRaidDevicePathSize + 1] = {};
            function_of<path_fn>(library, kRaidDevicePath)(index, path, kRaidDevicePathSize);
            copy_device_path(path, dev->name);
            dev->os_handle = kVdxInvalidHandle;
            dev->connection = traits.connection;
            raid_wrapper_device device{.library_index = index};
            if (library.functions[kRaidPdState])
                device.drive_state = function_of<state_fn>(library, kRaidPdState)(index);
            dev->interface = interface_of(library, index, device.drive_state);
            dev->backend_state = std::make_unique<raid_wrapper_state>(library, device);
            ++added;
            TRACE_AT(kTraceDevice, "add device %d (%s)\n", static_cast<int>(index), dev->name);
        }
        TRACE_AT(kTraceDevice, traits.count_trace, added);
    }
    // A library no device was made from is not kept loaded.
    if (library.devices == 0) unload(library);
}

bool raid_wrapper_probe(vdx_dev* dev) {
    TRACE_ENTER_EXIT();
    raid_wrapper_state* state = state_of(dev);
    if (!state) return false;
    vdx_error error{};
    const raid_wrapper_traits& traits = *state->library().traits;
    if (dev->interface == traits.ata_interface) {
        std::uint8_t identify[512] = {};
        vdx_ata_cmd ata{};
        ata.protocol = 4;  // PIO data-in
        ata.t_length = 2;  // sector count field
        ata.transfer_unit = 1;
        ata.count = 1;
        ata.command = 0xEC;  // IDENTIFY DEVICE
        ata.data = identify;
        ata.length = sizeof identify;
        ata.timeout = 500;
        ata.direction = kVdxDirFromDevice;
        if (raid_wrapper_ata_execute(&error, dev, &ata) == 0) return true;
        TRACE_AT(kTraceDevice, "ata identify failed\n");
    } else if (dev->interface == traits.scsi_interface) {
        vdx_scsi_cmd tur{};  // TEST UNIT READY: six zero bytes
        tur.cdb_length = 6;
        tur.sense_length = sizeof tur.sense;
        tur.timeout = 500;
        tur.direction = kVdxDirNone;
        if (raid_wrapper_scsi_execute(&error, dev, &tur) == 0) return true;
        TRACE_AT(kTraceDevice, "test unit ready failed\n");
    } else {
        return false;
    }
    if (g_trace_level >= kTraceDevice) trace_print_error(error);
    return false;
}

int raid_wrapper_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    raid_wrapper_state* state = state_of(dev);
    if (!state || !cmd || !state->held() || !state->library().handle)
        return vdx_error_set(error, kErrNotSupported, dev ? dev->interface : 0, __FILE__, __func__, __LINE__,
                             "scsi execute not supported on device %s", dev ? dev->name : "");
    const raid_library& library = state->library();
    const raid_wrapper_traits& traits = *library.traits;
    const std::uint32_t index = state->device().library_index;
    TRACE_AT(kTraceRaw, "index: %u\n", index);
    TRACE_AT(kTraceRaw, "ddir: %u\n", cmd->direction);
    if (g_trace_level >= kTraceRaw) {
        trace_hex_dump("cmd", std::span(reinterpret_cast<const std::uint8_t*>(cmd), sizeof *cmd));
        if (cmd->direction == kVdxDirToDevice) dump_data(*cmd);
    }
    std::memset(cmd->sense, 0, sizeof cmd->sense);
    const std::uint32_t cdb_length = std::min<std::uint32_t>(cmd->cdb_length, sizeof cmd->cdb);
    const std::uint32_t sense_length = std::min<std::uint32_t>(cmd->sense_length, sizeof cmd->sense);
    const int status = function_of<execute_fn>(library, kRaidExecute)(
        index, cmd->cdb, cdb_length, cmd->data, cmd->data ? cmd->transfer_length : 0, direction_code(cmd->direction),
        timeout_seconds(cmd->timeout), cmd->sense, sense_length);
    if (g_trace_level >= kTraceRaw) {
        if (cmd->direction == kVdxDirFromDevice) dump_data(*cmd);
        trace_hex_dump("sense", std::span(cmd->sense, sense_length));
    }
    if (status == 0) {
        cmd->scsi_status = 0;
        cmd->bytes_transferred = cmd->data ? cmd->transfer_length : 0;
        return 0;
    }
    if (traits.ck_cond_registers_status && status == kAdaptecStatusAtaRegisters &&
        (cmd->cdb[2] & 0x20) != 0) {
        // The command ended in CHECK CONDITION whose sense carries the ATA registers.
        cmd->scsi_status = 2;
        cmd->bytes_transferred = 0;
        return 0;
    }
    return vdx_error_set(error, kErrRaidLibrary, static_cast<std::uint32_t>(status), __FILE__,
                         traits.execute_function, __LINE__, "%s", traits.execute_message);
}

int raid_wrapper_ata_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    if (!cmd) return vdx_error_set(error, kErrNotSupported, 0, __FILE__, __func__, __LINE__,
                                   "interface is not supported by ata execute");
    vdx_scsi_cmd scsi;
    vdx_scsi_build_ata_pass_through(&scsi, *cmd);
    const int result = raid_wrapper_scsi_execute(error, dev, &scsi);
    if (result == 0) vdx_scsi_fill_ata_result_from_sat(scsi, cmd);
    return result;
}

int raid_wrapper_dev_cleanup(vdx_dev* dev) {
    if (raid_wrapper_state* state = state_of(dev)) state->release();
    return 0;
}

vdx_backend_ops raid_wrapper_backend_table(const char* name, std::uint32_t enumerate_flag,
                                           vdx_enumerate_fn enumerate, vdx_scsi_fn scsi_execute,
                                           vdx_ata_fn ata_execute, int (*cleanup)(vdx_dev* dev)) {
    vdx_backend_ops ops{};
    ops.name = name;
    for (std::size_t slot = 0; slot < kVdxEnumeratorSlots; ++slot)
        if (kVdxEnumerateOrder[slot] == enumerate_flag) ops.enumerate[slot] = enumerate;
    ops.cleanup = cleanup;
    ops.probe_library = &raid_wrapper_probe;
    ops.scsi_execute = scsi_execute;
    ops.ata_execute = ata_execute;
    return ops;
}

}  // namespace enctl
