// SCSI executors: build the CDB, send it through vdx_scsi_execute, check the
// result.
#include <algorithm>
#include <array>
#include <cstring>

#include "basekit/trace.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {

namespace {

// Sends a built command and checks it. A failed delivery keeps the error the
// device layer recorded and always reports failure; a delivered command
// reports its transferred count.
int send_and_check(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd, std::uint32_t* transferred = nullptr) {
    if (transferred) *transferred = 0;
    const int result = vdx_scsi_execute(error, dev, cmd);
    if (result != 0) return result;
    if (transferred) *transferred = cmd->bytes_transferred;
    return cmdxscsi_check_error(error, *cmd);
}

constexpr std::uint8_t kIomConfigPage = 0x20;
constexpr std::size_t kIomConfigLength = 512;
constexpr std::size_t kIomConfigByte = 23;

}  // namespace

int cmdxscsi_inquiry(vdx_error* error, vdx_dev* dev, bool evpd, std::uint8_t page_code,
                     std::span<std::uint8_t> buffer, std::uint32_t* transferred) {
    TRACE_ENTER_EXIT();
    vdx_scsi_cmd cmd;
    cmdxscsi_build_inquiry(&cmd, evpd, page_code, buffer);
    return send_and_check(error, dev, &cmd, transferred);
}

int cmdxscsi_mode_select10(vdx_error* error, vdx_dev* dev, bool pf, bool rtd, bool sp,
                           std::span<std::uint8_t> buffer) {
    TRACE_ENTER_EXIT();
    vdx_scsi_cmd cmd;
    cmdxscsi_build_mode_select10(&cmd, pf, rtd, sp, buffer);
    return send_and_check(error, dev, &cmd) != 0 ? 1 : 0;
}

int cmdxscsi_mode_sense10(vdx_error* error, vdx_dev* dev, bool llbaa, bool dbd,
                          std::uint8_t page_control, std::uint8_t page_code, std::uint8_t subpage,
                          std::span<std::uint8_t> buffer, std::uint32_t* transferred) {
    TRACE_ENTER_EXIT();
    vdx_scsi_cmd cmd;
    cmdxscsi_build_mode_sense10(&cmd, llbaa, dbd, page_control, page_code, subpage, buffer);
    return send_and_check(error, dev, &cmd, transferred) != 0 ? 1 : 0;
}

int cmdxscsi_read_capacity16(vdx_error* error, vdx_dev* dev, std::span<std::uint8_t> buffer) {
    TRACE_ENTER_EXIT();
    vdx_scsi_cmd cmd;
    cmdxscsi_build_read_capacity16(&cmd, buffer);
    return send_and_check(error, dev, &cmd) != 0 ? 1 : 0;
}

int cmdxscsi_receive_diagnostic(vdx_error* error, vdx_dev* dev, std::uint8_t page_code,
                                std::span<std::uint8_t> buffer, std::uint32_t* transferred) {
    TRACE_ENTER_EXIT();
    vdx_scsi_cmd cmd;
    cmdxscsi_build_receive_diagnostic(&cmd, true, page_code, buffer);
    return send_and_check(error, dev, &cmd, transferred);
}

int cmdxscsi_get_iom_config(vdx_error* error, vdx_dev* dev, std::uint8_t* config) {
    TRACE_ENTER_EXIT();
    std::array<std::uint8_t, kIomConfigLength> response{};
    vdx_scsi_cmd cmd;
    cmdxscsi_build_mode_sense10(&cmd, false, true, 0, kIomConfigPage, 0, response);
    const int result = vdx_scsi_execute(error, dev, &cmd);
    if (result != 0) return result;
    const std::uint32_t received = std::min<std::uint32_t>(cmd.bytes_transferred, response.size());
    if (received <= kIomConfigByte || (response[8] & 0x3F) != kIomConfigPage) {
        if (cmdxscsi_check_error(error, cmd) == 0)
            VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                      "mode page 20h not returned (page %02xh, %u bytes)", response[8] & 0x3F, received);
        return 1;
    }
    if (config) *config = response[kIomConfigByte];
    return cmdxscsi_check_error(error, cmd);
}

int vendor_e6_read(vdx_error* error, vdx_dev* dev, std::uint8_t flags, std::uint8_t expander,
                   std::uint8_t log_type, std::uint32_t byte_offset, std::span<std::uint8_t> buffer,
                   std::uint32_t* transferred) {
    TRACE_ENTER_EXIT();
    if (!buffer.empty()) std::memset(buffer.data(), 0, buffer.size());
    vdx_scsi_cmd cmd;
    cmdxscsi_build_vendor_e6_read(&cmd, flags, expander, log_type, byte_offset, buffer);
    return send_and_check(error, dev, &cmd, transferred);
}

int vendor_e6_read_enhanced(vdx_error* error, vdx_dev* dev, std::uint8_t sub_operation,
                            std::uint8_t expander, std::uint8_t log_type, std::uint8_t flag,
                            std::span<std::uint8_t> buffer, std::uint32_t* transferred) {
    TRACE_ENTER_EXIT();
    if (!buffer.empty()) std::memset(buffer.data(), 0, buffer.size());
    vdx_scsi_cmd cmd;
    cmdxscsi_build_vendor_e6_read_enhanced(&cmd, sub_operation, expander, log_type, flag, buffer);
    return send_and_check(error, dev, &cmd, transferred);
}

}  // namespace enctl
