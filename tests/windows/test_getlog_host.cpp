// getlog's host captures and packing on Windows, through a runner that
// records each command line and answers with prepared output and exit codes.
#include <gtest/gtest.h>

#include <io.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/discovery/target_list.h"
#include "app/enctl_data.h"
#include "app/getlog/command_runner.h"
#include "app/getlog/getlog_steps.h"
#include "app/getlog/windows/host_logs_windows.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/process.h"
#include "tests/support/golden.h"

namespace fs = std::filesystem;

namespace enctl {
namespace {

struct answer {
    std::string out{};
    std::uint32_t exit_code = 0;
    bool started = true;
    bool timed_out = false;
    bool makes_zip = false;  // the command leaves "<log dir>.zip" behind
};

struct call {
    std::string line;
    std::uint64_t timeout_ms;
};

// Answers a line by the first entry whose key starts it; other lines exit 0
// and print nothing.
class recording_runner final : public process_runner {
public:
    std::vector<std::pair<std::string, answer>> answers;
    std::vector<call> calls;
    std::string zip_path;

    process_result run(const process_request& request) override {
        calls.push_back({request.command_line, request.timeout_ms});
        answer a;
        for (const auto& [key, prepared] : answers)
            if (request.command_line.starts_with(key)) {
                a = prepared;
                break;
            }
        if (a.makes_zip) std::ofstream(zip_path) << "PK";
        process_result result;
        result.started = a.started;
        result.timed_out = a.timed_out;
        result.exit_code = static_cast<int>(a.exit_code);
        result.out = a.out;
        return result;
    }
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

const std::string kGetHost = "powershell -command \"& {&'Get-Host'}\"";
const std::string kCompress = "powershell -command \"& {&'compress-archive'";
const std::string kVersion5 = "\r\nName             : ConsoleHost\r\nVersion          : 5.1.19041.1\r\n";

class WindowsGetlog : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = (fs::temp_directory_path() / ("enctl-getlog-" + std::to_string(::GetCurrentProcessId()))).string();
        use_log_dir("enctl_host_20260101_000000");
        g_powershell_version = 0;
        set_process_runner(&runner_);
    }
    void TearDown() override {
        set_process_runner(nullptr);
        g_powershell_version = 0;
        std::error_code ec;
        fs::remove_all(base_, ec);
    }

    void use_log_dir(const std::string& leaf) {
        log_dir_ = base_ + "\\" + leaf;
        fs::create_directories(log_dir_);
        set_text(g_enctl_data.log_dir, log_dir_);
        runner_.zip_path = log_dir_ + ".zip";
    }

    // What `run` printed to standard output, the log folder shown as <log>.
    template <typename F>
    std::string printed(F&& run) {
        const std::string path = base_ + "\\printed.txt";
        std::fflush(stdout);
        const int saved = ::_dup(1);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ::_dup2(::_fileno(file), 1);
        run();
        std::fflush(stdout);
        ::_dup2(saved, 1);
        ::_close(saved);
        std::fclose(file);
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return replaced(replaced(text.str(), "\r", ""), log_dir_, "<log>");
    }

    // The recorded lines since the last call, the log folder shown as <log>.
    std::string lines() {
        std::string text;
        for (const call& c : runner_.calls) text += replaced(c.line, log_dir_, "<log>") + "\n";
        runner_.calls.clear();
        return text;
    }

    recording_runner runner_;
    std::string base_;
    std::string log_dir_;
};

TEST_F(WindowsGetlog, CaptureStepsRunTheirLinesInOrder) {
    runner_.answers = {
        {kGetHost, {.out = kVersion5}},
        {"cmd /c smartctl.exe --scan",
         {.out = "/dev/sda -d ata # /dev/sda, ATA device\r\n/dev/csmi0,1 -d ata # /dev/csmi0,1, ATA device\r\n"}},
        {"cmd /c sg_scan -s",
         {.out = "PD0     [C]  ATA  Disk\r\nPD1&calc  x\r\n..\\PD2 x\r\nSCSI0:0,1,0  claimed\r\n"}},
        {"cmd /c move", {.exit_code = 1}},
    };
    vdx_dev product3, product5;
    for (auto [device, code] : {std::pair{&product3, 3u}, std::pair{&product5, 5u}}) {
        auto target = std::make_unique<enclosure_target>();
        target->product_code = code;
        set_text(target->os_name, "SCSI1:4,64,0");
        vdx_dev_data_attach(device, kEnclosureTargetTag, std::move(target));
    }
    int vendor_count = -1;
    std::string transcript;
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"system-light", get_system_light_logs},
        {"system-heavy", get_system_heavy_logs},
        {"drives", get_drive_logs},
        {"vendor, product 3", [&] { vendor_count = get_private_vendor_logs(product3); }},
        {"vendor, product 5", [&] { get_private_vendor_logs(product5); }},
    };
    for (const auto& [name, step] : steps) {
        const std::string out = printed(step);
        transcript += std::string("## ") + name + "\n" + lines() + "-- printed\n" + out;
    }
    testing::expect_golden(transcript, "windows/golden/getlog_host_steps.txt");
    EXPECT_EQ(vendor_count, 1);  // the tool ran, moving its dumps failed
}

