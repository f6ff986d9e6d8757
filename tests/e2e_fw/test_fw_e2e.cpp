// fw and zone of the real enctl binary against a simulated lab, with the
// confirmations typed on standard input and the virtual clock. Each lab's
// runs are one transcript in golden/<lab>.txt: the command (with what was
// typed), its output after the banner (carriage returns shown as \r), what
// it wrote to standard error and its exit code. enctl-lab and sg_ses runs in
// between show what the enclosure took ($LAB is the lab's directory, $FW the
// folder of the images).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/running_lab.h"

namespace enctl::testing {
namespace {

struct step {
    std::vector<std::string> args;  // enctl's arguments, or an enctl-lab or sg_ses command line
    std::string input = {};         // standard input
    std::string only = {};          // keep only the output lines holding one of these texts (|-separated)
};

struct lab_case {
    const char* name;
    const char* json;
    std::vector<step> steps;
};

// Products 2 and 4 (SCSI1, SCSI2) and 5 (SCSI3) stand for the three product
// families; 7 (SCSI4) has one IOM, 6 (SCSI5) two, the multi-tenant 6 (SCSI6)
// takes only .tar.gz files. SCSI7 refuses the third segment; SCSI8 loses the
// fifth and never gives up waiting for it.
const char* const kFirmwareLab = R"({"enclosures": [
    {"product": 2, "label": "slate"}, {"product": 4, "label": "corvin"}, {"product": 5, "label": "opal"},
    {"product": 7, "label": "garnet"}, {"product": 6, "label": "alder"},
    {"product": 6, "multi_tenant": true, "label": "mt"},
    {"product": 5, "label": "failing", "faults": [{"opcode": "0x1D", "page": "0x0E", "kind": "check_condition",
                                                   "skip": 2, "sense": {"key": 4, "asc": "0x44", "ascq": 0}}]},
    {"product": 5, "label": "stuck", "microcode": {"timeout_seconds": 0},
     "faults": [{"opcode": "0x1D", "page": "0x0E", "kind": "drop", "skip": 4, "count": 1}]}]})";

// The lines of `enctl-lab state` that tell the firmware and the IOM resets.
const char* const kFirmwareState = "-00|stored|download_status|\"segments|activations|F0h|C0h|not_ready";

const lab_case kLabs[] = {
    {"firmware",
     kFirmwareLab,
     {
         {{"enctl-lab", "image", "2", "2050-001", "$FW"}},
         {{"enctl-lab", "image", "4", "0700-001", "$FW"}},
         {{"enctl-lab", "image", "5", "2050-001", "$FW"}},
         {{"enctl-lab", "image", "7", "3100-001", "$FW"}},
         {{"enctl-lab", "image", "6", "3100-001", "$FW"}},
         {{"enctl-lab", "image", "5", "2050-002", "$FW/mat_bad.bin", "--corrupt"}},
         // Each family: download, activation, the restart, the new revision.
         {{"SCSI1:0,0,0", "fw", "download_activate", "$FW/NX2B_2050-001.bin"}, "y\n"},
         {{"enctl-lab", "wait", "$LAB", "60"}},
         {{"SCSI1:0,0,0", "show"}},
         {{"SCSI2:0,0,0", "fw", "download_activate", "$FW/NX1F_0700-001.bin"}, "y\n"},
         {{"enctl-lab", "wait", "$LAB", "60"}},
         {{"SCSI2:0,0,0", "show"}},
         {{"SCSI3:0,0,0", "fw", "download", "$FW/mat_2050-001.bin"}},
         {{"SCSI3:0,0,0", "fw", "status"}},
         {{"sg_ses", "--page=0xe", "$LAB/root/dev/sg2"}},
         {{"SCSI3:0,0,0", "fw", "activate"}, "n\n"},
         {{"SCSI3:0,0,0", "fw", "activate"}, " \n y\n"},
         {{"SCSI3:0,0,0", "fw", "status"}},
         {{"enctl-lab", "wait", "$LAB", "60"}},
         {{"SCSI3:0,0,0", "show"}},
         {{"SCSI3:0,0,0", "fw", "activate"}, "y\n"},
         {{"SCSI3:0,0,0", "fw", "status"}, "", "Download status"},
         // Resets: the only IOM; both IOMs, the second refused.
         {{"SCSI4:0,0,0", "fw", "download_reset", "$FW/korv_mat_3100-001.bin"}, "y\n"},
         {{"enctl-lab", "state", "$LAB", "SCSI4:0,0,0"}, "", kFirmwareState},
         {{"enctl-lab", "wait", "$LAB", "60"}},
         {{"SCSI4:0,0,0", "show"}},
         {{"SCSI5:0,0,0", "fw", "download_reset", "$FW/MtAlder_3100-001.bin"}, "y\nn\n"},
         {{"enctl-lab", "state", "$LAB", "SCSI5:0,0,0"}, "", kFirmwareState},
         {{"sg_ses", "--page=7", "$LAB/root/dev/sg4"}, "", "EXP IOM"},
         {{"SCSI5:0,0,0", "show"}, "", "firmware"},
         {{"SCSI1:0,0,0", "fw", "reset"}},
         {{"SCSI6:0,0,0", "fw", "download", "/srv/fw/MtAlder_3100-001.bin"}},
         // A refused image is never activated.
         {{"enctl-lab", "stats", "$LAB", "reset"}},
         {{"SCSI3:0,0,0", "fw", "download_activate", "$FW/mat_bad.bin"}, "y\n"},
         // A file that reads short of its size (a sysfs attribute) sends nothing.
         {{"SCSI3:0,0,0", "fw", "download", "$FW/mat_short.bin"}},
         {{"enctl-lab", "stats", "$LAB"}, "", "SCSI3:0,0,0 /dev/sg2 1"},
         // A failed segment stops the download: no status read, no reset.
         {{"SCSI7:0,0,0", "fw", "download_reset", "$FW/mat_2050-001.bin"}, "y\ny\n"},
         {{"enctl-lab", "stats", "$LAB"}, "", "SCSI7:0,0,0 /dev/sg6 1"},
         // A lost segment: 01h for 1200 seconds, 80 status reads.
         {{"SCSI8:0,0,0", "fw", "download", "$FW/mat_2050-001.bin"}},
         {{"enctl-lab", "stats", "$LAB"}, "", "SCSI8:0,0,0 /dev/sg7 1"},
         {{"sg_ses", "--page=0xe", "$LAB/root/dev/sg7"}},
         // 4097 bytes go in two segments (in order: the enclosure checks the
         // offsets, then finds no image), an empty file in none.
         {{"SCSI1:0,0,0", "fw", "download", "$FW/NX2B_4097.bin", "-nostatdelay"}},
         {{"SCSI1:0,0,0", "fw", "download", "$FW/NX2B_empty.bin"}},
         {{"enctl-lab", "stats", "$LAB"}, "", "SCSI1:0,0,0 /dev/sg0 1D"},
     }},
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

bool holds_one_of(const std::string& line, const std::string& texts) {
    std::size_t start = 0;
    for (std::size_t bar; (bar = texts.find('|', start)) != std::string::npos; start = bar + 1) {
        if (line.find(texts.substr(start, bar - start)) != std::string::npos) return true;
    }
    return line.find(texts.substr(start)) != std::string::npos;
}

std::string lines_with(const std::string& text, const std::string& only) {
    if (only.empty()) return text;
    std::string kept;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end + 1 - start);
        if (holds_one_of(line, only)) kept += line;
    }
    return kept;
}

