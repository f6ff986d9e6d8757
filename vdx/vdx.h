// Device access layer: one record type for every reachable storage device
// (vdx_dev), the growable enumeration list (vdx_dev_list), the chain of
// application data attached to a device (vdx_dev_data), the device lifecycle
// and the SCSI, ATA and NVMe command paths.
//
// Commands reach devices through backend tables (vdx/vdx_backend.h): the
// platform's, the RAID wrappers' and the test backends, held in one array. The
// command path is chosen by the device's interface number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "basekit/error.h"

namespace enctl {

struct vdx_backend_ops;

// ---------------------------------------------------------------------------
// Interface numbers: how commands reach a device (0 = not yet known).
inline constexpr std::uint32_t kVdxInterfaceUnknown = 0;
inline constexpr std::uint32_t kVdxInterfaceNvme = 5;              // WINDOWS_NVME
inline constexpr std::uint32_t kVdxInterfaceNvmeIntelRst = 6;      // WINDOWS_NVME_INTEL_RST
inline constexpr std::uint32_t kVdxInterfaceNvmeIntelRste = 7;     // WINDOWS_NVME_INTEL_RSTE
inline constexpr std::uint32_t kVdxInterfaceNvmeZmIuo = 8;         // WINDOWS_NVME_ZM_IUO
inline constexpr std::uint32_t kVdxInterfaceScsi = 9;              // WINDOWS_SCSI
inline constexpr std::uint32_t kVdxInterfaceScsiSatAta = 10;       // WINDOWS_SCSI_SAT_ATA
inline constexpr std::uint32_t kVdxInterfaceAta = 12;              // WINDOWS_ATA
inline constexpr std::uint32_t kVdxInterfaceAdaptecScsi = 13;      // ADAPTEC_SCSI
inline constexpr std::uint32_t kVdxInterfaceAdaptecAta = 14;       // ADAPTEC_ATA
inline constexpr std::uint32_t kVdxInterfaceMegaraidScsi = 15;     // MEGARAID_SCSI
inline constexpr std::uint32_t kVdxInterfaceMegaraidAta = 16;      // MEGARAID_ATA
inline constexpr std::uint32_t kVdxInterfaceMarvellNevox = 17;     // MARVELL_NEVOX
inline constexpr std::uint32_t kVdxInterfaceUsbRootHub = 18;

// Connection: how the device was found.
inline constexpr std::uint32_t kVdxConnectionCsmi = 1;
inline constexpr std::uint32_t kVdxConnectionStorage = 2;  // disk or NVMe controller
inline constexpr std::uint32_t kVdxConnectionIntelRste = 3;
inline constexpr std::uint32_t kVdxConnectionEnclosure = 4;  // SES device
inline constexpr std::uint32_t kVdxConnectionAdaptec = 5;
inline constexpr std::uint32_t kVdxConnectionMegaraid = 6;
inline constexpr std::uint32_t kVdxConnectionUsbRootHub = 7;

// Connection driver: the driver kind behind connection 2.
inline constexpr std::uint32_t kVdxDriverUnknown = 0;
inline constexpr std::uint32_t kVdxDriverInboxAhci = 1;
inline constexpr std::uint32_t kVdxDriverInboxNvme = 2;
inline constexpr std::uint32_t kVdxDriverUsbMassStorage = 3;
inline constexpr std::uint32_t kVdxDriverUsbAttachedScsi = 4;
inline constexpr std::uint32_t kVdxDriverIntelRst = 5;
inline constexpr std::uint32_t kVdxDriverIntelRste = 6;
inline constexpr std::uint32_t kVdxDriverAdaptecRaid = 7;
inline constexpr std::uint32_t kVdxDriverMaker = 8;

// Data direction of a command.
inline constexpr std::uint32_t kVdxDirNone = 0;
inline constexpr std::uint32_t kVdxDirToDevice = 1;
inline constexpr std::uint32_t kVdxDirFromDevice = 2;

// Default time-outs in milliseconds.
inline constexpr std::uint32_t kVdxAtaTimeoutMs = 30000;
inline constexpr std::uint32_t kVdxNvmeTimeoutMs = 30000;
inline constexpr std::uint32_t kVdxScsiTimeoutMs = 30000;

// Tags of attached data.
inline constexpr std::uint64_t kVdxTagEnclosure = 4096;
inline constexpr std::uint64_t kVdxTagEndDevice = 4097;

// Enumeration flags, in the order the enumerators run.
inline constexpr std::uint32_t kVdxEnumDisks = 0x1;
inline constexpr std::uint32_t kVdxEnumIdeControllers = 0x2;
inline constexpr std::uint32_t kVdxEnumScsiControllers = 0x4;
inline constexpr std::uint32_t kVdxEnumCsmi = 0x8;
inline constexpr std::uint32_t kVdxEnumIntelRste = 0x10;
inline constexpr std::uint32_t kVdxEnumSes = 0x20;
inline constexpr std::uint32_t kVdxEnumUsbRootHubs = 0x40;
inline constexpr std::uint32_t kVdxEnumAdaptec = 0x10000;
inline constexpr std::uint32_t kVdxEnumMegaraid = 0x20000;
inline constexpr std::uint32_t kVdxEnumAll = 0xFFFFFFFFu;

// The most devices a list (and so the run's device table) ever holds. A
// push_back beyond it is refused with a trace line; the caller skips the device.
inline constexpr std::uint32_t kVdxMaxDevices = 8192;
// Room allocated by the first enumeration step.
inline constexpr std::uint32_t kVdxInitialCapacity = 8;

// An OS handle: a file descriptor on Linux, a HANDLE value on Windows.
using vdx_handle = std::intptr_t;
inline constexpr vdx_handle kVdxInvalidHandle = -1;

// ---------------------------------------------------------------------------
// Attached application data.

struct vdx_dev_data;
// Duplicates a payload for vdx_dev_copy: stores the new payload in *dest and
// returns 0, or returns non-zero when it cannot.
using vdx_dev_data_copy_fn = int (*)(void** dest, const void* src);
// Frees a payload.
using vdx_dev_data_destructor = void (*)(void* payload);

// One node of a device's chain. A node owns its payload (freed by the
// destructor when the node goes) and the rest of the chain after it.
struct vdx_dev_data {
    std::uint64_t tag = 0;
    std::unique_ptr<vdx_dev_data> next;
    vdx_dev_data* prev = nullptr;
    vdx_dev_data_copy_fn copy = nullptr;
    vdx_dev_data_destructor destructor = nullptr;
    void* payload = nullptr;

