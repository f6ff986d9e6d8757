// The http operation's driver, the Query resource, the device prologue, and
// the show and health identifiers.
#include "rest/http.h"

#include <cstdio>
#include <cstring>

#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "rest/http_json.h"
#include "rest/http_transport.h"

namespace enctl {

namespace {

constexpr std::size_t kUrlSize = 2048;

}  // namespace

bool http_url_segment_ok(std::string_view text) {
    if (text.empty() || text == "." || text == "..") return false;
    for (const char c : text) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (!unreserved) return false;
    }
    return true;
}

unsigned http_authenticated_get(const http_options& options, const char* url) {
    std::uint32_t status = 0;
    const unsigned result = http_data_get(url, options.user, options.password, 1, 0, status);
    if (result != 0) return result;
    if (status == 401 || status == 403) {
        http_buffer_reset(g_http_body);
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The enclosure refused the user name or password (http code %u)\n",
                      status);
        return 1;
    }
    return 0;
}

int http_query(http_options& options, int show_mode) {
    char url[kUrlSize];
    std::snprintf(url, sizeof url, "http://%s/Query/", options.address);
    std::uint32_t status = 0;
    // The Query is read without credentials.
    const unsigned result = http_data_get(url, "", "", 1, 0, status);
    if (result != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "Cannot access: %s\n", url);
        return static_cast<int>(result);
    }
    if (g_http_body.size == 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: did not receive http data\n");
        return 1;
    }
    int parsed = 0;
    if (show_mode)
        parsed = http_json_query_show_data(g_http_body.text());
    else
        http_json_query_device(g_http_body.text(), options);
    http_buffer_reset(g_http_body);
    return parsed;
}

int http_device_prologue(http_options& options, const char* failure_message) {
    int result = http_query(options, 0);
    if (result == 0 && options.device_name[0] != '\0' && !http_url_segment_ok(options.device_name)) {
        // A name with "/", "..", blanks or control characters would change the
        // path of every URL built with it.
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The device name from the Query cannot be used in a URL\n");
        result = 1;
    }
    if (result != 0 || options.device_name[0] == '\0') {
        CONSOLE_PRINT(kVerbosityNormal, "%s", failure_message);
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "Device: %s\n", options.device_name);
    CONSOLE_PRINT(kVerbosityNormal, "Slot #: %u\n", options.slot);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    return 0;
}

int http_show_devices(http_options& options) {
    if (http_device_prologue(options, "ERROR: Not able to retrieve the device name.\n")) return 1;
    http_buffer_reset(g_http_body);
    char url[kUrlSize];
    if (options.show_device[0] == '\0') {
        std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s", options.address, options.device_name);
        if (http_authenticated_get(options, url) != 0) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get device data failed.\n");
            return 1;
        }
        http_json_device_list(g_http_body.text());
        http_buffer_reset(g_http_body);
        CONSOLE_PRINT(kVerbosityNormal, "Enter \"show=<device>\" to get more data\n");
        CONSOLE_PRINT(kVerbosityNormal, "Example: enctl http=1.2.3.4 show=media\n");
        return 0;
    }
    for (const auto& row : http_device_resources) {
        if (std::strcmp(row.show_name, options.show_device) != 0) continue;
        CONSOLE_PRINT(kVerbosityNormal, "Data for %s\n", row.key);
        std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/%s/", options.address, options.device_name,
                      row.key);
        if (http_authenticated_get(options, url) != 0) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get data failed for %s\n", row.show_name);
            return 1;
        }
        row.show(g_http_body.text());
        http_buffer_reset(g_http_body);
    }
    return 0;
}

int http_health(http_options& options) {
    if (http_device_prologue(options, "ERROR: Not able to retrieve the device name.\n")) return 1;
    http_buffer_reset(g_http_body);
    char url[kUrlSize];
    std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/Full/", options.address, options.device_name);
    if (http_authenticated_get(options, url) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get device data failed.\n");
        return 1;
    }
    if (options.health_bad)
        http_json_health_check_bad(g_http_body.text());
    else
        http_json_health_check_all(g_http_body.text());
    http_buffer_reset(g_http_body);
    return 0;
}

int http_run(http_options& options) {
    if (http_setup() != 0) return 1;
    if (options.user[0] == '\0') set_text(options.user, "admin");
    if (options.password[0] == '\0') set_text(options.password, "tovek");
    int result = 0;
    if (options.show)
        result = http_show_devices(options);
    else if (options.fw)
        result = http_fw(options);
    else if (options.getlog)
        result = http_getlog(options);
    else if (options.health)
        result = http_health(options);
    else if (options.iom_show)
        result = http_iom_status(options);
    else if (options.iom_set)
        result = http_iom_config(options);
    else
        result = http_query(options, 1);
    http_teardown();
    // A routine that failed has said why; the exit code says it too.
    return result != 0 ? 1 : 0;
}

}  // namespace enctl
