// Simulated disks: a SAS disk, a SATA disk behind SCSI/ATA translation (ATA
// commands arrive as ATA PASS-THROUGH), and an NVMe controller.
#pragma once

#include "sim/device.h"
#include "sim/lab_description.h"

namespace enctl::sim {

class sas_disk : public device {
public:
    explicit sas_disk(const disk_spec& spec) : spec_(spec) {}
    scsi_result scsi(const scsi_command& cmd) override;
    const disk_spec& spec() const { return spec_; }
    std::uint64_t port_address(int port) const { return spec_.naa + 1 + static_cast<std::uint64_t>(port); }

protected:
    virtual scsi_result inquiry(const scsi_command& cmd) const;
    scsi_result read_capacity16(const scsi_command& cmd) const;
    disk_spec spec_;
};

class sata_disk final : public sas_disk {
public:
    explicit sata_disk(const disk_spec& spec) : sas_disk(spec) {}
    scsi_result scsi(const scsi_command& cmd) override;
    // The 512 bytes of IDENTIFY DEVICE.
    bytes identify_data() const;

protected:
    scsi_result inquiry(const scsi_command& cmd) const override;

private:
    scsi_result ata_pass_through(const scsi_command& cmd) const;
};

class nvme_disk final : public device {
public:
    explicit nvme_disk(const disk_spec& spec) : spec_(spec) {}
    nvme_result nvme_admin(const nvme_command& cmd) override;
    const disk_spec& spec() const { return spec_; }
    bytes identify_controller() const;

private:
    disk_spec spec_;
};

}  // namespace enctl::sim
