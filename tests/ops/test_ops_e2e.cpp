// rcli, iom and diag of the real enctl binary against simulated labs, with
// answers typed on standard input. Each lab's runs are one transcript in
// golden/<lab>.txt (the command, what was typed, the output after the
// banner, standard error and the exit code); what the enclosures ended up
// with is checked on the lab's own state.
#include <gtest/gtest.h>

#include <cjson/cJSON.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/golden.h"
#include "tests/support/running_lab.h"

namespace enctl::testing {
namespace {

struct run {
    std::vector<std::string> args;
    std::string typed;  // standard input; empty: end of input at once
};

// A run as its transcript shows it; the banner (two lines and a blank line)
// is checked by the front end's tests.
std::string transcript(const running_lab& lab, const run& r) {
    process_options options;
    options.env = lab.env();
    options.env.emplace_back("TZ", "UTC");
    options.stdin_text = r.typed;
    const process_result result = run_enctl(r.args, options);
    std::string text = "$ enctl";
    for (const auto& arg : r.args) text += " '" + arg + "'";
    if (!r.typed.empty()) text += " <<< '" + r.typed + "'";
    const std::size_t banner_end = result.out.find("\n\n");
    text += "\n" + (banner_end == std::string::npos ? result.out : result.out.substr(banner_end + 2));
    if (!result.err.empty()) text += "[stderr]\n" + result.err;
    return text + "[exit " + std::to_string(result.exit_code) + "]\n\n";
}

std::string transcript(const running_lab& lab, const std::vector<run>& runs) {
    std::string text;
    for (const run& r : runs) text += transcript(lab, r);
    return text;
}

struct json_deleter {
    void operator()(cJSON* j) const { cJSON_Delete(j); }
};
using json = std::unique_ptr<cJSON, json_deleter>;

// `enctl-lab state` of one enclosure.
json state_of(const running_lab& lab, const std::string& device) {
    return json(cJSON_Parse(lab.lab_command({"state", lab.dir(), device}).out.c_str()));
}

const cJSON* at(const json& state, std::initializer_list<const char*> path) {
    const cJSON* node = state.get();
    for (const char* key : path) node = cJSON_GetObjectItemCaseSensitive(node, key);
    return node;
}

std::string text_at(const json& state, std::initializer_list<const char*> path) {
    const cJSON* node = at(state, path);
    return cJSON_IsString(node) ? node->valuestring : "<none>";
}

double number_at(const json& state, std::initializer_list<const char*> path) {
    const cJSON* node = at(state, path);
    return cJSON_IsNumber(node) ? node->valuedouble : -1;
}

std::vector<std::string> commands_of(const running_lab& lab, const std::string& device) {
    std::vector<std::string> out;
    const json state = state_of(lab, device);
    const cJSON* list = at(state, {"cli_commands"});
    for (const cJSON* c = list ? list->child : nullptr; c; c = c->next) out.emplace_back(c->valuestring);
    return out;
}

using commands = std::vector<std::string>;

// SCSI1 amber (1), SCSI2 slate (2), SCSI3 halcyon (3), SCSI4 opal (5,
// 2042), SCSI5 opal (5, 2043), SCSI6 alder (6, 2999), SCSI7 alder (6, 3010),
// SCSI8 alder multi-tenant (6), SCSI9 garnet (7); a disk in amber's slot 0.
// The counter reads answer short texts of their own, so that the transcript
// shows the order of the series.
const char* const kRcliLab = R"({"enclosures": [
    {"product": 1},
    {"product": 2, "cli_replies": {"err_cnts 0-35 read": "<primary 0-35>\n",
        "sec1 err_cnts 0-35 read": "<sec1 0-35>\n", "sec2 err_cnts 0-35 read": "<sec2 0-35>\n"}},
    {"product": 3},
    {"product": 5, "firmware": "2042-003", "slots": 4},
    {"product": 5, "firmware": "2043-001", "slots": 4},
    {"product": 6, "firmware": "2999-001", "slots": 4},
    {"product": 6, "firmware": "3010-001", "slots": 4, "cli_replies": {
        "iom err_cnts 0-47 read": "<iom primary 0-47>\n", "iom sec1 err_cnts 0-35 read": "<iom sec1 0-35>\n",
        "iom sec1 err_cnts 36-67 read": "<iom sec1 36-67>\n", "iom sec2 err_cnts 0-35 read": "<iom sec2 0-35>\n",
        "iom sec2 err_cnts 36-67 read": "<iom sec2 36-67>\n"}},
    {"product": 6, "multi_tenant": true, "slots": 4},
    {"product": 7, "slots": 4}],
  "disks": [{"enclosure": "encl0", "slot": 0}]})";