    vdx_dev_data() = default;
    vdx_dev_data(const vdx_dev_data&) = delete;
    vdx_dev_data& operator=(const vdx_dev_data&) = delete;
    ~vdx_dev_data();
};

// ---------------------------------------------------------------------------
// The device record.

struct vdx_scsi_address {
    std::uint32_t length = 0;
    std::uint8_t port = 255;  // 255 = unknown
    std::uint8_t path = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
};

// What a backend keeps per device beyond the shared fields (identification
// data, library indexes, the full-width SCSI address...). Each backend derives
// its own; only that backend reads it (vdx_backend_state_of). A copy of the
// record gets a clone, a moved record takes it along.
class vdx_backend_state {
public:
    virtual ~vdx_backend_state() = default;
    virtual std::unique_ptr<vdx_backend_state> clone() const = 0;
};

// One device. Records live by value in lists and tables; a record owns its OS
// handle(s) and its data chain. It can be moved (the source is left empty)
// but copied only through vdx_dev_copy, which duplicates the chain and opens
// an independent handle. Destroying a record that still owns something runs
// vdx_dev_cleanup.
struct vdx_dev {
    char name[256] = {};
    std::uint32_t interface = 0;
    std::unique_ptr<vdx_dev_data> user_data;  // head of the chain
    std::uint32_t connection = 0;
    std::uint32_t connection_driver = 0;
    vdx_handle os_handle = kVdxInvalidHandle;
    char device_path[1024] = {};
    vdx_scsi_address scsi_address;
    std::uint32_t physical_drive_number = 0;
    vdx_handle second_handle = kVdxInvalidHandle;
    char second_path[256] = {};
    std::int32_t backend_index = -1;
    // The backend table the record came from (none: the platform slot's).
    const vdx_backend_ops* backend = nullptr;
    // That backend's own state of the device (none until it sets one).
    std::unique_ptr<vdx_backend_state> backend_state;
    // A command to the device timed out in this run (vdx_dev_timed_out).
    bool timed_out = false;

