#include "sim/lab.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <tuple>

#include "sim/controllers.h"
#include "sim/disk.h"
#include "sim/enclosure.h"

namespace enctl::sim {

namespace {

std::string lower_case(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::string sd_name(int index) {
    std::string letters;
    int n = index;
    do {
        letters.insert(letters.begin(), static_cast<char>('a' + n % 26));
        n = n / 26 - 1;
    } while (n >= 0);
    return "sd" + letters;
}

lab::lab(const lab_description& description) : description_(description) {
    // Build the devices; enclosures first so that disks can be seated.
    std::map<std::string, enclosure*> by_label;
    for (const auto& e : description_.enclosures) {
        lab_device d;
        d.role = device_role::enclosure;
        d.address = e.address;
        d.vendor = e.vendor;
        d.model = e.product_id;
        d.revision = e.revision;
        d.serial = e.serial;
        d.sas_address = e.sas_address;
        d.proc_name = e.proc_name;
        d.service_us = e.service_us.value_or(description_.enclosure_service_us);
        auto model = std::make_unique<enclosure>(e);
        model->set_clock(&clock_);
        d.as_enclosure = model.get();
        by_label[e.label] = model.get();
        d.model_device = std::move(model);
        for (const auto& f : e.faults) d.faults.push_back({f, 0, 0});
        devices_.push_back(std::move(d));
    }
    for (const auto& s : description_.disks) {
        lab_device d;
        d.address = s.address;
        d.vendor = s.kind == disk_kind::sata ? "ATA" : s.vendor;
        d.model = s.model;
        d.revision = s.revision;
        if (s.kind == disk_kind::sata && d.revision.size() > 4) d.revision = d.revision.substr(d.revision.size() - 4);
        d.serial = s.serial;
        d.blocks = s.blocks;
        d.block_size = s.block_size;
        d.controller = s.controller;
        d.service_us = s.service_us.value_or(description_.disk_service_us);
        for (const auto& f : s.faults) d.faults.push_back({f, 0, 0});
        slot_occupant occ;
        occ.serial = s.slot_serial;
        switch (s.kind) {
        case disk_kind::sas: {
            d.role = device_role::sas_disk;
            auto m = std::make_unique<sas_disk>(s);
            occ.port_a = m->port_address(0);
            occ.port_b = m->port_address(1);
            d.sas_address = occ.port_a;
            d.model_device = std::move(m);
            break;
        }
        case disk_kind::sata:
            d.role = device_role::sata_disk;
            d.model_device = std::make_unique<sata_disk>(s);
            occ.port_a = s.naa;
            occ.sata = true;
            d.sas_address = s.naa;
            break;
        case disk_kind::nvme:
            d.role = device_role::nvme;
            d.model_device = std::make_unique<nvme_disk>(s);
            break;
        }
        if (!s.enclosure.empty()) {
            auto it = by_label.find(s.enclosure);
            if (it != by_label.end()) {
                // A single-ported SATA drive on a dual-IOM enclosure is reached through IOM A.
                it->second->seat(static_cast<std::uint32_t>(s.slot), occ);
            }
        }
        for (const auto& e : description_.enclosures)
            if (e.address.host == s.address.host && d.proc_name.empty()) d.proc_name = e.proc_name;
        if (d.proc_name.empty()) d.proc_name = "mpt3sas";
        devices_.push_back(std::move(d));
    }

    // Operating-system names: sg numbers in SCSI address order, sd letters in
    // the address order of the disks, nvme numbers in description order.
    // Drives behind a RAID controller get the controller's names instead.
    std::vector<lab_device*> scsi;
    for (auto& d : devices_)
        if (d.role != device_role::nvme && d.controller.empty()) scsi.push_back(&d);
    std::sort(scsi.begin(), scsi.end(), [](const lab_device* a, const lab_device* b) {
        return std::tie(a->address.host, a->address.channel, a->address.target, a->address.lun) <
               std::tie(b->address.host, b->address.channel, b->address.target, b->address.lun);
    });
    int sg = 0, sd = 0, nvme = 0;
    char buf[64];
    for (auto* d : scsi) {
        d->sg_node = "sg" + std::to_string(sg++);
        if (d->role == device_role::enclosure) {
            std::snprintf(buf, sizeof buf, "SCSI%d:%d,%d,%d", d->address.host, d->address.channel,
                          d->address.target, d->address.lun);
            d->name = buf;
        } else {
            d->block_index = sd++;
            d->block_node = sd_name(d->block_index);
            d->name = "disk" + std::to_string(d->block_index);
        }
    }
    for (auto& d : devices_) {
        if (d.role != device_role::nvme) continue;
        d.block_index = nvme++;
        d.block_node = "nvme" + std::to_string(d.block_index);
        d.name = d.block_node;
    }
    name_controller_drives(devices_);
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const lab_device& d = devices_[i];
        if (!d.sg_node.empty()) by_node_.try_emplace(d.sg_node, i);
        if (!d.block_node.empty()) by_node_.try_emplace(d.block_node, i);
        by_name_.try_emplace(lower_case(d.name), i);
    }
}

lab_device* lab::find(std::string_view name) {
    const auto slash = name.rfind('/');
    if (slash != std::string_view::npos) {
        const auto dev = name.rfind("/dev/");
        if (dev == std::string_view::npos || dev + 4 != slash) return nullptr;
        name.remove_prefix(slash + 1);
    }
    // The first device that has the node or the name (names match in any case).
    std::size_t first = devices_.size();
    if (const auto it = by_node_.find(name); it != by_node_.end()) first = it->second;
    if (const auto it = by_name_.find(lower_case(name)); it != by_name_.end()) first = std::min(first, it->second);
    return first < devices_.size() ? &devices_[first] : nullptr;
}

namespace {

lab_device::fault_state* matching_fault(lab_device& dev, std::uint8_t opcode, int page) {
    for (auto& f : dev.faults) {
        if (f.spec.opcode != opcode) continue;
        if (f.spec.page && int{*f.spec.page} != page) continue;
        if (f.seen < f.spec.skip) {
            ++f.seen;
            continue;
        }
        if (f.spec.count && f.fired >= *f.spec.count) continue;
        ++f.fired;
        return &f;
    }
    return nullptr;
}

}  // namespace

template <class Result, class Run>
Result lab::serve(lab_device& dev, Run run) {
    const std::lock_guard device_busy(*dev.serving);
    Result result;
    {
        const std::lock_guard model(model_mutex_);
        result = run();
        dev.busy_us += dev.service_us;
    }
    if (dev.service_us) {
        static system_clock_source system_clock;
        (service_clock_ ? *service_clock_ : system_clock).sleep_us(dev.service_us);
    }
    return result;
}

scsi_result lab::execute_scsi(lab_device& dev, const scsi_command& cmd) {
    return serve<scsi_result>(dev, [&] { return run_scsi(dev, cmd); });
}

nvme_result lab::execute_nvme(lab_device& dev, const nvme_command& cmd) {
    return serve<nvme_result>(dev, [&] { return run_nvme(dev, cmd); });
}

scsi_result lab::run_scsi(lab_device& dev, const scsi_command& cmd) {
    if (cmd.cdb.empty()) return invalid_opcode();
    const int page = command_page(cmd.cdb, cmd.data_out);
    ++dev.counts[{cmd.cdb[0], page}];
    auto* fault = matching_fault(dev, cmd.cdb[0], page);
    if (fault) {
        const auto& f = fault->spec;
        switch (f.kind) {
        case fault_kind::check_condition: {
            scsi_result r;
            r.status = 0x02;
            r.sense = f.sense;
            return r;
        }
        case fault_kind::busy: {
            scsi_result r;
            r.status = 0x08;
            return r;
        }
        case fault_kind::drop: return {};
        case fault_kind::transport:
        case fault_kind::nvme_status: {
            scsi_result r;
            r.transport_failure = true;
            return r;
        }
        case fault_kind::short_transfer: {
            scsi_result r = dev.model_device->scsi(cmd);
            if (r.data_in.size() > f.length) r.data_in.resize(f.length);
            return r;
        }
        case fault_kind::delay: {
            clock_.advance_ms(f.delay_ms);
            if (cmd.timeout_ms && f.delay_ms > cmd.timeout_ms) {
                scsi_result r;
                r.host_status = 0x03;  // timed out
                r.duration_ms = cmd.timeout_ms;
                return r;
            }
            scsi_result r = dev.model_device->scsi(cmd);
            r.duration_ms = f.delay_ms;
            return r;
        }
        }
    }
    return dev.model_device->scsi(cmd);
}

nvme_result lab::run_nvme(lab_device& dev, const nvme_command& cmd) {
    const int page = static_cast<int>(cmd.cdw10 & 0xFF);
    ++dev.counts[{cmd.opcode, page}];
    if (auto* fault = matching_fault(dev, cmd.opcode, page)) {
        const auto& f = fault->spec;
        nvme_result r;
        switch (f.kind) {
        case fault_kind::nvme_status: r.status = f.nvme_status; return r;
        case fault_kind::drop: return r;
        case fault_kind::delay:
            clock_.advance_ms(f.delay_ms);
            if (cmd.timeout_ms && f.delay_ms > cmd.timeout_ms) {
                r.transport_failure = true;
                return r;
            }
            r = dev.model_device->nvme_admin(cmd);
            r.duration_ms = f.delay_ms;
            return r;
        case fault_kind::short_transfer:
            r = dev.model_device->nvme_admin(cmd);
            if (r.data_in.size() > f.length) r.data_in.resize(f.length);
            return r;
        default:
            r.transport_failure = true;
            return r;
        }
    }
    return dev.model_device->nvme_admin(cmd);
}

void lab::follow_sender_clock(std::uint32_t kind, std::uint32_t pid, std::uint64_t reading_ms) {
    if (kind == 0) return;
    const std::lock_guard model(model_mutex_);
    constexpr std::size_t kMaxSenders = 256;  // forget old processes
    if (sender_clocks_.size() >= kMaxSenders) sender_clocks_.clear();
    const auto [it, fresh] = sender_clocks_.try_emplace(pid, reading_ms);
    if (!fresh && reading_ms > it->second) clock_.advance_ms(reading_ms - it->second);
    it->second = reading_ms;
}

std::string lab::stats_text() const {
    const std::lock_guard model(model_mutex_);
    std::string out;
    char buf[160];
    std::uint64_t total = 0;
    const lab_device* busiest = nullptr;
    for (const auto& d : devices_) {
        if (!busiest || d.busy_us > busiest->busy_us) busiest = &d;
        const std::string& node = d.role == device_role::nvme ? d.block_node : d.sg_node;
        for (const auto& [key, n] : d.counts) {
            if (key.second < 0)
                std::snprintf(buf, sizeof buf, "%s /dev/%s %02Xh - %llu\n", d.name.c_str(), node.c_str(), key.first,
                              static_cast<unsigned long long>(n));
            else
                std::snprintf(buf, sizeof buf, "%s /dev/%s %02Xh %02Xh %llu\n", d.name.c_str(), node.c_str(),
                              key.first, key.second, static_cast<unsigned long long>(n));
            out += buf;
            total += n;
        }
    }
    std::snprintf(buf, sizeof buf, "total %llu\n", static_cast<unsigned long long>(total));
    out += buf;
    if (busiest && busiest->busy_us) {
        std::snprintf(buf, sizeof buf, "busiest %s %llu us\n", busiest->name.c_str(),
                      static_cast<unsigned long long>(busiest->busy_us));
        out += buf;
    }
    return out;
}

void lab::reset_stats() {
    const std::lock_guard model(model_mutex_);
    for (auto& d : devices_) {
        d.counts.clear();
        d.busy_us = 0;
    }
}

}  // namespace enctl::sim
