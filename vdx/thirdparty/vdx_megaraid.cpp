// Drives behind MegaRAID controllers, through "megaraid_wrapper".
#include "vdx/thirdparty/vdx_raid_wrapper.h"

namespace enctl {

const raid_wrapper_traits kMegaraidWrapper = {
    .library = "megaraid_wrapper",
    .found_trace = "MegaRAID wrapper library found.\n",
    .count_trace = "%u megaraid devices found\n",
    .symbols = {"megaraid_initialize_library", "megaraid_uninitialize_library", "megaraid_enumerate_hard_drives",
                "megaraid_execute_scsi_command", "megaraid_get_device_path", "megaraid_is_ata", "megaraid_is_nvme",
                "megaraid_is_scsi", "megaraid_get_mr_pd_state"},
    .connection = kVdxConnectionMegaraid,
    .ata_interface = kVdxInterfaceMegaraidAta,
    .scsi_interface = kVdxInterfaceMegaraidScsi,
    .initialize_result_stops = false,
    .interface_needs_positive = true,
    .trace_drive_state = true,
    .ck_cond_registers_status = false,
    .trace_uninitialize_result = false,
    .execute_function = "vdx_megaraid_scsi_execute",
    .execute_message = "error executing megaraid command",
};

void vdx_megaraid_enumerate(vdx_dev_list* list) { raid_wrapper_enumerate(raid_library_of(kMegaraidWrapper), list); }

int vdx_megaraid_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    return raid_wrapper_scsi_execute(error, dev, cmd);
}

int vdx_megaraid_ata_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    return raid_wrapper_ata_execute(error, dev, cmd);
}

int vdx_megaraid_dev_cleanup(vdx_dev* dev) { return raid_wrapper_dev_cleanup(dev); }

const vdx_backend_ops& vdx_megaraid_backend() {
    static const vdx_backend_ops ops =
        raid_wrapper_backend_table("megaraid", kVdxEnumMegaraid, &vdx_megaraid_enumerate, &vdx_megaraid_scsi_execute,
                                   &vdx_megaraid_ata_execute, &vdx_megaraid_dev_cleanup);
    return ops;
}

}  // namespace enctl
