// The http operation's driver, the Query resource, the device prologue, and
// the show and health identifiers.
#include "rest/http.h"

#include <cstring>
#include <memory>

#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/text.h"
#include "rest/http_json.h"
#include "rest/http_transport.h"

namespace enctl {

std::string http_url_segment(std::string_view text) {
    if (text.empty() || text == "." || text == "..") return {};
    // The handle argument is not used by libcurl's escape.
    std::unique_ptr<char, decltype(&curl_free)> escaped(
        curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())), &curl_free);
    return escaped ? std::string(escaped.get()) : std::string();
}

std::string http_device_url(const http_options& options, std::string_view tail) {
    std::string url = "http://";
    url.append(options.address).append("/Storage/Devices/").append(http_url_segment(options.device_name));
    return url.append(tail);
}

unsigned http_get_document(const http_options& options, const std::string& url) {
    std::uint32_t status = 0;
    return http_data_get(url.c_str(), options.user, options.password, 1, 0, status);
}

int http_query(http_options& options, int show_mode) {
    const std::string url = std::string("http://") + options.address + "/Query/";
    std::uint32_t status = 0;
    // The Query is read without credentials.
    const unsigned result = http_data_get(url.c_str(), "", "", 1, 0, status);
    if (result != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "Cannot access: %s\n", url.c_str());
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
    if (result == 0 && options.device_name[0] != '\0' && http_url_segment(options.device_name).empty()) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The device name from the Query cannot be used in a URL\n");
        result = 1;
    }
    if (result != 0 || options.device_name[0] == '\0') {
        CONSOLE_PRINT(kVerbosityNormal, "%s", failure_message);
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "Device: %s\n", printable_text(options.device_name).c_str());
    CONSOLE_PRINT(kVerbosityNormal, "Slot #: %u\n", options.slot);
    CONSOLE_PRINT(kVerbosityNormal, "\n");
    return 0;
}

int http_show_devices(http_options& options) {
    if (http_device_prologue(options, "ERROR: Not able to retrieve the device name.\n")) return 1;
    http_buffer_reset(g_http_body);
    if (options.show_device[0] == '\0') {
        if (http_get_document(options, http_device_url(options, "")) != 0) {
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
        if (http_get_document(options, http_device_url(options, "/" + std::string(row.key) + "/")) != 0) {
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
    if (http_get_document(options, http_device_url(options, "/Full/")) != 0) {
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
