// The http driver in-process: defaults and the order in which identifiers win.
#include <gtest/gtest.h>

#include <string>

#include "basekit/clock.h"
#include "basekit/fixed_text.h"
#include "rest/http.h"
#include "tests/rest/rest_service.h"
#include "tests/support/console_capture.h"

namespace enctl {
namespace {

TEST(HttpDriver, DefaultsAndDispatchOrder) {
    testing::rest_service service;
    ASSERT_TRUE(service.running());
    http_options options{};
    set_text(options.address, service.address());
    options.show = 1;
    options.fw = 1;
    set_text(options.fw_file, "/no/such/image.bin");
    options.getlog = 1;
    int result = -1;
    const std::string out = testing::console_output([&] { result = http_run(options); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text_of(options.user), "admin");
    EXPECT_EQ(text_of(options.password), "tovek");
    EXPECT_EQ(out.rfind("Device: enc01\nSlot #: 3\n\nState       : Enabled\n", 0), 0u) << out;
    const auto requests = service.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].path, "/Storage/Devices/enc01");

    // Only the user given: the password still gets its default.
    http_options health{};
    set_text(health.address, service.address());
    set_text(health.user, "ops");
    health.health = 1;
    health.health_bad = 1;
    testing::console_output([&] { result = http_run(health); });
    EXPECT_EQ(text_of(health.password), "tovek");
    EXPECT_EQ(service.requests().back().header("authorization"), testing::basic_credentials("ops", "tovek"));
    EXPECT_EQ(result, 1);  // the service refuses "ops": a failure, not an empty report
}

TEST(HttpDriver, RunsLogFolderIsCreatedOneLevelDeep) {
    testing::rest_service service(R"({"logs_polls_in_progress": 0})");
    const std::string folder = service.dir() + "/enctl_host_20261206_201500";
    http_set_run_log_dir(folder);
    virtual_clock_source clock;
    set_clock(&clock);
    http_options options{};
    set_text(options.address, service.address());
    options.getlog = 1;
    int result = -1;
    testing::console_output([&] { result = http_run(options); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(testing::read_file(folder + "/enc01_slot3_log.bin").size(), 3000u);

    http_set_run_log_dir(service.dir() + "/missing/deeper");
    const std::string out = testing::console_output([&] { result = http_run(options); });
    EXPECT_EQ(result, 1);
    EXPECT_NE(out.find("ERROR: Cannot create the log folder " + service.dir() + "/missing/deeper\n"),
              std::string::npos);
    http_set_run_log_dir("");
    set_clock(nullptr);
    EXPECT_EQ(clock.slept_ms(), 3000u);  // one poll: the collection had ended
}

}  // namespace
}  // namespace enctl
