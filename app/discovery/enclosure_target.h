// The record attached to every recognised enclosure (kEnclosureTargetTag) and to every
// disk added for show handles or drive logs (kEndDeviceTag). Operations read it
// through the first node of a device's data chain.
#pragma once

#include <cstdint>
#include <vector>

namespace enctl {

// Tags of the attached-data nodes this program creates.
inline constexpr std::uint64_t kEnclosureTargetTag = 4096;
inline constexpr std::uint64_t kEndDeviceTag = 4097;

struct enclosure_target {
    char name[1024];         // enclosure: "scsi%u_%u-%u-%u"; end device: the device name
    char os_name[1024];      // enclosure: the device name; end device: its handle name
    char product_id[32];     // INQUIRY product identification, trimmed
    char serial[32];         // unit serial number
    char firmware[32];       // firmware revision
    char description[32];    // product description
    char code_name[32];      // product code name
    char sas_address[32];    // end device: 16 upper-case hex digits from VPD 83h
    char capacity[32];       // end device: decimal gigabytes, or "N/A"
    std::uint32_t product_code;  // 1..7 (app/product/product.h), 0 for an end device
    std::uint32_t marked;
    std::uint32_t extended_support;
    std::int32_t bus;        // SCSI port number, -1 when unknown
    std::uint32_t single_iom;
    std::uint32_t dual_iom;
    std::uint32_t multi_tenant;
    char target_port[32];    // end device: SAS target port address from VPD 83h, empty when none
    // Enclosure: page 01h when recognition read it whole, so that the run's
    // listing does not read it again (it changes only with its generation).
    std::vector<std::uint8_t> configuration_page;
};

}  // namespace enctl
