// Readers of the JSON documents of the enclosure's REST service. Each takes a
// response body as NUL-terminated text, parses it, prints or stores what it
// needs and frees the tree. A value is used only when it has the expected JSON
// type; otherwise its line is left out. Readers return 1 when the text is not
// JSON (after "Error before: %s\n" at debug verbosity), else 0 unless stated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rest/http_options.h"

namespace enctl {

// One of the enclosure's sub-resources: the JSON member name and URL segment,
// the name the user types after "show=", and the routine that prints it.
struct http_device_resource {
    const char* key;
    const char* show_name;
    int (*show)(const char* text);
};

extern const std::array<http_device_resource, 8> http_device_resources;

// Query document: slot and device name of the first device (the name cut to 255).
int http_json_query_device(const char* text, http_options& options);
// Query document: the identity lines of the first device.
int http_json_query_show_data(const char* text);
// Device document: state, health, capacity and the offered sub-resources.
int http_json_device_list(const char* text);

int http_json_device_show_adapter(const char* text);
int http_json_device_show_controller(const char* text);
int http_json_device_show_cooling(const char* text);
int http_json_device_show_media(const char* text);
int http_json_device_show_port(const char* text);
int http_json_device_show_power(const char* text);
int http_json_device_show_sensor(const char* text);
int http_json_device_show_clock(const char* text);

// Full document: every member of every sub-resource, or only the unhealthy ones.
int http_json_health_check_all(const char* text);
int http_json_health_check_bad(const char* text);

// Job document: "PercentComplete" into percent. 1 also when it is missing; a
// value that is not a number leaves percent unchanged and returns 0.
int http_json_fw_job_completion(const char* text, std::int32_t& percent);
// A job or LogsStatus document that says its job failed: the name of the
// state ("JobState" or "State", a string or an object with a string "Name")
// when it is a failure state (Exception, Failed, Failure, Error, Aborted,
// Cancelled, Canceled or Killed, any case); empty otherwise.
std::string http_json_failed_state(const char* text);
// LogsStatus document: "InProgress" into the flag. A document without a boolean
// "InProgress" sets the flag (the collection may still run).
int http_json_logsstatus_get_progress(const char* text, std::uint32_t& in_progress);
// Port list: the "ID" of the last member into port_id (cut to size - 1). 1 when
// a member has no "ID"; 0 with port_id unchanged when there is no "Members".
int http_json_port_id(const char* text, char* port_id, std::size_t size);
// Port status: the settings lines of the first member.
int http_json_port_show_data(const char* text);

// Port settings body built as JSON (the address is a JSON string, escaped):
// {"AddressOrigin":{"ID":65536}} for DHCP,
// {"AddressOrigin":{"ID":3},"IPv4Address":"<address>"} for a static address.
// Empty when out of memory.
std::string http_json_port_settings(bool dhcp, const char* ipv4);

// Capacity conversions: bytes plus 500, divided by 10^12 (TB) or 10^9 (GB) in
// floating point and cut to an integer (0 for negative or non-numbers,
// saturated at the u32 range).
std::uint32_t http_capacity_tb(double bytes);
std::uint32_t http_capacity_gb(double bytes);

}  // namespace enctl
