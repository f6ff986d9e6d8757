#include "rest/http_json.h"

#include <cjson/cJSON.h>

#include <cctype>
#include <cmath>
#include <memory>
#include <string_view>

#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/text.h"

namespace enctl {

namespace {

struct json_deleter {
    void operator()(cJSON* json) const noexcept { cJSON_Delete(json); }
};
using json_ptr = std::unique_ptr<cJSON, json_deleter>;

json_ptr parse(const char* text) {
    json_ptr root(cJSON_Parse(text ? text : ""));
    if (!root) {
        const char* error = cJSON_GetErrorPtr();
        if (error) CONSOLE_PRINT(kVerbosityDebug, "Error before: %s\n", printable_text(error, true).c_str());
    }
    return root;
}

const cJSON* member(const cJSON* object, const char* name) {
    return object ? cJSON_GetObjectItemCaseSensitive(object, name) : nullptr;
}

// The member's text when it is a string, else null.
const char* string_of(const cJSON* object, const char* name) {
    const cJSON* item = member(object, name);
    return cJSON_IsString(item) && item->valuestring ? item->valuestring : nullptr;
}

// The member when it is a number, else null.
const cJSON* number_of(const cJSON* object, const char* name) {
    const cJSON* item = member(object, name);
    return cJSON_IsNumber(item) ? item : nullptr;
}

unsigned integer_of(const cJSON* number) { return static_cast<unsigned>(number->valueint); }

// Prints a one-value line when the value is a string.
void print_string(const char* format, const char* value) {
    if (value) CONSOLE_PRINT(kVerbosityNormal, format, printable_text(value).c_str());
}

void print_number(const char* format, const cJSON* number) {
    if (number) CONSOLE_PRINT(kVerbosityNormal, format, integer_of(number));
}

// "Members" when it is an array; the debug note when it is missing.
const cJSON* members_of(const cJSON* object) {
    const cJSON* members = member(object, "Members");
    if (!cJSON_IsArray(members)) {
        CONSOLE_PRINT(kVerbosityDebug, "***Cannot find Members\n");
        return nullptr;
    }
    return members;
}

// Status.State.Name
const char* state_name(const cJSON* object) { return string_of(member(member(object, "Status"), "State"), "Name"); }

// The first element of Status.Health when Health is an array of objects.
const cJSON* first_health(const cJSON* object) {
    const cJSON* health = member(member(object, "Status"), "Health");
    if (!health) {
        CONSOLE_PRINT(kVerbosityDebug, "***Cannot find Health\n");
        return nullptr;
    }
    if (!cJSON_IsArray(health)) return nullptr;
    const cJSON* first = cJSON_GetArrayItem(health, 0);
    return cJSON_IsObject(first) ? first : nullptr;
}

const char* health_name(const cJSON* object) { return string_of(first_health(object), "Name"); }

// The lines shared by the show routines of adapters, controllers, cooling
// devices, media, power supplies and sensors.
void print_common_block(const cJSON* m) {
    print_string("ID          : %s\n", string_of(m, "ID"));
    print_string("Name        : %s\n", string_of(m, "Name"));
    print_string("State       : %s\n", state_name(m));
    print_string("Health      : %s\n", health_name(m));
}

// Walks "Members" of a sub-resource document: "\n" and then the member's lines.
template <typename PrintMember>
int show_members(const char* text, PrintMember print_member) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* members = members_of(root.get());
    if (!members) return 0;
    const cJSON* m = nullptr;
    cJSON_ArrayForEach(m, members) {
        CONSOLE_PRINT(kVerbosityNormal, "\n");
        print_member(m);
    }
    return 0;
}

// Fields of the first device of a Query document ("Devices"."Members"[0]).
const cJSON* first_query_device(const cJSON* root) {
    const cJSON* devices = member(root, "Devices");
    if (!devices) {
        CONSOLE_PRINT(kVerbosityDebug, "***Cannot find Devices\n");
        return nullptr;
    }
    const cJSON* members = members_of(devices);
    if (!members) return nullptr;
    const cJSON* first = cJSON_GetArrayItem(members, 0);
    return cJSON_IsObject(first) ? first : nullptr;
}

std::uint32_t cut_to_u32(double value) {
    if (!(value >= 0.0)) return 0;
    if (value >= 4294967295.0) return UINT32_MAX;
    return static_cast<std::uint32_t>(value);
}

// "%u days and %02u:%02u:%02u" of a Runtime or Uptime object; false when one of
// the four numbers is missing (the line is left out then).
bool format_duration(const cJSON* object, char (&out)[128]) {
    const cJSON* days = number_of(object, "Days");
    const cJSON* hours = number_of(object, "Hours");
    const cJSON* minutes = number_of(object, "Minutes");
    const cJSON* seconds = number_of(object, "Seconds");
    if (!days || !hours || !minutes || !seconds) return false;
    std::snprintf(out, sizeof out, "%u days and %02u:%02u:%02u", integer_of(days), integer_of(hours),
                  integer_of(minutes), integer_of(seconds));
    return true;
}

}  // namespace

