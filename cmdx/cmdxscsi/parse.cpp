// Parsers of INQUIRY, VPD pages 80h and 83h, READ CAPACITY(16) responses and
// of the strings of SES pages. Every parser reads only the bytes it is given.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cmdx/cmdxbasics/bytes.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"

namespace enctl {

int cmdxscsi_inquiry_parse_peripheral_type(vdx_error* error, std::uint8_t* type,
                                           std::span<const std::uint8_t> data) {
    if (data.size() < 1)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "buffer not large enough to parse scsi inquiry peripheral type");
    if (type) *type = data[0] & 0x1F;
    return vdx_error_clear(error);
}

int cmdxscsi_inquiry_parse_product_identification(vdx_error* error, std::span<char> out,
                                                  std::span<const std::uint8_t> data) {
    if (data.size() < 32)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "buffer not large enough to parse scsi inquiry product identification");
    cmdx::copy_trimmed(out, data.subspan(16, 16));
    return vdx_error_clear(error);
}

int cmdxscsi_inquiry_parse_product_revision(vdx_error* error, std::span<char> out,
                                            std::span<const std::uint8_t> data) {
    if (data.size() < 36)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "buffer not large enough to parse scsi inquiry product revision");
    cmdx::copy_trimmed(out, data.subspan(32, 4));
    return vdx_error_clear(error);
}

int cmdxscsi_inquiry_vpd80_parse_serial(vdx_error* error, std::span<char> out,
                                        std::span<const std::uint8_t> data) {
    if (!out.empty()) std::memset(out.data(), 0, out.size());
    if (data.size() < 5)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "buffer not large enough to parse scsi inquiry vpd 80 serial");
    // The serial number runs from byte 4 for the page length, but never past
    // the bytes received.
    const std::size_t page_length = enctl::be16(data.data() + 2);
    const std::size_t length = std::min(page_length, data.size() - 4);
    cmdx::copy_trimmed(out, data.subspan(4, length));
    if (!out.empty() && out[0] == '\0' && data.size() >= 21) cmdx::copy_trimmed(out, data.subspan(4, 16));
    return vdx_error_clear(error);
}

int cmdxscsi_read_capacity_parse_returned_logical_block_address(vdx_error* error,
                                                                std::uint64_t* lba,
                                                                std::span<const std::uint8_t> data) {
    if (data.size() < 8)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "buffer not large enough to parse scsi read capacity returned logical block address");
    if (lba) *lba = enctl::be64(data.data());
    return vdx_error_clear(error);
}

int cmdxscsi_read_capacity_parse_logical_block_length_in_bytes(vdx_error* error,
                                                               std::uint32_t* length,
                                                               std::span<const std::uint8_t> data) {
    if (data.size() < 12)
        return VDX_ERROR(error, kErrParseOrCheckCondition, 0,
                         "buffer not large enough to parse scsi read capacity logical block length in bytes");
    if (length) *length = enctl::be32(data.data() + 8);
    return vdx_error_clear(error);
}

namespace {

// The first NAA designator of VPD page 83h that `wanted` accepts (given
// bytes 0 and 1 of its header), as 16 upper-case hex digits.
template <typename Wanted>
std::string naa_from_vpd83(std::span<const std::uint8_t> page, Wanted wanted) {
    if (page.size() < 4 || page[1] != kVpdDeviceIdentification || page[3] <= 4) return {};
    const std::size_t end = std::min(page.size(), static_cast<std::size_t>(page[3]) + 4);
    constexpr std::size_t kNaaLength = 8;
    for (std::size_t offset = 4; offset + 4 <= end; offset += 4 + page[offset + 3]) {
        if (!wanted(page[offset], page[offset + 1])) continue;
        if (page[offset + 3] < kNaaLength || offset + 4 + kNaaLength > end) return {};
        char text[2 * kNaaLength + 1];
        for (std::size_t i = 0; i < kNaaLength; ++i) std::snprintf(text + 2 * i, 3, "%02X", page[offset + 4 + i]);
        return std::string(text, 2 * kNaaLength);
    }
    return {};
}

}  // namespace

std::string sas_address_from_vpd83(std::span<const std::uint8_t> page) {
    return naa_from_vpd83(page, [](std::uint8_t b0, std::uint8_t b1) { return b0 == 0x01 && b1 == 0x03; });
}

std::string sas_target_port_from_vpd83(std::span<const std::uint8_t> page) {
    // Protocol 6 (SAS) with a binary code set; PIV set, target port
    // association (01b), NAA designator type.
    return naa_from_vpd83(page, [](std::uint8_t b0, std::uint8_t b1) { return b0 == 0x61 && b1 == 0x93; });
}

std::string capacity_in_gigabytes(std::uint64_t last_lba, std::uint32_t block_length) {
    const std::uint64_t gigabytes = (last_lba * block_length + 500) / 1000000000ULL;
    char text[24];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(gigabytes));
    return text;
}

int ses_parse_string(vdx_error* error, std::span<char> out, std::span<const std::uint8_t> page,
                     std::uint32_t* offset) {
    if (!out.empty()) std::memset(out.data(), 0, out.size());
    if (!offset) return vdx_error_clear(error);
    const std::size_t page_end = page.size() >= 4 ? enctl::be16(page.data() + 2) + 4u : 0;
    const std::size_t end = std::min(page_end, page.size());
    std::size_t pos = *offset;
    while (pos < end && page[pos] == 0) ++pos;
    if (pos > *offset) *offset = static_cast<std::uint32_t>(std::min<std::size_t>(pos, 0xFFFFFFFFu));
    std::size_t nul = pos;
    while (nul < end && page[nul] != 0) ++nul;
    if (nul < end && nul > pos) {
        cmdx::copy_trimmed(out, page.subspan(pos, nul - pos));
        *offset = static_cast<std::uint32_t>(nul);
    }
    return vdx_error_clear(error);
}

}  // namespace enctl
