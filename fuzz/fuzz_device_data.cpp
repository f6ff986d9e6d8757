// Identification data and command results a device returns: standard INQUIRY,
// VPD pages 80h and 83h, READ CAPACITY(16), sense data (both layouts and the
// descriptor walk), the SAT result of ATA PASS-THROUGH, the check of a
// finished command, and ATA and NVMe identify data.
#include <algorithm>

#include "cmdx/cmdxata/cmdxata.h"
#include "cmdx/cmdxnvme/cmdxnvme.h"
#include "cmdx/cmdxscsi/cmdxscsi.h"
#include "fuzz/fuzz_common.h"
#include "vdx/vdx_sat.h"
#include "vdx/vdx_sense.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace enctl;
    fuzz::quiet_console();
    const std::span<const std::uint8_t> in(data, size);
    vdx_error error{};
    char text[64];
    std::uint8_t type = 0;
    cmdxscsi_inquiry_parse_peripheral_type(&error, &type, in);
    cmdxscsi_inquiry_parse_product_identification(&error, text, in);
    cmdxscsi_inquiry_parse_product_revision(&error, text, in);
    cmdxscsi_inquiry_vpd80_parse_serial(&error, text, in);
    (void)sas_address_from_vpd83(in);
    (void)sas_target_port_from_vpd83(in);
    std::uint64_t lba = 0;
    std::uint32_t block_length = 0;
    cmdxscsi_read_capacity_parse_returned_logical_block_address(&error, &lba, in);
    cmdxscsi_read_capacity_parse_logical_block_length_in_bytes(&error, &block_length, in);
    (void)capacity_in_gigabytes(lba, block_length);
    cmdxata_identify_parse_serial(&error, text, in);
    cmdxnvme_identify_controller_parse_serial(&error, text, in);

    for (auto layout : {vdx_sense_format::none, vdx_sense_format::fixed, vdx_sense_format::descriptor}) {
        const vdx_sense sense = vdx_sense_decode(in, layout);
        for (std::size_t at = 8; at < in.size(); at += 2 + sense.byte(at + 1))
            if (vdx_sense_descriptor_at(sense, at).empty()) break;
    }
    // The bytes as the sense data of a finished command: CHECK CONDITION of
    // an ATA PASS-THROUGH(16) with CK_COND.
    vdx_scsi_cmd scsi{};
    vdx_ata_cmd ata{};
    ata.check_condition = 1;
    vdx_scsi_build_ata_pass_through(&scsi, ata);
    scsi.scsi_status = 0x02;
    scsi.sense_length = static_cast<std::uint32_t>(std::min(in.size(), sizeof scsi.sense));
    std::copy_n(in.begin(), scsi.sense_length, scsi.sense);
    (void)vdx_scsi_is_ata_pass_through_ck_cond(scsi);
    vdx_scsi_fill_ata_result_from_sat(scsi, &ata);
    cmdxscsi_check_error(&error, scsi);
    return 0;
}
