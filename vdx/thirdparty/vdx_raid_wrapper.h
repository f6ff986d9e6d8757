// The RAID controller wrapper backends: drives behind Adaptec and MegaRAID
// controllers, reached through the helper libraries "adaptec_wrapper" and
// "megaraid_wrapper" that are loaded at run time (basekit/library.h adds the
// platform's suffix). The two backends are one design (vdx_raid_wrapper.cpp)
// told by a table of their differences (raid_wrapper_traits, one per
// controller file).
//
// A library is loaded by the first enumeration that finds it and unloaded
// when the last device made from it goes: every record made from a library,
// copies included, holds one count of it in its backend state.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vdx/vdx.h"
#include "vdx/vdx_backend.h"

namespace enctl {

// The functions a wrapper library exports, in the order they are looked up.
// The calls as the libraries define them:
//   int  initialize_library();  int uninitialize_library();
//   int  enumerate_hard_drives();                    // number of drives
//   int  execute_scsi_command(u32 index, const u8* cdb, u32 cdb_length,
//            u8* data, u32 data_length, u32 direction, u32 timeout_seconds,
//            u8* sense, u32 sense_length);           // 0 = delivered
//   int  get_device_path(u32 index, char* text, u32 size);
//   int  is_ata(u32 index); int is_nvme(u32 index); int is_scsi(u32 index);
//   u32  get_mr_pd_state(u32 index);                 // MegaRAID only
enum raid_wrapper_function : std::size_t {
    kRaidInitialize,
    kRaidUninitialize,
    kRaidEnumerate,
    kRaidExecute,
    kRaidDevicePath,
    kRaidIsAta,
    kRaidIsNvme,
    kRaidIsScsi,
    kRaidPdState,
    kRaidFunctionCount,
};

// Room of the path text a library writes (it may fill all of it).
inline constexpr std::uint32_t kRaidDevicePathSize = 64;
// Execute status of the Adaptec library for an ATA PASS-THROUGH with CK_COND
// whose sense carries the ATA registers.
inline constexpr int kAdaptecStatusAtaRegisters = 10;

// Where the two backends differ.
struct raid_wrapper_traits {
    const char* library;           // "adaptec_wrapper"
    const char* found_trace;       // "Adaptec wrapper library found.\n"
    const char* count_trace;       // "%u adaptec devices found\n"
    const char* symbols[kRaidFunctionCount];  // exported names; the list ends at the first nullptr
    std::uint32_t connection;
    std::uint32_t ata_interface;
    std::uint32_t scsi_interface;
    bool initialize_result_stops;  // a non-zero initialize stops the enumeration
    bool interface_needs_positive; // is_ata / is_scsi must be 1 or more (else non-zero)
    bool trace_drive_state;        // "state = 0x%02X; ata\n"
    bool ck_cond_registers_status; // kAdaptecStatusAtaRegisters with CK_COND is success
    bool trace_uninitialize_result;
    const char* execute_function;  // "vdx_adaptec_scsi_execute"
    const char* execute_message;   // "error executing adaptec command"
};

// One library: its handle, function slots and the count of devices made from
// it. Lives for the whole run (one per controller).
struct raid_library;
raid_library& raid_library_of(const raid_wrapper_traits& traits);

// The backend operations over one library.
void raid_wrapper_enumerate(raid_library& library, vdx_dev_list* list);
bool raid_wrapper_probe(vdx_dev* dev);
int raid_wrapper_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd);
int raid_wrapper_ata_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
int raid_wrapper_dev_cleanup(vdx_dev* dev);

// A backend table over one controller's operations.
vdx_backend_ops raid_wrapper_backend_table(const char* name, std::uint32_t enumerate_flag,
                                           vdx_enumerate_fn enumerate, vdx_scsi_fn scsi_execute,
                                           vdx_ata_fn ata_execute, int (*cleanup)(vdx_dev* dev));

// What the backend keeps of a device made from a library.
struct raid_wrapper_device {
    std::uint32_t library_index = 0;
    std::uint32_t drive_state = 0;  // MegaRAID physical drive state
};
// The device's library data; none for a device of another backend.
const raid_wrapper_device* raid_wrapper_device_of(const vdx_dev& dev);
// Whether the library of the controller is loaded now.
bool raid_wrapper_loaded(const raid_wrapper_traits& traits);

// The two controllers (vdx_adaptec.cpp, vdx_megaraid.cpp).
extern const raid_wrapper_traits kAdaptecWrapper;
extern const raid_wrapper_traits kMegaraidWrapper;
const vdx_backend_ops& vdx_adaptec_backend();
const vdx_backend_ops& vdx_megaraid_backend();

void vdx_adaptec_enumerate(vdx_dev_list* list);
void vdx_megaraid_enumerate(vdx_dev_list* list);
int vdx_adaptec_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd);
int vdx_megaraid_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd);
int vdx_adaptec_ata_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
int vdx_megaraid_ata_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd);
int vdx_adaptec_dev_cleanup(vdx_dev* dev);
int vdx_megaraid_dev_cleanup(vdx_dev* dev);

}  // namespace enctl
