// enctl-fuzz-seeds OUT SOURCE_DIR: writes the seed corpus of each fuzz
// harness into OUT/<harness>/, taken from the simulated lab (what its
// enclosures and disks answer, as `enctl-lab dump` shows the pages), the test
// REST service's documents (tests/rest/enclosure.json) and the texts saved
// from the lab for the health report (tests/report/fixtures/lab).
#include <cjson/cJSON.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "sim/lab.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<std::uint8_t>;

fs::path g_out;

void save(const std::string& harness, std::string name, const bytes& data) {
    fs::create_directories(g_out / harness);
    for (char& c : name)
        if (c == ':' || c == ',') c = '_';
    std::ofstream(g_out / harness / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void save_text(const std::string& harness, const std::string& name, const std::string& text) {
    save(harness, name, bytes(text.begin(), text.end()));
}

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

enctl::sim::scsi_result scsi(enctl::sim::lab& lab, enctl::sim::lab_device& dev, bytes cdb, bytes out = {}) {
    enctl::sim::scsi_command cmd;
    cmd.cdb = cdb;
    cmd.data_out = out;
    cmd.data_in_capacity = 65535;
    return lab.execute_scsi(dev, cmd);
}

bytes framed(const bytes& page) {
    bytes out = {static_cast<std::uint8_t>(page.size() >> 8), static_cast<std::uint8_t>(page.size())};
    out.insert(out.end(), page.begin(), page.end());
    return out;
}

void enclosure_seeds(enctl::sim::lab& lab, enctl::sim::lab_device& dev, const std::string& name) {
    bytes pages[256];
    for (std::uint8_t page : {0x01, 0x02, 0x03, 0x04, 0x05, 0x07, 0x0A, 0x0E}) {
        pages[page] = scsi(lab, dev, {0x1C, 0x01, page, 0xFF, 0xFF, 0}).data_in;
        char file[64];
        std::snprintf(file, sizeof file, "%s_%02x", name.c_str(), page);
        save("fuzz_ses_pages", file, pages[page]);
    }
    for (std::uint8_t flags : {0, 1, 2, 4}) {
        bytes chain = {flags};
        for (const bytes& part : {framed(pages[0x01]), framed(pages[0x07]), pages[0x0A]})
            chain.insert(chain.end(), part.begin(), part.end());
        save("fuzz_ses_elements", name + "_" + std::to_string(flags), chain);
    }
    int n = 0;
    for (const std::string command : {"show drives", "show cable", "zonecfg", "nonsense"}) {
        bytes out = {0xEC, 0, 0, static_cast<std::uint8_t>(4 + command.size()), 0, 0, 0, 0};
        out.insert(out.end(), command.begin(), command.end());
        scsi(lab, dev, {0x1D, 0x10, 0, 0, static_cast<std::uint8_t>(out.size()), 0}, out);
        save("fuzz_ses_pages", name + "_ec_" + std::to_string(n++), scsi(lab, dev, {0x1C, 0x01, 0xEC, 0xFF, 0xFF, 0}).data_in);
    }
    save("fuzz_ses_pages", name + "_c1", scsi(lab, dev, {0x12, 0x01, 0xC1, 0x10, 0x00, 0}).data_in);
}

void scsi_device_seeds(enctl::sim::lab& lab, enctl::sim::lab_device& dev, const std::string& name) {
    save("fuzz_device_data", name + "_inquiry", scsi(lab, dev, {0x12, 0, 0, 0x10, 0x00, 0}).data_in);
    for (std::uint8_t page : {0x00, 0x80, 0x83, 0x89})
        save("fuzz_device_data", name + "_vpd" + std::to_string(page),
             scsi(lab, dev, {0x12, 0x01, page, 0x10, 0x00, 0}).data_in);
    save("fuzz_device_data", name + "_capacity",
         scsi(lab, dev, {0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}).data_in);
    // IDENTIFY DEVICE through ATA PASS-THROUGH(16), once with CK_COND (the
    // registers come back in descriptor sense data), and a refused opcode.
    const auto identify = scsi(lab, dev, {0x85, 0x08, 0x0E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0});
    save("fuzz_device_data", name + "_identify", identify.data_in);
    save("fuzz_device_data", name + "_identify_sense", identify.sense);
    save("fuzz_device_data", name + "_ck_cond_sense",
         scsi(lab, dev, {0x85, 0x08, 0x2E, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xEC, 0}).sense);
    save("fuzz_device_data", name + "_refused_sense", scsi(lab, dev, {0xFF, 0, 0, 0, 0, 0}).sense);
}

void rest_seeds(const fs::path& source) {
    const std::string text = read_text(source / "tests/rest/enclosure.json");
    cJSON* root = cJSON_Parse(text.c_str());
    for (cJSON* item = root ? root->child : nullptr; item; item = item->next) {
        char* printed = cJSON_PrintUnformatted(item);
        if (printed) save_text("fuzz_rest_json", item->string, printed);
        cJSON_free(printed);
    }
    cJSON_Delete(root);
    save_text("fuzz_rest_json", "job", R"({"PercentComplete":50,"JobState":{"Name":"Running"}})");
    save_text("fuzz_rest_json", "job_failed", R"({"PercentComplete":100,"JobState":"Exception"})");
    save_text("fuzz_rest_json", "logs", R"({"InProgress":true,"State":"Running"})");
    save_text("fuzz_rest_json", "headers",
              "HTTP/1.1 103 Early Hints\r\nEtag: x\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n"
              "ETag: 0123456789abcdef0123456789abcdef\r\n\r\n");
}

void report_seeds(const fs::path& source) {
    const fs::path lab = source / "tests/report/fixtures/lab";
    const char* const files[] = {"ses/page_02h_", "ses/page_03h_", "ses/page_07h_", "jbodlogs/show_drives_",
                                 "jbodlogs/show_cable_", "jbodlogs/zonecfg_"};
    std::uint8_t product = 5;
    for (const char* encl : {"scsi5_0-0-0", "scsi6_0-0-0", "scsi8_0-0-0"}) {
        std::string seed(1, static_cast<char>(product++ - 1));
        for (const char* file : files) seed += read_text(lab / (std::string(file) + encl + ".txt")) + '\0';
        seed += read_text(lab / "ses/sg_ses_-V.txt");
        save_text("fuzz_saved_text", encl, seed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: enctl-fuzz-seeds OUT SOURCE_DIR\n");
        return 2;
    }
    g_out = argv[1];
    enctl::sim::lab lab(enctl::sim::default_lab());
    // Every enclosure; two devices of each other kind are enough.
    int seen[4] = {};
    for (auto& dev : lab.devices()) {
        if (dev.role != enctl::sim::device_role::enclosure && seen[static_cast<int>(dev.role)]++ >= 2) continue;
        if (dev.role == enctl::sim::device_role::nvme) {
            enctl::sim::nvme_command identify;
            identify.opcode = 0x06;
            identify.cdw10 = 1;
            identify.data_len = 4096;
            save("fuzz_device_data", dev.name + "_identify", lab.execute_nvme(dev, identify).data_in);
            continue;
        }
        scsi_device_seeds(lab, dev, dev.name);
        if (dev.role == enctl::sim::device_role::enclosure) enclosure_seeds(lab, dev, dev.name);
    }
    rest_seeds(argv[2]);
    report_seeds(argv[2]);
    return 0;
}
