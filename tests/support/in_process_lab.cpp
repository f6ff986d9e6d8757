#include "tests/support/in_process_lab.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#include "app/entry.h"
#include "basekit/clock.h"
#include "basekit/fixed_text.h"
#include "sim/lab_description.h"
#include "vdx/vdx_sat.h"

namespace enctl::testing {

namespace {

sim::lab* g_served = nullptr;
std::atomic<vdx_handle> g_next_handle = 1000;

// The lab device behind a record, by its index in the lab's device list.
struct lab_state final : vdx_backend_state {
    std::size_t index = 0;
    std::unique_ptr<vdx_backend_state> clone() const override { return std::make_unique<lab_state>(*this); }
};

sim::lab_device* device_of(const vdx_dev& dev) {
    const auto* state = vdx_backend_state_of<lab_state>(dev);
    if (!g_served || !state || state->index >= g_served->devices().size()) return nullptr;
    return &g_served->devices()[state->index];
}

bool is_scsi_disk(const sim::lab_device& d) {
    return d.role == sim::device_role::sas_disk || d.role == sim::device_role::sata_disk;
}

// The lab's devices of one kind in kernel number order, as the Linux
// enumerators take them from sysfs.
template <class Keep, class Number>
std::vector<std::size_t> in_kernel_order(Keep keep, Number number) {
    std::vector<std::size_t> picked;
    const auto& devices = g_served->devices();
    for (std::size_t i = 0; i < devices.size(); ++i)
        if (keep(devices[i])) picked.push_back(i);
    std::sort(picked.begin(), picked.end(),
              [&](std::size_t a, std::size_t b) { return number(devices[a]) < number(devices[b]); });
    return picked;
}

vdx_dev* push_device(vdx_dev_list* list, std::size_t index, const std::string& node) {
    vdx_dev* rec = vdx_dev_enumeration_push_back(list);
    if (!rec) return nullptr;
    const sim::lab_device& d = g_served->devices()[index];
    set_text(rec->name, d.name);
    set_text(rec->device_path, "/dev/" + node);
    auto state = std::make_unique<lab_state>();
    state->index = index;
    rec->backend_state = std::move(state);
    if (d.role != sim::device_role::nvme) {
        rec->scsi_address.length = 8;
        rec->scsi_address.port = static_cast<std::uint8_t>(d.address.host);
        rec->scsi_address.path = static_cast<std::uint8_t>(d.address.channel);
        rec->scsi_address.target = static_cast<std::uint8_t>(d.address.target);
        rec->scsi_address.lun = static_cast<std::uint8_t>(d.address.lun);
    }
    return rec;
}

void enumerate_disks(vdx_dev_list* list) {
    for (std::size_t i : in_kernel_order(is_scsi_disk, [](const sim::lab_device& d) { return d.block_index; })) {
        vdx_dev* rec = push_device(list, i, g_served->devices()[i].block_node);
        if (!rec) continue;
        rec->connection = kVdxConnectionStorage;
        rec->physical_drive_number = static_cast<std::uint32_t>(g_served->devices()[i].block_index);
    }
}

void enumerate_nvme(vdx_dev_list* list) {
    const auto nvme = [](const sim::lab_device& d) { return d.role == sim::device_role::nvme; };
    for (std::size_t i : in_kernel_order(nvme, [](const sim::lab_device& d) { return d.block_index; })) {
        vdx_dev* rec = push_device(list, i, g_served->devices()[i].block_node);
        if (!rec) continue;
        rec->interface = kVdxInterfaceNvme;
        rec->connection = kVdxConnectionStorage;
        rec->connection_driver = kVdxDriverInboxNvme;
        rec->physical_drive_number = 0xFFFFFFFFu;
    }
}

void enumerate_ses(vdx_dev_list* list) {
    const auto enclosure = [](const sim::lab_device& d) { return d.role == sim::device_role::enclosure; };
    const auto sg_number = [](const sim::lab_device& d) { return std::stoi(d.sg_node.substr(2)); };
    for (std::size_t i : in_kernel_order(enclosure, sg_number)) {
        vdx_dev* rec = push_device(list, i, g_served->devices()[i].sg_node);
        if (!rec) continue;
        rec->interface = kVdxInterfaceScsi;
        rec->connection = kVdxConnectionEnclosure;
    }
}

int lab_open(vdx_error* error, vdx_dev* dev) {
    if (!device_of(*dev))
        return VDX_ERROR(error, kErrOsRequest, ENOENT, "lab dev open failed, could not open %s", dev->device_path);
    dev->os_handle = g_next_handle++;
    return 0;
}

int lab_close(vdx_error*, vdx_dev* dev) {
    dev->os_handle = dev->second_handle = kVdxInvalidHandle;
    return 0;
}

int lab_cleanup(vdx_dev* dev) { return lab_close(nullptr, dev); }

int lab_copy(vdx_dev* dest, const vdx_dev* src) {
    if (src->os_handle != kVdxInvalidHandle) dest->os_handle = g_next_handle++;
    return 0;
}

// A unit attention: the Linux backend sends the command again, up to three times.
bool unit_attention(const sim::scsi_result& r) {
    if (r.status != 0x02 || r.sense.size() < 3) return false;
    const std::uint8_t response_code = r.sense[0] & 0x7F;
    if (response_code == 0x72 || response_code == 0x73) return (r.sense[1] & 0x0F) == 0x06;
    return (response_code == 0x70 || response_code == 0x71) && (r.sense[2] & 0x0F) == 0x06;
}

// SCSI commands as SG_IO through the preload shim delivers them.
int lab_scsi_execute(vdx_error* error, vdx_dev* dev, vdx_scsi_cmd* cmd) {
    sim::lab_device* d = device_of(*dev);
    if (!d || dev->os_handle == kVdxInvalidHandle)
        return VDX_ERROR(error, kErrOsRequest, EBADF, "error executing scsi SG_IO ioctl");
    if (cmd->cdb_length == 0 || cmd->cdb_length > sizeof cmd->cdb)
        return VDX_ERROR(error, kErrOsRequest, EINVAL, "invalid cdb length %u", cmd->cdb_length);
    if (vdx_dev_check_answering(error, dev)) return 1;
    const bool has_data = cmd->transfer_length != 0 && cmd->data != nullptr;
    const bool to_device = has_data && cmd->direction == kVdxDirToDevice;
    const bool from_device = has_data && cmd->direction == kVdxDirFromDevice;
    sim::scsi_command c;
    c.cdb = std::span<const std::uint8_t>(cmd->cdb, cmd->cdb_length);
    if (to_device) c.data_out = std::span<const std::uint8_t>(cmd->data, cmd->transfer_length);
    c.data_in_capacity = from_device ? cmd->transfer_length : 0;
    c.timeout_ms = cmd->timeout;
    cmd->bytes_transferred = 0;
    cmd->scsi_status = 0;
    if (d->role == sim::device_role::nvme)  // an NVMe node knows no SG_IO
        return VDX_ERROR(error, kErrOsRequest, ENOTTY, "error executing scsi SG_IO ioctl");
    sim::scsi_result r = g_served->execute_scsi(*d, c);
    for (int retry = 0; retry < 3 && unit_attention(r); ++retry) r = g_served->execute_scsi(*d, c);

    const std::uint32_t sense_room = cmd->sense_length == 0 || cmd->sense_length > sizeof cmd->sense
                                         ? sizeof cmd->sense
                                         : cmd->sense_length;
    std::memset(cmd->sense, 0, sizeof cmd->sense);
    if (r.transport_failure) {
        cmd->sense_length = 0;
        return VDX_ERROR(error, kErrOsRequest, EIO, "error executing scsi SG_IO ioctl");
    }
    cmd->scsi_status = r.status;
    cmd->sense_length = std::min<std::uint32_t>(static_cast<std::uint32_t>(r.sense.size()), sense_room);
    std::copy_n(r.sense.begin(), cmd->sense_length, cmd->sense);
    if (from_device) {
        cmd->bytes_transferred = std::min<std::uint32_t>(static_cast<std::uint32_t>(r.data_in.size()),
                                                         cmd->transfer_length);
        std::copy_n(r.data_in.begin(), cmd->bytes_transferred, cmd->data);
    } else if (to_device) {
        cmd->bytes_transferred = cmd->transfer_length;
    }
    if (r.host_status == 0x03) return vdx_dev_timed_out(error, dev, "SG_IO time-out");  // DID_TIME_OUT
    if (r.host_status != 0)
        return VDX_ERROR(error, kErrOsRequest, r.host_status, "scsi command failed - host status %xh",
                         r.host_status);
    return 0;
}

// NVMe admin commands as NVME_IOCTL_ADMIN_CMD through the shim delivers them.
int lab_nvme_execute(vdx_error* error, vdx_dev* dev, vdx_nvme_cmd* cmd) {
    sim::lab_device* d = device_of(*dev);
    if (!d || dev->os_handle == kVdxInvalidHandle)
        return VDX_ERROR(error, kErrOsRequest, EBADF, "error executing nvme admin ioctl");
    if (d->role != sim::device_role::nvme || cmd->queue != 0)
        return VDX_ERROR(error, kErrOsRequest, ENOTTY, "error executing nvme %s ioctl",
                         cmd->queue == 0 ? "admin" : "io");
    const bool has_data = cmd->data && cmd->length && cmd->direction != kVdxDirNone;
    sim::nvme_command c;
    c.opcode = static_cast<std::uint8_t>(cmd->opcode);
    c.nsid = cmd->nsid;
    c.cdw10 = cmd->cdw10;
    c.cdw11 = cmd->cdw11;
    c.cdw12 = cmd->cdw12;
    c.cdw13 = cmd->cdw13;
    c.cdw14 = cmd->cdw14;
    c.cdw15 = cmd->cdw15;
    if (has_data && (c.opcode & 0x01)) c.data_out = std::span<const std::uint8_t>(cmd->data, cmd->length);
    c.data_len = has_data && (c.opcode & 0x02) ? cmd->length : 0;
    c.timeout_ms = cmd->timeout;
    std::memset(cmd->completion, 0, sizeof cmd->completion);
    const sim::nvme_result r = g_served->execute_nvme(*d, c);
    if (r.transport_failure) return VDX_ERROR(error, kErrOsRequest, EIO, "error executing nvme admin ioctl");
    std::copy_n(r.data_in.begin(), std::min<std::size_t>(r.data_in.size(), c.data_len), cmd->data);
    cmd->completion[0] = r.result;
    cmd->completion[3] = (static_cast<std::uint32_t>(r.status) & 0x7FFFu) << 17;
    return 0;
}

bool scsi_good(vdx_dev* dev, vdx_scsi_cmd* cmd) {
    vdx_error error{};
    return lab_scsi_execute(&error, dev, cmd) == 0 && cmd->scsi_status == 0;
}

bool lab_probe_nvme(vdx_dev* dev) {
    const sim::lab_device* d = device_of(*dev);
    return d && d->role == sim::device_role::nvme;
}

bool lab_probe_scsi(vdx_dev* dev) { return device_of(*dev) && !lab_probe_nvme(dev); }

// The Linux probe: the vendor the kernel read (sysfs `vendor`, "ATA" behind
// a SAT layer) decides; without one, two questions: the ATA Information VPD
// page (89h), else ATA IDENTIFY DEVICE through ATA PASS-THROUGH.
bool lab_probe_scsi_sat_ata(vdx_dev* dev) {
    if (dev->connection != kVdxConnectionStorage || !lab_probe_scsi(dev)) return false;
    std::string_view vendor = device_of(*dev)->vendor;
    while (!vendor.empty() && vendor.back() == ' ') vendor.remove_suffix(1);
    if (!vendor.empty()) return vendor == "ATA";
    std::uint8_t vpd[572] = {};
    vdx_scsi_cmd inquiry{};
    const std::uint8_t cdb[6] = {0x12, 0x01, 0x89, sizeof vpd >> 8, sizeof vpd & 0xFF, 0};
    std::copy(std::begin(cdb), std::end(cdb), inquiry.cdb);
    inquiry.cdb_length = 6;
    inquiry.data = vpd;
    inquiry.transfer_length = sizeof vpd;
    inquiry.sense_length = sizeof inquiry.sense;
    inquiry.timeout = kVdxScsiTimeoutMs;
    inquiry.direction = kVdxDirFromDevice;
    if (scsi_good(dev, &inquiry) && inquiry.bytes_transferred >= 4 && vpd[1] == 0x89) return true;

    std::uint8_t identify[512] = {};
    vdx_ata_cmd ata{};
    ata.protocol = 4;
    ata.t_length = 2;
    ata.transfer_unit = 1;
    ata.count = 1;
    ata.command = 0xEC;
    ata.data = identify;
    ata.length = sizeof identify;
    ata.timeout = kVdxAtaTimeoutMs;
    ata.direction = kVdxDirFromDevice;
    vdx_scsi_cmd pass_through;
    vdx_scsi_build_ata_pass_through(&pass_through, ata);
    return scsi_good(dev, &pass_through);
}

int lab_bus_number(const vdx_dev* dev) {
    const sim::lab_device* d = device_of(*dev);
    return d && d->role != sim::device_role::nvme ? d->address.host : -1;
}

bool lab_adaptec_present() {
    return std::any_of(g_served->devices().begin(), g_served->devices().end(),
                       [](const sim::lab_device& d) { return d.proc_name == "aacraid"; });
}

std::size_t enumerator_slot(std::uint32_t flag) {
    return static_cast<std::size_t>(std::find(std::begin(kVdxEnumerateOrder), std::end(kVdxEnumerateOrder), flag) -
                                    std::begin(kVdxEnumerateOrder));
}

const vdx_backend_ops& lab_backend() {
    static const vdx_backend_ops ops = [] {
        vdx_backend_ops o{};
        o.name = "in-process lab";
        o.enumerate[enumerator_slot(kVdxEnumDisks)] = &enumerate_disks;
        o.enumerate[enumerator_slot(kVdxEnumScsiControllers)] = &enumerate_nvme;
        o.enumerate[enumerator_slot(kVdxEnumSes)] = &enumerate_ses;
        o.open = &lab_open;
        o.close = &lab_close;
        o.cleanup = &lab_cleanup;
        o.copy = &lab_copy;
        o.probe_nvme = &lab_probe_nvme;
        o.probe_scsi_sat_ata = &lab_probe_scsi_sat_ata;
        o.probe_scsi = &lab_probe_scsi;
        o.scsi_execute = &lab_scsi_execute;
        o.nvme_execute = &lab_nvme_execute;
        o.bus_number = &lab_bus_number;
        o.adaptec_present = &lab_adaptec_present;
        return o;
    }();
    return ops;
}

}  // namespace

in_process_lab::in_process_lab() { serve(sim::default_lab()); }

in_process_lab::in_process_lab(std::string_view json) {
    const auto description = sim::parse_lab_description(json, error_);
    if (description) serve(*description);
}

void in_process_lab::serve(const sim::lab_description& description) {
    if (g_served) {
        error_ = "another in-process lab is being served";
        return;
    }
    model_ = std::make_unique<sim::lab>(description);
    g_served = model_.get();
    platform_slot_.emplace(vdx_backend_kind::platform, nullptr);
    test_slot_.emplace(vdx_backend_kind::test, &lab_backend());
    set_clock(&model_->clock());
}

in_process_lab::~in_process_lab() {
    if (!model_) return;
    set_clock(nullptr);
    test_slot_.reset();
    platform_slot_.reset();
    g_served = nullptr;
}

std::vector<std::string> in_process_lab::device_names() const {
    vdx_dev_list list;
    vdx_dev_enumerate_all(&list);
    std::vector<std::string> names;
    for (const vdx_dev& dev : list.view()) names.emplace_back(dev.name);
    return names;
}

std::uint64_t in_process_lab::commands(std::string_view device, int opcode, int page) const {
    const sim::lab_device* d = model_->find(device);
    if (!d) return 0;
    std::uint64_t n = 0;
    for (const auto& [key, count] : d->counts)
        if ((opcode < 0 || key.first == opcode) && (page < 0 || key.second == page)) n += count;
    return n;
}

in_process_result run_enctl_in_process(const std::vector<std::string>& args) {
    std::vector<std::string> words{"enctl"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    in_process_result result;
    std::FILE* capture = std::tmpfile();
    if (!capture) return result;
    std::fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    ::dup2(::fileno(capture), STDOUT_FILENO);
    result.exit_code = enctl_main(static_cast<int>(words.size()), argv.data());
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    std::rewind(capture);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, capture)) > 0;) result.out.append(buffer, n);
    std::fclose(capture);
    return result;
}

}  // namespace enctl::testing