    vdx_dev() = default;
    vdx_dev(const vdx_dev&) = delete;
    vdx_dev& operator=(const vdx_dev&) = delete;
    vdx_dev(vdx_dev&& other) noexcept;
    vdx_dev& operator=(vdx_dev&& other) noexcept;
    ~vdx_dev();

    // True while the record holds a handle or attached data.
    bool owns_resources() const noexcept;
    // Copies every field but the data chain and the handles, cloning the
    // backend state (vdx_dev_copy).
    void copy_fields_from(const vdx_dev& src);

private:
    void copy_plain_fields(const vdx_dev& src) noexcept;
    void take(vdx_dev& other) noexcept;
};

// The device's backend state as the backend's own type; none when the record
// holds none or another backend's.
template <class State>
const State* vdx_backend_state_of(const vdx_dev& dev) {
    return dynamic_cast<const State*>(dev.backend_state.get());
}

// The enumeration list: `count` records in an array of `capacity`.
struct vdx_dev_list {
    std::uint32_t capacity = 0;
    std::uint32_t count = 0;
    std::unique_ptr<vdx_dev[]> devices;

    vdx_dev_list() = default;
    vdx_dev_list(const vdx_dev_list&) = delete;
    vdx_dev_list& operator=(const vdx_dev_list&) = delete;
    vdx_dev_list(vdx_dev_list&&) noexcept = default;
    vdx_dev_list& operator=(vdx_dev_list&&) noexcept = default;
    ~vdx_dev_list();