std::uint32_t http_capacity_tb(double bytes) { return cut_to_u32((bytes + 500) / 1000 / 1000 / 1000 / 1000); }
std::uint32_t http_capacity_gb(double bytes) { return cut_to_u32((bytes + 500) / 1000 / 1000 / 1000); }

const std::array<http_device_resource, 8> http_device_resources = {{
    {"Adapters", "adapter", http_json_device_show_adapter},
    {"Controllers", "controller", http_json_device_show_controller},
    {"CoolingDevices", "cooling", http_json_device_show_cooling},
    {"Media", "media", http_json_device_show_media},
    {"Ports", "port", http_json_device_show_port},
    {"PowerSupplies", "power", http_json_device_show_power},
    {"Sensors", "sensor", http_json_device_show_sensor},
    {"SystemClock", "clock", http_json_device_show_clock},
}};

int http_json_query_device(const char* text, http_options& options) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* device = first_query_device(root.get());
    if (const char* name = string_of(device, "Name")) set_text(options.device_name, name);
    if (const cJSON* slot = number_of(device, "SlotNumber")) options.slot = integer_of(slot);
    return 0;
}

int http_json_query_show_data(const char* text) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* device = first_query_device(root.get());
    print_string("Model   : %s\n", string_of(device, "Model"));
    print_string("Serial  : %s\n", string_of(device, "SerialNumber"));
    print_string("Name    : %s\n", string_of(device, "Name"));
    print_string("Firmware: %s\n", string_of(member(device, "OperatingSystem"), "Version"));
    print_number("Slot    : %u\n", number_of(device, "SlotNumber"));
    return 0;
}

int http_json_device_list(const char* text) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* device = root.get();
    print_string("State       : %s\n", state_name(device));
    print_string("Health      : %s\n", health_name(device));
    if (const cJSON* capacity = number_of(device, "TotalCapacity"))
        CONSOLE_PRINT(kVerbosityNormal, "Capacity    : %u TB\n", http_capacity_tb(capacity->valuedouble));
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    CONSOLE_PRINT(kVerbosityNormal, "More data is available for the following devices:\n");
    for (const auto& row : http_device_resources)
        if (member(device, row.key)) CONSOLE_PRINT(kVerbosityNormal, "  %s\n", row.show_name);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    return 0;
}

int http_json_device_show_adapter(const char* text) { return show_members(text, print_common_block); }

int http_json_device_show_controller(const char* text) {
    return show_members(text, [](const cJSON* m) {
        print_common_block(m);
        const cJSON* rebootable = member(m, "Rebootable");
        if (cJSON_IsBool(rebootable))
            CONSOLE_PRINT(kVerbosityNormal, "Rebootable  : %s\n", cJSON_IsTrue(rebootable) ? "Yes" : "No");
    });
}

int http_json_device_show_cooling(const char* text) { return show_members(text, print_common_block); }

int http_json_device_show_media(const char* text) {
    return show_members(text, [](const cJSON* m) {
        print_common_block(m);
        print_string("Model       : %s\n", string_of(m, "Model"));
        print_string("Serial      : %s\n", string_of(m, "SerialNumber"));
        print_string("Version     : %s\n", string_of(m, "Version"));
        print_string("Protocol    : %s\n", string_of(member(m, "Protocol"), "Name"));
        if (const cJSON* capacity = number_of(m, "Capacity"))
            CONSOLE_PRINT(kVerbosityNormal, "Capacity    : %u GB\n", http_capacity_gb(capacity->valuedouble));
    });
}