TEST(OpsE2e, Rcli) {
    running_lab lab(kRcliLab);
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    const std::vector<run> runs = {
        {{"rcli", "help"}, ""},
        {{"SCSI1:0,0,0", "rcli", "err_cnts 60-67 read"}, ""},
        {{"SCSI2:0,0,0", "SCSI4:0,0,0", "rcli", "err_cnts 40-47 read"}, ""},
        {{"SCSI4:0,0,0", "rcli", "tx_para_get 5"}, ""},
        {{"SCSI4:0,0,0", "rcli", "tx_para_get"}, ""},
        {{"SCSI4:0,0,0", "rcli", "iom show drives"}, " \n y"},
        {{"SCSI5:0,0,0", "rcli", "iom show drives"}, "n"},
        {{"SCSI5:0,0,0", "rcli", "iom show drives"}, ""},
        {{"SCSI1:0,0,0", "SCSI2:0,0,0", "SCSI8:0,0,0", "SCSI9:0,0,0", "rcli", "iom show drives"}, ""},
        {{"SCSI7:0,0,0", "rcli", "iom zonecfg disable"}, "y n"},
        {{"SCSI7:0,0,0", "rcli", "iom zonecfg disable"}, "Y y"},
        {{"SCSI4:0,0,0", "SCSI5:0,0,0", "SCSI6:0,0,0", "SCSI7:0,0,0", "rcli", "show autosync"}, ""},
        {{"SCSI5:0,0,0", "SCSI7:0,0,0", "rcli", "iom show cable"}, "y y"},
        {{"SCSI2:0,0,0", "rcli", "read err_cnts"}, ""},
        {{"SCSI1:0,0,0", "rcli", "clear err_cnts"}, ""},
        {{"SCSI7:0,0,0", "SCSI8:0,0,0", "rcli", "iom read err_cnts"}, "y"},
        {{"disk0", "SCSI3:0,0,0", "rcli", "show fw"}, ""},
    };
    expect_golden(transcript(lab, runs), "ops/golden/rcli.txt");

    // What each enclosure was sent: nothing after "n" or the end of input,
    // the counter series exactly.
    EXPECT_EQ(commands_of(lab, "SCSI5:0,0,0"), (commands{"show autosync"}));
    EXPECT_EQ(commands_of(lab, "SCSI4:0,0,0"), (commands{"err_cnts 40-47 read", "tx_para_get 5", "iom show drives"}));
    EXPECT_EQ(commands_of(lab, "SCSI2:0,0,0"),
              (commands{"err_cnts 0-35 read", "sec1 err_cnts 0-35 read", "sec2 err_cnts 0-35 read"}));
    EXPECT_EQ(commands_of(lab, "SCSI1:0,0,0"),
              (commands{"err_cnts 60-67 read", "err_cnts 0-35 clear", "err_cnts 36-67 clear",
                        "rmt err_cnts 0-35 clear", "rmt err_cnts 36-67 clear"}));
    EXPECT_EQ(commands_of(lab, "SCSI7:0,0,0"),
              (commands{"iom zonecfg disable", "show autosync", "iom show cable", "iom err_cnts 0-47 read",
                        "iom sec1 err_cnts 0-35 read", "iom sec1 err_cnts 36-67 read", "iom sec2 err_cnts 0-35 read",
                        "iom sec2 err_cnts 36-67 read"}));
    for (const char* untouched : {"SCSI3:0,0,0", "SCSI6:0,0,0", "SCSI8:0,0,0", "SCSI9:0,0,0"})
        EXPECT_EQ(commands_of(lab, untouched), commands{}) << untouched;
}

