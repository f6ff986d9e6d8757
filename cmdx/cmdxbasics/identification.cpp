// Serial number of a device, whatever command set it speaks.
#include <array>
#include <cstring>

#include "basekit/trace.h"
#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxata/cmdxata.h"
#include "cmdx/cmdxbasics/cmdxbasics.h"
#include "cmdx/cmdxnvme/cmdxnvme.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {

namespace {
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
        std::uint32_t transferred = 0;
        if (const int result = cmdxscsi_inquiry(error, dev, true, kVpdUnitSerialNumber, data, &transferred))
            return result;
        return cmdxscsi_inquiry_vpd80_parse_serial(error, out, cmdx::received(data, transferred));
    }
    return VDX_ERROR(error, kErrNotSupported, dev->interface, "unsupported device interface\n");
}

}  // namespace enctl
