#include "sim/sysfs_tree.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "basekit/clock.h"

namespace enctl::sim {

namespace fs = std::filesystem;

namespace {

class tree_writer {
public:
    std::string error;

    bool dir(const fs::path& p) {
        std::error_code ec;
        fs::create_directories(p, ec);
        return ok(ec, p);
    }
    bool file(const fs::path& p, const std::string& text) {
        std::ofstream f(p, std::ios::binary | std::ios::trunc);
        f << text;
        f.close();
        if (!f && error.empty()) error = p.string() + ": cannot write";
        return static_cast<bool>(f);
    }
    bool link(const std::string& target, const fs::path& p) {
        std::error_code ec;
        fs::create_symlink(target, p, ec);
        return ok(ec, p);
    }

private:
    bool ok(const std::error_code& ec, const fs::path& p) {
        if (ec && error.empty()) error = p.string() + ": " + ec.message();
        return !ec;
    }
};

std::string address_text(const scsi_address& a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d:%d:%d:%d", a.host, a.channel, a.target, a.lun);
    return buf;
}

}  // namespace

std::string node_file_text(const lab_device& dev, const std::string& node) {
    char buf[128];
    const bool scsi = dev.role != device_role::nvme;
    std::snprintf(buf, sizeof buf, "enctl-lab %s %d %d %d %d %d\n", node.c_str(), scsi ? dev.address.host : -1,
                  scsi ? dev.address.channel : -1, scsi ? dev.address.target : -1, scsi ? dev.address.lun : -1,
                  dev.role == device_role::enclosure ? 13 : 0);
    return buf;
}

bool write_sysfs_tree(const lab& the_lab, const std::string& root_text, std::string& error) {
    const fs::path root(root_text);
    std::error_code ec;
    fs::remove_all(root, ec);
    tree_writer w;
    const fs::path sys = root / "sys";
    w.dir(root / "dev");
    w.file(root / kLabRootMarker, "device root of a simulated lab\n");
    w.dir(sys / "class" / "scsi_generic");
    w.dir(sys / "class" / "scsi_host");
    w.dir(sys / "class" / "block");
    w.dir(sys / "class" / "nvme");
    w.dir(sys / "block");

    const bool kernel_links = the_lab.description().kernel_class_links;
    int pci = 0;
    for (const auto& d : the_lab.devices()) {
        if (!d.controller.empty()) continue;  // behind a RAID controller: no OS device
        if (d.role == device_role::nvme) {
            char fn[32];
            std::snprintf(fn, sizeof fn, "0000:00:1d.%d", pci++);
            const fs::path func = sys / "devices" / "pci0000:00" / fn;
            const fs::path ctrl = func / "nvme" / d.block_node;
            w.dir(ctrl);
            w.file(func / "vendor", "0x1b4c\n");
            w.file(ctrl / "model", d.model + "\n");
            w.file(ctrl / "serial", d.serial + "\n");
            w.file(ctrl / "firmware_rev", d.revision + "\n");
            w.file(ctrl / "dev", "240:" + std::to_string(d.block_index) + "\n");
            w.link(std::string("../../../") + fn, ctrl / "device");
            const fs::path cls = sys / "class" / "nvme" / d.block_node;
            if (kernel_links) {
                w.link(std::string("../../devices/pci0000:00/") + fn + "/nvme/" + d.block_node, cls);
                w.file(root / "dev" / d.block_node, node_file_text(d, d.block_node));
                continue;
            }
            // The class entry is a directory of its own whose `device` link
            // resolves the same way lexically and through the file system.
            w.dir(cls);
            for (const char* f : {"model", "serial", "firmware_rev", "dev"})
                w.file(cls / f, f == std::string("model")          ? d.model + "\n"
                                : f == std::string("serial")       ? d.serial + "\n"
                                : f == std::string("firmware_rev") ? d.revision + "\n"
                                                                   : "240:" + std::to_string(d.block_index) + "\n");
            w.link(std::string("../../../devices/pci0000:00/") + fn, cls / "device");
            w.file(root / "dev" / d.block_node, node_file_text(d, d.block_node));
            continue;
        }
        const std::string host = "host" + std::to_string(d.address.host);
        const fs::path host_dir = sys / "devices" / "platform" / host;
        const fs::path scsi_host = host_dir / "scsi_host" / host;
        if (!fs::exists(scsi_host)) {
            w.dir(scsi_host);
            w.file(scsi_host / "proc_name", d.proc_name + "\n");
            w.link("../../devices/platform/" + host + "/scsi_host/" + host, sys / "class" / "scsi_host" / host);
        }
        const std::string hctl = address_text(d.address);
        const std::string target = "target" + std::to_string(d.address.host) + ":" + std::to_string(d.address.channel) +
                                   ":" + std::to_string(d.address.target);
        const std::string rel = "devices/platform/" + host + "/" + target + "/" + hctl;
        const fs::path dev_dir = sys / rel;
        w.dir(dev_dir / "scsi_generic" / d.sg_node);
        w.file(dev_dir / "type", std::string(d.role == device_role::enclosure ? "13" : "0") + "\n");
        w.file(dev_dir / "vendor", padded(d.vendor, 8) + "\n");
        w.file(dev_dir / "model", padded(d.model, 16) + "\n");
        w.file(dev_dir / "rev", padded(d.revision, 4) + "\n");
        w.file(dev_dir / "state", "running\n");
        if (d.sas_address) w.file(dev_dir / "sas_address", "0x" + hex16(d.sas_address) + "\n");
        const std::string sg_number = d.sg_node.substr(2);
        w.file(dev_dir / "scsi_generic" / d.sg_node / "dev", "21:" + sg_number + "\n");
        w.link("../../../" + hctl, dev_dir / "scsi_generic" / d.sg_node / "device");
        const fs::path sg_class = sys / "class" / "scsi_generic" / d.sg_node;
        if (kernel_links) {
            w.link("../../" + rel + "/scsi_generic/" + d.sg_node, sg_class);
        } else {
            w.dir(sg_class);
            w.file(sg_class / "dev", "21:" + sg_number + "\n");
            w.link("../../../" + rel, sg_class / "device");
        }
        w.file(root / "dev" / d.sg_node, node_file_text(d, d.sg_node));
        if (!d.block_node.empty()) {
            const fs::path blk = dev_dir / "block" / d.block_node;
            w.dir(blk);
            w.file(blk / "dev", "8:" + std::to_string(16 * d.block_index) + "\n");
            w.file(blk / "size", std::to_string(d.blocks * d.block_size / 512) + "\n");
            w.link("../../../" + hctl, blk / "device");
            const fs::path blk_class = sys / "block" / d.block_node;
            if (kernel_links) {
                w.link("../" + rel + "/block/" + d.block_node, blk_class);
            } else {
                w.dir(blk_class);
                w.file(blk_class / "dev", "8:" + std::to_string(16 * d.block_index) + "\n");
                w.file(blk_class / "size", std::to_string(d.blocks * d.block_size / 512) + "\n");
                w.link("../../" + rel, blk_class / "device");
            }
            w.link("../../block/" + d.block_node, sys / "class" / "block" / d.block_node);
            w.file(root / "dev" / d.block_node, node_file_text(d, d.block_node));
        }
        if (!w.error.empty()) break;
    }
    error = w.error;
    return error.empty();
}

}  // namespace enctl::sim