// Replies as an enclosure may send them reach the console whole: NUL bytes
// skipped, '%' printed as it is, the text after the last LF dropped, a line
// of 5,000 characters, a reply beyond 8192 bytes, and one beyond the 65535
// bytes the page can hold, which is cut there.
TEST(OpsE2e, RcliRepliesArriveWhole) {
    std::string numbered;
    for (int i = 0; numbered.size() < 70000; ++i) numbered += "line " + std::to_string(100000 + i) + "\n";
    const std::string long_line(5000, 'x');
    running_lab lab(R"({"enclosures": [{"product": 7, "slots": 4, "cli_replies": {
        "show fw": {"hex": "61 62 00 25 73 25 6e 0a 00 63 0a 74 61 69 6c"},
        "show enc": ")" + long_line + R"(\n", "show ses": ")" + numbered.substr(0, 9000) + R"(",
        "show vpd": ")" + numbered + R"("}}]})");
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    const auto reply = [&](const char* command) {
        const process_result r = lab.enctl({"rcli", command});
        EXPECT_EQ(r.exit_code, 0) << command;
        const std::string head = "Device: SCSI1:0,0,0\n";
        const std::size_t at = r.out.find(head);
        return at == std::string::npos ? r.out : r.out.substr(at + head.size());
    };
    EXPECT_EQ(reply("show fw"), "ab%s%n\nc\n\n");
    EXPECT_EQ(reply("show enc"), long_line + "\n\n");
    EXPECT_EQ(reply("show ses"), numbered.substr(0, 9000) + "\n");
    const std::string kept = numbered.substr(0, 0xFFFF - 4);
    EXPECT_EQ(reply("show vpd"), kept.substr(0, kept.rfind('\n') + 1) + "\n");
}

// SCSI1 amber (1), SCSI2 slate (2), SCSI3 slate with one IOM, SCSI4 halcyon
// (3), SCSI5 opal (5), SCSI6 alder reached through IOM B (6), SCSI7 alder
// multi-tenant, SCSI8 garnet (7), SCSI9 opal whose IOM cannot be told, SCSI10
// corvin (4), SCSI11 opal whose "show enc" has the MAC before the IOM sections and a version
// line of 80 characters, which ends the lookup.
const char* const kIomLab = R"json({"enclosures": [
    {"product": 1}, {"product": 2}, {"product": 2, "iom": "single"}, {"product": 3},
    {"product": 5, "slots": 4}, {"product": 6, "slots": 4, "attached_iom": "B"},
    {"product": 6, "multi_tenant": true, "slots": 4}, {"product": 7, "slots": 4},
    {"product": 5, "slots": 4, "attached_iom": "none"},
    {"product": 4},
    {"product": 5, "slots": 4, "cli_replies": {"show enc":
        "Enclosure Information\n  MAC       : 00:11:22:33:44:55\nIOM A\n  FW(OOBM)  : 3.1.12 build 012345678901234567890123456789012345678901234567890123\n  MAC       : 66:77\n"}}]})json";

