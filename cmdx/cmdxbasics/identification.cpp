// Serial number of a device, whatever command set it speaks.
#include <array>
#include <cstring>

#include "basekit/trace.h"
#include "cmdx/cmdxata/cmdxata.h"
#include "cmdx/cmdxbasics/cmdxbasics.h"
#include "cmdx/cmdxnvme/cmdxnvme.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {

namespace {
constexpr std::uint8_t kVpdUnitSerialNumber = 0x80;
constexpr std::size_t kVpdBufferSize = 4096;
}  // namespace

int cmdxbasics_get_serial(vdx_error* error, vdx_dev* dev, std::span<char> out) {
    TRACE_ENTER_EXIT();
    if (!out.empty()) std::memset(out.data(), 0, out.size());
    if (!dev) return VDX_ERROR(error, kErrNotSupported, 0, "unsupported device interface\n");

    if (vdx_is_nvme_interface(dev->interface)) {
        std::array<std::uint8_t, kNvmeIdentifySize> data{};
        if (const int result = cmdxnvme_execute_identify_controller(error, dev, data)) return result;
        return cmdxnvme_identify_controller_parse_serial(error, out, data);
    }
    if (vdx_is_ata_interface(dev->interface)) {
        std::array<std::uint8_t, kAtaIdentifySize> data{};
        if (const int result = cmdxata_identify(error, dev, data)) return result;
        return cmdxata_identify_parse_serial(error, out, data);
    }
    if (vdx_is_scsi_interface(dev->interface)) {
        std::array<std::uint8_t, kVpdBufferSize> data{};
        vdx_scsi_cmd cmd;
        cmdxscsi_build_inquiry(&cmd, true, kVpdUnitSerialNumber, data);
        if (const int result = vdx_scsi_execute(error, dev, &cmd)) return result;
        if (const int result = cmdxscsi_check_error(error, cmd)) return result;
        const std::size_t received = cmd.bytes_transferred < data.size() ? cmd.bytes_transferred : data.size();
        return cmdxscsi_inquiry_vpd80_parse_serial(error, out, std::span(data).first(received));
    }
    return VDX_ERROR(error, kErrNotSupported, dev->interface, "unsupported device interface\n");
}

}  // namespace enctl