int http_json_device_show_port(const char* text) {
    return show_members(text, [](const cJSON* m) {
        print_string("ID          : %s\n", string_of(m, "ID"));
        print_string("State       : %s\n", state_name(m));
        print_string("Health      : %s\n", health_name(m));
        print_string("IPv4Address : %s\n", string_of(m, "IPv4Address"));
        print_string("IPv4Gateway : %s\n", string_of(m, "IPv4Gateway"));
        print_string("MACAddress  : %s\n", string_of(m, "MACAddress"));
        print_string("Network     : %s\n", string_of(member(m, "NetworkType"), "Name"));
        print_string("Type        : %s\n", string_of(member(m, "AddressOrigin"), "Name"));
        print_number("MTU Bytes   : %u\n", number_of(m, "MTUBytes"));
    });
}

int http_json_device_show_power(const char* text) {
    return show_members(text, [](const cJSON* m) {
        print_common_block(m);
        print_string("Part        : %s\n", string_of(m, "PartNumber"));
        print_string("Serial      : %s\n", string_of(m, "SerialNumber"));
    });
}

int http_json_device_show_sensor(const char* text) {
    return show_members(text, [](const cJSON* m) {
        print_common_block(m);
        print_string("Type        : %s\n", string_of(member(m, "SensorType"), "Name"));
        print_number("Reading     : %u\n", number_of(m, "CurrentReading"));
        print_string("Base unit   : %s\n", string_of(member(m, "BaseUnits"), "Name"));
    });
}

int http_json_device_show_clock(const char* text) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* clock = root.get();
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    print_string("Date        : %s\n", string_of(clock, "Date"));
    print_string("Time        : %s\n", string_of(clock, "Time"));
    print_string("Time zone   : %s\n", string_of(clock, "TimeZone"));
    char duration[128];
    if (format_duration(member(clock, "Runtime"), duration)) print_string("Runtime     : %s\n", duration);
    if (format_duration(member(clock, "Uptime"), duration)) print_string("Uptime      : %s\n", duration);
    return 0;
}

int http_json_health_check_all(const char* text) {
    json_ptr root = parse(text);
    if (!root) return 1;
    for (const auto& row : http_device_resources) {
        const cJSON* resource = member(root.get(), row.key);
        if (!resource) {
            CONSOLE_PRINT(kVerbosityDebug, "***Could not find %s\n", row.key);
            continue;
        }
        const cJSON* members = member(resource, "Members");
        if (!cJSON_IsArray(members)) continue;
        CONSOLE_PRINT(kVerbosityNormal, "%s:\n", row.key);
        const cJSON* m = nullptr;
        cJSON_ArrayForEach(m, members) {
            CONSOLE_PRINT(kVerbosityNormal, "\n");
            print_string("  ID        : %s\n", string_of(m, "ID"));
            print_string("  Name      : %s\n", string_of(m, "Name"));
            print_string("  State     : %s\n", state_name(m));
            print_string("  Health    : %s\n", health_name(m));
        }
        CONSOLE_PRINT(kVerbosityNormal, "\n\n");
    }
    return 0;
}

int http_json_health_check_bad(const char* text) {
    json_ptr root = parse(text);
    if (!root) return 1;
    for (const auto& row : http_device_resources) {
        const cJSON* members = member(member(root.get(), row.key), "Members");
        if (!cJSON_IsArray(members)) continue;
        const cJSON* m = nullptr;
        cJSON_ArrayForEach(m, members) {
            const cJSON* health = first_health(m);
            const cJSON* id = number_of(health, "ID");
            if (!id || id->valuedouble == 5.0) continue;
            CONSOLE_PRINT(kVerbosityNormal, "%s:\n", row.key);
            print_string("  ID        : %s\n", string_of(m, "ID"));
            print_string("  Name      : %s\n", string_of(m, "Name"));
            print_string("  State     : %s\n", state_name(m));
            print_string("  Health    : %s\n", string_of(health, "Name"));
            CONSOLE_PRINT(kVerbosityNormal, "\n");
        }
    }
    return 0;
}