process_result run_step(const running_lab& lab, const step& s, const std::string& images) {
    std::vector<std::string> args;
    for (const auto& arg : s.args) args.push_back(replaced(replaced(arg, "$LAB", lab.dir()), "$FW", images));
    if (args[0] == "enctl-lab") return lab.lab_command({args.begin() + 1, args.end()});
    if (args[0] == "sg_ses") {
        args[0] = "/usr/bin/sg_ses";
        return lab.run(args);
    }
    process_options options;
    options.env = lab.env();
    options.env.emplace_back("ENCTL_VIRTUAL_CLOCK", "1");
    options.stdin_text = s.input;
    return run_enctl(args, options);
}

std::string transcript(const step& s, const process_result& r) {
    const bool is_enctl = s.args[0] != "enctl-lab" && s.args[0] != "sg_ses";
    std::string text = is_enctl ? "$ enctl" : "$";
    for (const auto& arg : s.args) text += " " + arg;
    if (!s.input.empty()) text += "    [typed: " + replaced(s.input, "\n", "\\n") + "]";
    if (!s.only.empty()) text += "    [lines with \"" + s.only + "\"]";
    std::string out = r.out;
    // The banner (two lines and a blank line) is checked by the front end's tests.
    if (const std::size_t banner_end = out.find("\n\n"); is_enctl && banner_end != std::string::npos)
        out.erase(0, banner_end + 2);
    text += "\n" + replaced(lines_with(out, s.only), "\r", "\\r");
    if (!r.err.empty()) text += "[stderr]\n" + r.err;
    return text + "[exit " + std::to_string(r.exit_code) + "]\n\n";
}

class FwE2e : public ::testing::TestWithParam<lab_case> {};

TEST_P(FwE2e, MatchesTheGoldenTranscript) {
    const lab_case& c = GetParam();
    running_lab lab(c.json);
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    const std::string images = lab.dir() + "/fw";
    std::filesystem::create_directory(images);
    std::ofstream(images + "/NX2B_4097.bin") << std::string(4097, 'x');
    std::ofstream(images + "/NX2B_empty.bin");
    std::filesystem::create_symlink("/sys/kernel/uevent_seqnum", images + "/mat_short.bin");
    std::string text;
    for (const step& s : c.steps) {
        text += replaced(replaced(transcript(s, run_step(lab, s, images)), images, "$FW"), lab.dir(), "$LAB");
    }
    expect_golden(text, std::string("e2e_fw/golden/") + c.name + ".txt");
}

INSTANTIATE_TEST_SUITE_P(Labs, FwE2e, ::testing::ValuesIn(kLabs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace enctl::testing
