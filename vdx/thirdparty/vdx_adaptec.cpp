// Drives behind Adaptec RAID controllers, through "adaptec_wrapper".
#include "vdx/thirdparty/vdx_raid_wrapper.h"

namespace enctl {

const raid_wrapper_traits kAdaptecWrapper = {
    .library = "adaptec_wrapper",
    .found_trace = "Adaptec wrapper library found.\n",
    .count_trace = "%u adaptec devices found\n",
    .symbols = {"adaptec_initialize_library", "adaptec_uninitialize_library", "adaptec_enumerate_hard_drives",
                "adaptec_execute_scsi_command", "adaptec_get_device_path", "adaptec_is_ata", "adaptec_is_nvme",
                "adaptec_is_scsi", nullptr},
    .connection = kVdxConnectionAdaptec,
    .ata_interface = kVdxInterfaceAdaptecAta,
    .scsi_interface = kVdxInterfaceAdaptecScsi,
    .initialize_result_stops = true,
    .interface_needs_positive = false,
    .trace_drive_state = false,
    .ck_cond_registers_status = true,
    .trace_uninitialize_result = true,
    .execute_function = "vdx_adaptec_scsi_execute",
    .execute_message = "error executing adaptec command",
};

void vdx_adaptec_enumerate(vdx_dev_list* list) { raid_wrapper_enumerate(raid_library_of(kAdaptecWrapper), list); }

int vdx_adaptec_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    return raid_wrapper_scsi_execute(error, dev, cmd);
}

int vdx_adaptec_ata_execute(vdx_error* error, vdx_dev* dev, vdx_ata_cmd* cmd) {
    return raid_wrapper_ata_execute(error, dev, cmd);
}

int vdx_adaptec_dev_cleanup(vdx_dev* dev) { return raid_wrapper_dev_cleanup(dev); }

const vdx_backend_ops& vdx_adaptec_backend() {
    static const vdx_backend_ops ops =
        raid_wrapper_backend_table("adaptec", kVdxEnumAdaptec, &vdx_adaptec_enumerate, &vdx_adaptec_scsi_execute,
                                   &vdx_adaptec_ata_execute, &vdx_adaptec_dev_cleanup);
    return ops;
}

}  // namespace enctl