TEST_F(WindowsGetlog, PowerShellVersionDecidesTheMultipathCmdlets) {
    struct {
        answer get_host;
        std::int32_t version;
    } const cases[] = {
        {{.out = kVersion5}, 5},
        {{.out = "Version : 7.4.1\n"}, 7},
        {{.out = "InstanceId       : 1f\r\nVersion          : 4.0\r\nVersion : 9\r\n"}, 4},
        {{.out = "Name : ConsoleHost\r\nVersion 5\r\n"}, 0},  // no ": "
        {{.out = "'powershell' is not recognized\r\n", .exit_code = 1}, 0},
        {{.started = false}, 0},
    };
    for (const auto& c : cases) {
        g_powershell_version = 0;
        runner_.answers = {{kGetHost, c.get_host}};
        printed([] {
            get_system_light_logs();
            get_system_light_logs();
        });
        EXPECT_EQ(g_powershell_version, c.version) << c.get_host.out;
        int asked = 0, multipath = 0;
        for (const call& k : runner_.calls) {
            asked += k.line == kGetHost;
            multipath += k.line.find("'Get-MSDSM") != std::string::npos;
        }
        runner_.calls.clear();
        EXPECT_EQ(asked, c.version ? 1 : 2) << c.get_host.out;  // asked again only while still unknown
        EXPECT_EQ(multipath, c.version >= 5 ? 6 : 0) << c.get_host.out;
    }
}

TEST_F(WindowsGetlog, PackingRemovesTheFolderOnlyAfterAWholeArchive) {
    const std::string packed = "powershell -command \"& {&'compress-archive' -path <log> <log>.zip}\"\n";
    const std::string removed = "cmd /c rmdir /s /q <log>\n";
    const std::string error = "ERROR creating package file: <log>.zip\n\n";
    const std::string old_powershell = "Packing not done: requires PowerShell version 5 or above\n\n";
    struct {
        const char* name;
        const char* leaf;
        std::int32_t version;  // known before packing; 0: asked
        answer get_host, compress;
        bool zip_before;
        std::string lines, printed;
        bool zip_after;
    } const cases[] = {
        // clang-format off
        {"packed", "enctl_h_1", 5, {}, {.makes_zip = true}, false, packed + removed,
         "Created package file: <log>.zip\n\n", true},
        {"PowerShell 4", "enctl_h_2", 0, {.out = "Version : 4.0\r\n"}, {}, false, kGetHost + "\n", old_powershell,
         false},
        {"no archive made", "enctl_h_3", 5, {}, {}, false, packed, error, false},
        {"failed, part of an archive left", "enctl_h_4", 5, {}, {.exit_code = 1, .makes_zip = true}, false, packed,
         error, false},
        {"ended at its time-out", "enctl_h_5", 5, {}, {.exit_code = kCommandTimedOut, .timed_out = true, .makes_zip = true},
         false, packed, error, false},
        {"an archive already there", "enctl_h_6", 5, {}, {.makes_zip = true}, true, "", error, true},
        {"blank in the path", "my logs\\enctl_h_7", 5, {}, {.makes_zip = true}, false,
         "powershell -command \"& {&'compress-archive' -path '<log>' '<log>.zip'}\"\ncmd /c rmdir /s /q \"<log>\"\n",
         "Created package file: <log>.zip\n\n", true},
        {"shell character in the path", "a&b\\enctl_h_8", 5, {}, {.makes_zip = true}, false, "",
         "Command not run: \"<log>\" cannot be put into a command line safely\n" + error, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        use_log_dir(c.leaf);
        if (c.zip_before) std::ofstream(log_dir_ + ".zip") << "older";
        g_powershell_version = c.version;
        runner_.answers = {{kGetHost, c.get_host}, {kCompress, c.compress}};
        EXPECT_EQ(printed(pack_logs), c.printed) << c.name;
        for (const call& k : runner_.calls) {
            if (k.line == kGetHost) continue;
            EXPECT_EQ(k.timeout_ms, (kLongCommandTimeout + 1) * 1000) << c.name;
        }
        EXPECT_EQ(lines(), c.lines) << c.name;
        EXPECT_EQ(fs::exists(log_dir_ + ".zip"), c.zip_after) << c.name;
        EXPECT_GT(fs::file_size(log_dir_ + "\\enctl_version.txt"), 0u) << c.name;
        if (c.zip_before) {
            std::ifstream older(log_dir_ + ".zip");
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(older), {}), "older") << c.name;
        }
    }
}

}  // namespace
}  // namespace enctl
