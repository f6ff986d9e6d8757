#include "sim/products.h"

#include <array>

#include "sim/command_line.h"
#include "sim/enclosure.h"
#include "sim/enclosure_firmware.h"

namespace enctl::sim {

namespace {

// Pages of the products with the full vendor page set (help text with the
// firmware revision, String In with the attached IOM, the command line).
constexpr receive_page extended_pages[] = {
    {0x00, build_supported_pages}, {0x01, build_configuration},      {0x02, build_enclosure_status},
    {0x03, build_help_text},       {0x04, build_string_in},          {0x05, build_threshold_in},
    {0x07, build_element_descriptor}, {0x0A, build_additional_status}, {0x0E, build_microcode_status},
    {0xEC, build_cli_reply},          {0x0F, build_nickname_status},
    {0x17, build_environment_page}, {0xEA, build_information_page},   {0xED, build_expander_status_page},
};
constexpr send_page extended_send_pages[] = {
    {0xEC, take_cli_command},
    {0x0F, take_nickname_control},
    {0xEE, take_time_stamp},
    {0x04, take_string_out},
    {0x0E, take_microcode_control},
};

// Product 1 adds its debug text, dump and event pages (sim/enclosure_logs.h).
constexpr receive_page product1_pages[] = {
    {0x00, build_supported_pages}, {0x01, build_configuration},      {0x02, build_enclosure_status},
    {0x03, build_help_text},       {0x04, build_string_in},          {0x05, build_threshold_in},
    {0x07, build_element_descriptor}, {0x0A, build_additional_status}, {0x0E, build_microcode_status},
    {0xEC, build_cli_reply},          {0x0F, build_nickname_status},
    {0x17, build_environment_page}, {0xEA, build_information_page},   {0xED, build_expander_status_page},
    {0xEB, build_debug_text_page},  {0x87, build_primary_dump_page},  {0x97, build_secondary_dump_page},
    {0x85, build_primary_event_page}, {0x95, build_secondary_event_page},
};
constexpr send_page product1_send_pages[] = {
    {0xEC, take_cli_command}, {0x0F, take_nickname_control},      {0xEE, take_time_stamp},
    {0x04, take_string_out},  {0x85, take_event_log_request},      {0x95, take_event_log_request},
};

// Pages of the older products without the vendor pages: a plain help text
// (no firmware revision, no status section), no String In page.
constexpr receive_page basic_pages[] = {
    {0x00, build_supported_pages}, {0x01, build_configuration},      {0x02, build_enclosure_status},
    {0x03, build_help_text},       {0x05, build_threshold_in},       {0x07, build_element_descriptor},
    {0x0A, build_additional_status}, {0x0E, build_microcode_status},
};
constexpr send_page basic_send_pages[] = {{0x0E, take_microcode_control}};

// Voltage sensors. The health report's low-line check reads the AC inputs of
// the two supplies at fixed indexes: 16 and 17 on product 1, 2 and 5 on
// product 2, 0 and 2 on the others.
constexpr sensor_row volts_product1[] = {
    {"VOLT EXP0 0.9V", 90},   {"VOLT EXP0 1.0V", 100},  {"VOLT EXP0 1.2V", 120},  {"VOLT EXP0 1.8V", 180},
    {"VOLT EXP0 2.5V", 250},  {"VOLT EXP0 3.3V", 330},  {"VOLT EXP0 5V", 500},    {"VOLT EXP0 12V", 1210},
    {"VOLT EXP1 0.9V", 90},   {"VOLT EXP1 1.0V", 100},  {"VOLT EXP1 1.2V", 120},  {"VOLT EXP1 1.8V", 180},
    {"VOLT EXP1 2.5V", 250},  {"VOLT EXP1 3.3V", 330},  {"VOLT EXP1 5V", 500},    {"VOLT EXP1 12V", 1210},
    {"VOLT PSU A AC", 23000}, {"VOLT PSU B AC", 23000},
};
constexpr sensor_row volts_product2[] = {
    {"VOLT PSU A 12V", 1210}, {"VOLT PSU A 5V", 505}, {"VOLT PSU A AC", 23000},
    {"VOLT PSU B 12V", 1208}, {"VOLT PSU B 5V", 503}, {"VOLT PSU B AC", 23000},
};
constexpr sensor_row volts_common[] = {
    {"VOLT PSU A AC", 23000}, {"VOLT PSU A 12V", 1210}, {"VOLT PSU B AC", 23000}, {"VOLT PSU B 12V", 1208},
};
constexpr sensor_row amps_two[] = {{"CURR PSU A 12V", 1450}, {"CURR PSU B 12V", 1390}};
constexpr sensor_row amps_four[] = {
    {"CURR PSU A 12V", 2870}, {"CURR PSU A 5V", 910}, {"CURR PSU B 12V", 2790}, {"CURR PSU B 5V", 880},
};

constexpr std::array<product_profile, 7> products = {{
    {1, "AMBER RIDGE", "KORV UNIT", nullptr, "TN7000 Storage Platform", "2043-012", "KVAR", 12,
     false, true, 2, 4, 4, false, volts_product1, amps_two, 2, true, product1_pages, product1_send_pages},
    {2, "NX2B_STOR_ENCL", "KORV-NX2A", nullptr, "NX2B Storage Platform", "2038-004", "KVSR", 24,
     true, false, 3, 4, 6, false, volts_product2, amps_two, 3, true, extended_pages, extended_send_pages},
    {3, "NX2A_STOR_ENCL", nullptr, nullptr, "NX2A Storage Platform", "0512-001", "KVHA", 24,
     false, false, 1, 4, 3, false, volts_common, amps_two, 2, false, basic_pages, basic_send_pages},
    {4, "NX1F_STOR_ENCL", nullptr, nullptr, "NX1F Flash Storage Platform", "0620-002", "KVMC", 24,
     false, false, 1, 4, 3, false, volts_common, amps_two, 2, false, basic_pages, basic_send_pages},
    {5, "M7310-P", "ZMC-NX2A", nullptr, "Veloxaris Bay-S", "2041-003", "KVOR", 60,
     true, false, 3, 4, 8, true, volts_common, amps_four, 3, true, extended_pages, extended_send_pages},
    {6, "M7320-P", "ZMC-NX3A", "ZMC-NX3AMT", "Veloxaris Bay-L", "3012-007", "KVMA", 102,
     true, false, 3, 8, 10, true, volts_common, amps_four, 4, true, extended_pages, extended_send_pages},
    {7, "M7310-R", "ZMC-NX2A", nullptr, "Veloxaris Host-S", "3005-001", "KVGR", 68,
     false, true, 3, 6, 8, true, volts_common, amps_four, 3, true, extended_pages, extended_send_pages},
}};

}  // namespace

const product_profile* find_product(int code) {
    for (const auto& p : products)
        if (p.code == code) return &p;
    return nullptr;
}

}  // namespace enctl::sim