int http_json_fw_job_completion(const char* text, std::int32_t& percent) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* complete = member(root.get(), "PercentComplete");
    if (!complete) {
        CONSOLE_PRINT(kVerbosityDebug, "***Cannot find PercentComplete\n");
        return 1;
    }
    if (cJSON_IsNumber(complete)) {
        percent = complete->valueint;
        CONSOLE_PRINT(kVerbosityDebug, "PercentComplete=%u\n", static_cast<unsigned>(percent));
    }
    return 0;
}

std::string http_json_failed_state(const char* text) {
    static constexpr std::string_view kFailureStates[] = {"exception", "failed",    "failure",  "error",
                                                          "aborted",   "cancelled", "canceled", "killed"};
    json_ptr root = parse(text);
    if (!root) return {};
    for (const char* key : {"JobState", "State"}) {
        const cJSON* state = member(root.get(), key);
        const char* name = cJSON_IsObject(state) ? string_of(state, "Name") : string_of(root.get(), key);
        if (!name) continue;
        std::string lower(name);
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (std::string_view failure : kFailureStates)
            if (lower == failure) return name;
    }
    return {};
}

int http_json_logsstatus_get_progress(const char* text, std::uint32_t& in_progress) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* state = member(root.get(), "InProgress");
    if (!state) CONSOLE_PRINT(kVerbosityDebug, "***Cannot find InProgress\n");
    if (cJSON_IsBool(state)) {
        in_progress = cJSON_IsTrue(state) ? 1 : 0;
        CONSOLE_PRINT(kVerbosityDebug, "%s", in_progress ? "in progress\n" : "not in progress\n");
    } else {
        // Unknown state: never start a second collection, never fetch a log
        // that may still be written.
        in_progress = 1;
    }
    return 0;
}

int http_json_port_id(const char* text, char* port_id, std::size_t size) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* members = member(root.get(), "Members");
    if (!members) {
        CONSOLE_PRINT(kVerbosityDebug, "***Cannot find Members\n");
        return 0;
    }
    if (!cJSON_IsArray(members)) return 0;
    const cJSON* m = nullptr;
    cJSON_ArrayForEach(m, members) {
        const cJSON* id = member(m, "ID");
        if (!id) {
            CONSOLE_PRINT(kVerbosityDebug, "***Cannot find ID\n");
            return 1;
        }
        if (cJSON_IsString(id) && id->valuestring) set_text(port_id, size, id->valuestring);
    }
    return 0;
}

int http_json_port_show_data(const char* text) {
    json_ptr root = parse(text);
    if (!root) return 1;
    const cJSON* members = members_of(root.get());
    const cJSON* first = cJSON_GetArrayItem(members, 0);
    if (!cJSON_IsObject(first)) return 0;
    print_string("ID          : %s\n", string_of(first, "ID"));
    print_string("State       : %s\n", state_name(first));
    print_string("IPv4Address : %s\n", string_of(first, "IPv4Address"));
    print_string("IPv4Gateway : %s\n", string_of(first, "IPv4Gateway"));
    print_string("MACAddress  : %s\n", string_of(first, "MACAddress"));
    print_string("Type        : %s\n", string_of(member(first, "AddressOrigin"), "Name"));
    return 0;
}

std::string http_json_port_settings(bool dhcp, const char* ipv4) {
    json_ptr root(cJSON_CreateObject());
    if (!root) return {};
    cJSON* origin = cJSON_AddObjectToObject(root.get(), "AddressOrigin");
    if (!origin || !cJSON_AddNumberToObject(origin, "ID", dhcp ? 65536 : 3)) return {};
    if (!dhcp && !cJSON_AddStringToObject(root.get(), "IPv4Address", ipv4 ? ipv4 : "")) return {};
    char* printed = cJSON_PrintUnformatted(root.get());
    if (!printed) return {};
    std::string body(printed);
    cJSON_free(printed);
    return body;
}

}  // namespace enctl