TEST(OpsE2e, Iom) {
    running_lab lab(kIomLab);
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    const std::vector<run> runs = {
        {{"iom"}, ""},
        {{"iom", "oobm"}, ""},
        {{"SCSI6:0,0,0", "iom", "oobm=B,0.0.0.0,0.0.0.0,0.0.0.0"}, ""},
        {{"SCSI6:0,0,0", "iom", "oobm"}, ""},
        {{"SCSI5:0,0,0", "iom", "oobm=A,10.1.2.3,255.255.0.0,10.1.0.1"}, ""},
        {{"SCSI5:0,0,0", "iom", "oobm"}, ""},
        {{"SCSI7:0,0,0", "iom", "oobm=A,10.1.2.3,255.255.0.0,10.1.0.1"}, ""},
        {{"SCSI2:0,0,0", "iom", "oobm=A,10.1.2.3,255.255.0.0,10.1.0.1"}, ""},
        {{"SCSI8:0,0,0", "iom", "oobm=B,10.1.2.3,255.255.0.0,10.1.0.1"}, ""},
        {{"SCSI1:0,0,0", "iom", "oobm=A,10.1.2.3,255.255.0.0,10.1.0.1"}, ""},
        {{"SCSI4:0,0,0", "iom", "oobm=A,10.1.2.3,255.255.0.0,10.1.0.1"}, ""},
        {{"SCSI10:0,0,0", "iom", "oobm=A,10.1.2.3,255.255.0.0,10.1.0.1"}, ""},
        {{"SCSI5:0,0,0", "iom", "oobm=a,1.1.1.1,1.1.1.1,1.1.1.1"}, ""},
        {{"SCSI5:0,0,0", "iom", "oobm=A,1.1.1.256,1.1.1.1,1.1.1.1"}, ""},
        {{"SCSI5:0,0,0", "iom", "oobm=A,1.1.1.1,1.1.1,1.1.1.1"}, ""},
        {{"SCSI5:0,0,0", "iom", "oobm=A,1.1.1.1,1.1.1.1,1.1.1.1.5"}, ""},
        {{"SCSI5:0,0,0", "iom", "oobm=A,1.1.1.1,1.1.1.1,1.1.1.1,5"}, ""},
        {{"SCSI5:0,0,0", "iom", "oobm=A,1.1.1.1,1.1.1.1"}, ""},
        {{"iom", "oobm=A,1.1.1.1,1.1.1.1,1.1.1.1"}, ""},
    };
    expect_golden(transcript(lab, runs), "ops/golden/iom.txt");
    const json alder = state_of(lab, "SCSI6:0,0,0");
    EXPECT_EQ(text_at(alder, {"oobm", "B", "mode"}), "dhcp");
    EXPECT_EQ(text_at(alder, {"oobm", "A", "ip"}), "192.168.0.10");
    const json opal = state_of(lab, "SCSI5:0,0,0");
    EXPECT_EQ(text_at(opal, {"oobm", "A", "ip"}), "10.1.2.3");
    EXPECT_EQ(text_at(opal, {"oobm", "A", "gateway"}), "10.1.0.1");
    EXPECT_EQ(text_at(state_of(lab, "SCSI8:0,0,0"), {"oobm", "B", "ip"}), "192.168.0.11");  // no IOM B to set
}

// SCSI1 amber (1), SCSI2 slate (2), SCSI3 halcyon (3), SCSI4 opal (5, 2039),
// SCSI5 alder (6, 3012), SCSI6 alder multi-tenant reached through IOM A,
// SCSI7 garnet (7), SCSI8 alder (6) for the reset of the IOM the host uses;
// SCSI9 to SCSI11 opal (5) whose "show fw" has an RTC value of 16 seconds, an
// invalid one, none after its "RTC" line.
const char* const kDiagLab = R"({"enclosures": [
    {"product": 1, "slots": 4}, {"product": 2, "slots": 4}, {"product": 3, "slots": 4},
    {"product": 5, "firmware": "2039-001", "slots": 4}, {"product": 6, "slots": 4},
    {"product": 6, "multi_tenant": true, "slots": 4}, {"product": 7, "slots": 4}, {"product": 6, "slots": 4},
    {"product": 5, "slots": 4, "cli_replies": {"show fw": "Firmware\nRTC          : x1000000\r\nRTC : x5\n"}},
    {"product": 5, "slots": 4, "cli_replies": {"show fw": "RTC          : x12zz\r\n"}},
    {"product": 5, "slots": 4, "cli_replies": {"show fw": "Firmware\nRTC          : 5\n"}}]})";

