// The http operation end to end: the real enctl binary against the test REST
// service, with a virtual clock so that the 3-second polls take no real time.
// Everything else about the operation is tested in process (test_http_scenarios).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/rest/rest_service.h"
#include "tests/support/process.h"

namespace enctl {
namespace {

using testing::rest_service;

struct http_result {
    int exit_code = -1;
    std::string out;  // after the banner
};

// Runs "enctl http=<service> words..." with the virtual clock and `tmp` as
// the temporary directory (where the run's log folder goes).
http_result run_http(const rest_service& service, const std::vector<std::string>& words, const std::string& tmp) {
    std::vector<std::string> args = {"http=" + service.address()};
    args.insert(args.end(), words.begin(), words.end());
    testing::process_options options;
    options.env = {{"ENCTL_VIRTUAL_CLOCK", "1"}, {"TMPDIR", tmp}, {"ENCTL_SYSROOT", testing::empty_lab_root()}};
    options.unset_env = {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"};
    const auto r = testing::run_enctl(args, options);
    const auto banner_end = r.out.find("\n\n");
    return {r.exit_code, banner_end == std::string::npos ? r.out : r.out.substr(banner_end + 2)};
}

TEST(HttpE2e, IdentityFromTheQuery) {
    rest_service service;
    testing::scratch_dir tmp;
    const auto r = run_http(service, {}, tmp.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "Model   : Arcadeon Shelf 4U84\nSerial  : SHF0042\nName    : enc01\nFirmware: 3.1.7\nSlot    : 3\n\n");
}

// getlog without "dir=" saves into the run's log folder, made fresh (0700)
// only once there is a log to save; a failed download leaves no folder.
TEST(HttpE2e, GetlogIntoTheRunsLogFolder) {
    rest_service service;
    testing::scratch_dir tmp;
    auto r = run_http(service, {"user=admin", "getlog"}, tmp.path());
    EXPECT_EQ(r.exit_code, 0) << r.out;
    std::vector<std::filesystem::path> folders;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.path())) folders.push_back(entry.path());
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].filename().string().rfind("enctl_", 0), 0u);
    EXPECT_EQ(std::filesystem::status(folders[0]).permissions(), std::filesystem::perms::owner_all);
    std::string log(3000, '\0');
    for (std::size_t i = 0; i < log.size(); ++i) log[i] = static_cast<char>((i * 7 + 3) % 256);
    EXPECT_EQ(testing::read_file(folders[0] / "enc01_slot3_log.bin"), log);
    EXPECT_NE(r.out.find("File saved: " + (folders[0] / "enc01_slot3_log.bin").string() + "\n"), std::string::npos);

    rest_service refusing(R"({"answers": {"GET /Storage/Devices/enc01/LogsFetch": {"status": 500}}})");
    testing::scratch_dir empty;
    r = run_http(refusing, {"getlog"}, empty.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("ERROR: Log download failed with http code 500\n"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::is_empty(empty.path()));
}

}  // namespace
}  // namespace enctl