    std::span<vdx_dev> view() noexcept { return {devices.get(), count}; }
    std::span<const vdx_dev> view() const noexcept { return {devices.get(), count}; }
    vdx_dev& operator[](std::uint32_t i) noexcept { return devices[i]; }
    const vdx_dev& operator[](std::uint32_t i) const noexcept { return devices[i]; }
};

// ---------------------------------------------------------------------------
// Command records.

struct vdx_scsi_cmd {
    std::uint8_t cdb[16];
    std::uint32_t cdb_length;  // 6, 10, 12 or 16
    std::uint8_t* data;
    std::uint32_t transfer_length;    // bytes
    std::uint32_t bytes_transferred;  // filled by the backend
    std::uint8_t scsi_status;         // filled by the backend
    std::uint8_t sense[32];           // filled by the backend
    std::uint32_t sense_length;       // 32 on the way in, bytes returned on the way out
    std::uint32_t timeout;            // ms
    std::uint32_t direction;          // kVdxDir*
};

struct vdx_ata_cmd {
    std::uint8_t protocol;       // SAT protocol number (4 = PIO data-in)
    std::uint8_t extend;         // 1 for 48-bit commands
    std::uint8_t t_length;       // SAT T_LENGTH code (2 = sector count field)
    std::uint32_t transfer_unit; // 1 or 2 blocks, 3 bytes
    std::uint16_t features;
    std::uint16_t count;
    std::uint64_t lba;           // 48 bits used
    std::uint8_t device;
    std::uint8_t command;
    std::uint8_t status;         // result
    std::uint8_t error;          // result
    std::uint8_t* data;
    std::uint32_t length;        // bytes
    std::uint32_t timeout;       // ms
    std::uint32_t direction;     // kVdxDir*
    std::uint8_t check_condition;  // ask the SAT layer to return the registers
};

struct vdx_nvme_cmd {
    std::uint32_t opcode;
    std::uint32_t nsid;
    std::uint32_t cdw10, cdw11, cdw12, cdw13, cdw14, cdw15;
    // Completion dwords 0 to 3; the status field is the upper half of dword 3:
    // bit 0 phase, bits 1-8 status code, bits 9-11 status code type.
    std::uint32_t completion[4];
    std::uint8_t* data;
    std::uint32_t length;
    std::uint32_t direction;  // kVdxDir*
    std::uint32_t timeout;    // ms
    std::uint32_t queue;      // 0 admin, 1 I/O
};

// ---------------------------------------------------------------------------
// Interface classes and predicates.

bool vdx_is_scsi_interface(std::uint32_t interface);  // {2, 3, 9, 10, 11, 13, 15}
bool vdx_is_ata_interface(std::uint32_t interface);   // {3, 10, 12, 14, 16, 19}
bool vdx_is_nvme_interface(std::uint32_t interface);  // {1, 4, 5, 6, 7, 8, 17, 20}
bool vdx_dev_is_intel_rst(const vdx_dev& dev);
bool vdx_dev_is_intel_rste(const vdx_dev& dev);
bool vdx_dev_is_marvell(const vdx_dev& dev);
bool vdx_dev_is_adaptec(const vdx_dev& dev);
bool vdx_dev_is_megaraid(const vdx_dev& dev);
bool vdx_dev_is_csmi(const vdx_dev& dev);
bool vdx_dev_is_storage(const vdx_dev& dev);
bool vdx_dev_is_adaptec_raid_driver(const vdx_dev& dev);
// The name an outside program (sg_ses, smartctl) is given to reach the
// device: on Linux its node below the root the platform backend reads
// devices from ("/" on a host, ENCTL_SYSROOT under the lab); on Windows its
// device name.
std::string vdx_dev_tool_name(const vdx_dev& dev);
// A host path ("/sys/class/nvme", "/dev/sg3") below that same root.
std::string vdx_os_path(std::string_view host_path);

// True when the device's interface has a SCSI command path.
bool vdx_has_scsi_path(const vdx_dev& dev);
// The name a probe reports for an interface ("WINDOWS_SCSI", ...), or "".
const char* vdx_interface_name(std::uint32_t interface);

// ---------------------------------------------------------------------------
// List and lifecycle.

// Empties the list, allocates room for 8 records and runs the selected
// enumerators in flag order.
void vdx_dev_enumerate_flags(vdx_dev_list* list, std::uint32_t flags);
void vdx_dev_enumerate_all(vdx_dev_list* list);
// A fresh record at the end of the list (backend index -1, SCSI port 255),
// growing the array when count + 1 reaches the capacity; none when the
// growth fails or the list already holds kVdxMaxDevices records.
vdx_dev* vdx_dev_enumeration_push_back(vdx_dev_list* list);
// Cleans up and resets the last record and drops it; nothing when empty.
void vdx_dev_enumeration_pop_back(vdx_dev_list* list);
// Cleans up every record, frees the array, capacity and count to 0.
void vdx_dev_release(vdx_dev_list* list);
// Appends a copy of `src` (vdx_dev_copy) to `table`; the new record, or none
// when the table is full or the copy failed (the slot is dropped again).
vdx_dev* vdx_dev_append_copy(vdx_dev_list* table, const vdx_dev& src);

// Copies the record, rebuilds the data chain through each node's copy
// function, and has the backend open an independent handle when the source is
// open. A node without copy function is not copied (traced).
int vdx_dev_copy(vdx_dev* dest, const vdx_dev* src);
// Appends a node at the end of the chain.
void vdx_dev_data_add(vdx_dev* dev, std::unique_ptr<vdx_dev_data> node);
// Runs each node's destructor from the head and frees the nodes.
void vdx_dev_data_cleanup(vdx_dev* dev);
// First node of the chain (or none); first node with the tag (or none).
vdx_dev_data* vdx_dev_data_first(const vdx_dev& dev);
vdx_dev_data* vdx_dev_data_find(const vdx_dev& dev, std::uint64_t tag);
// Data chain cleanup, then the backend cleanup (closes handles). 1 with no device.
int vdx_dev_cleanup(vdx_dev* dev);
int vdx_dev_open(vdx_error* error, vdx_dev* dev);
int vdx_dev_close(vdx_error* error, vdx_dev* dev);
bool vdx_dev_is_open(const vdx_dev& dev);
// Opens if needed and decides the interface from the backend predicates;
// kErrNoInterface when none answers.
int vdx_dev_probe(vdx_error* error, vdx_dev* dev);

// The two platform queries of discovery: the SCSI host (port) number of a
// device, -1 when unknown; whether an Adaptec RAID controller is present
// (asked of every installed backend).
int vdx_dev_bus_number(const vdx_dev& dev);
bool vdx_adaptec_present();

// ---------------------------------------------------------------------------
// Devices that stop answering. After a device's first command time-out in a
// run it is sent nothing more in that run: a drive that no longer answers
// costs one time-out, not one per command.

// The subcode of kErrOsRequest for a command that timed out, or that was not
// sent because the device timed out before.
inline constexpr std::uint32_t kVdxSubcodeTimedOut = 0xFFFFFFFEu;
// Called by a backend when a command to `dev` timed out (`what` says how, for
// the trace): marks the device, fills the error and returns 1.
int vdx_dev_timed_out(vdx_error* error, vdx_dev* dev, const char* what);
// 0 when commands may go to the device; 1 with the error filled (and a trace
// line) when it timed out earlier in the run. Every command path asks it
// before it sends anything.
int vdx_dev_check_answering(vdx_error* error, const vdx_dev* dev);

// ---------------------------------------------------------------------------
// Command paths. 0 means the command was delivered and its status is in the
// record; the command-set helpers judge the status.

int vdx_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd);
int vdx_ata_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
int vdx_nvme_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd);