TEST(OpsE2e, Diag) {
    running_lab lab(kDiagLab);
    ASSERT_TRUE(lab.started()) << lab.start_result().err;
    const std::string name32 = "DC2 Cage2 rack 7 row 3 enclosure";
    const std::string name33 = name32 + "X";
    const auto diag = [](const char* device, const std::string& identifier) {
        return run{{device, "diag", identifier}, ""};
    };
    const std::vector<run> runs = {
        diag("SCSI5:0,0,0", "nickname=" + name32),
        diag("SCSI5:0,0,0", "nickname=" + name33),
        diag("SCSI5:0,0,0", "nickname"),
        diag("SCSI4:0,0,0", "nickname"),
        diag("SCSI2:0,0,0", "nickname=DC2"),
        diag("SCSI5:0,0,0", "clear-eventlog"),
        diag("SCSI4:0,0,0", "clear-eventlog"),
        diag("SCSI1:0,0,0", "clear-crashevent"),
        diag("SCSI3:0,0,0", "clear-crashevent"),
        diag("SCSI2:0,0,0", "reset-enc"),
        diag("SCSI6:0,0,0", "reset-enc"),
        diag("SCSI5:0,0,0", "reset-iom-b"),
        diag("SCSI6:0,0,0", "reset-iom-b"),
        diag("SCSI7:0,0,0", "reset-iom-a"),
        diag("SCSI1:0,0,0", "timestamp=0x65000000"),
        diag("SCSI1:0,0,0", "timestamp"),
        diag("SCSI3:0,0,0", "timestamp"),
        diag("SCSI3:0,0,0", "timestamp=1"),
        diag("SCSI9:0,0,0", "timestamp"),
        diag("SCSI10:0,0,0", "timestamp"),
        diag("SCSI11:0,0,0", "timestamp"),
        diag("SCSI1:0,0,0", "timestamp=4294967296"),
        diag("SCSI1:0,0,0", "timestamp=12ab"),
        diag("SCSI5:0,0,0", "autosync-enable"),
        diag("SCSI5:0,0,0", "autosync-enable"),
        diag("SCSI5:0,0,0", "autosync-disable"),
        diag("SCSI4:0,0,0", "autosync-enable"),
        diag("SCSI7:0,0,0", "autosync-enable"),
        diag("SCSI7:0,0,0", "autosync-disable"),
        diag("SCSI5:0,0,0", "nickname="),
        // The reset of the IOM the host is attached through: the enclosure
        // is away for a while.
        diag("SCSI8:0,0,0", "reset-iom-a"),
        diag("SCSI8:0,0,0", "timestamp"),
        diag("SCSI8:0,0,0", "timestamp"),
    };
    expect_golden(transcript(lab, runs), "ops/golden/diag.txt");

    const json alder = state_of(lab, "SCSI5:0,0,0");
    EXPECT_EQ(text_at(alder, {"nickname"}), "");  // set, then cleared; the 33 characters never sent
    EXPECT_EQ(number_at(alder, {"resets", "iom", "01h"}), 1);
    EXPECT_EQ(number_at(alder, {"logs", "A2", "events"}), 0);
    EXPECT_EQ(number_at(alder, {"logs", "B0", "events"}), 4);  // the partner IOM keeps its log
    EXPECT_FALSE(cJSON_IsTrue(at(alder, {"autosync"})));
    EXPECT_EQ(commands_of(lab, "SCSI1:0,0,0"), (commands{"flash erase 8", "rmt flash erase 8", "show fw"}));
    // The clock runs on lab time, which the NOT READY answers at the end advanced.
    EXPECT_NEAR(number_at(state_of(lab, "SCSI1:0,0,0"), {"rtc_seconds"}), 0x65000000, 5);
    EXPECT_EQ(number_at(state_of(lab, "SCSI2:0,0,0"), {"resets", "enclosure"}), 1);
    const json mt = state_of(lab, "SCSI6:0,0,0");
    EXPECT_EQ(number_at(mt, {"resets", "enclosure"}), 0);
    EXPECT_EQ(at(mt, {"resets", "iom"})->child, nullptr);
    EXPECT_EQ(number_at(state_of(lab, "SCSI8:0,0,0"), {"resets", "iom", "00h"}), 1);
}

}  // namespace
}  // namespace enctl::testing