// ---------------------------------------------------------------------------
// Helpers for attaching typed payloads.

template <class T>
void vdx_dev_data_delete(void* payload) {
    std::unique_ptr<T> owned(static_cast<T*>(payload));
}

template <class T>
int vdx_dev_data_copy_new(void** dest, const void* src) {
    if (!dest || !src) return 1;
    *dest = std::make_unique<T>(*static_cast<const T*>(src)).release();
    return 0;
}

// Attaches `payload` under `tag` at the end of the device's chain; the node
// deletes it. With `copyable` the node also copies it for vdx_dev_copy.
template <class T>
T* vdx_dev_data_attach(vdx_dev* dev, std::uint64_t tag, std::unique_ptr<T> payload,
                       bool copyable = false) {
    if (!dev || !payload) return nullptr;
    auto node = std::make_unique<vdx_dev_data>();
    node->tag = tag;
    node->destructor = &vdx_dev_data_delete<T>;
    node->copy = copyable ? &vdx_dev_data_copy_new<T> : nullptr;
    T* raw = payload.release();
    node->payload = raw;
    vdx_dev_data_add(dev, std::move(node));
    return raw;
}

// Payload of the first node with `tag`, as T.
template <class T>
T* vdx_dev_data_payload(const vdx_dev& dev, std::uint64_t tag) {
    vdx_dev_data* node = vdx_dev_data_find(dev, tag);
    return node ? static_cast<T*>(node->payload) : nullptr;
}

}  // namespace enctl
