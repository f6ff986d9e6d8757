// Identifiers of the http operation that change the enclosure or fetch data
// from it: firmware update, log collection, and the IOM management port.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "basekit/clock.h"
#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"
#include "rest/http.h"
#include "rest/http_args.h"
#include "rest/http_json.h"
#include "rest/http_transport.h"

namespace enctl {

namespace {

constexpr std::size_t kUrlSize = 2048;
constexpr std::uint64_t kPollIntervalMs = 3000;
constexpr std::uint32_t kJobTimeoutSeconds = 300;
constexpr std::uint32_t kLogTimeoutSeconds = 180;

std::string g_run_log_dir;

void flush_console() { std::fflush(stdout); }

std::uint64_t now_seconds() { return now_ms() / 1000; }


// PUT of a job request; a refused request (an error status such as 412 for a
// stale ETag) stops the firmware update instead of waiting for a job that the
// enclosure never started.
bool put_accepted(const http_options& options, const char* url, const char* etag, const char* json) {
    std::uint32_t status = 0;
    if (http_data_put(url, options.user, options.password, etag, json, status) != 0) return false;
    if (http_status_failed(status)) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The enclosure refused the request with http code %u\n", status);
        return false;
    }
    return true;
}

}  // namespace

void http_set_run_log_dir(std::string_view dir) { g_run_log_dir.assign(dir); }

int http_fw_status(http_options& options, std::int32_t& percent, const char* job_name) {
    char url[kUrlSize];
    std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/Jobs/%s/", options.address, options.device_name,
                  job_name);
    if (const unsigned result = http_authenticated_get(options, url)) return static_cast<int>(result);
    if (g_http_body.size == 0) {
        CONSOLE_PRINT(kVerbosityDebug, "ERROR: did not receive http data\n");
        return 1;
    }
    const int parsed = http_json_fw_job_completion(g_http_body.text(), percent);
    http_buffer_reset(g_http_body);
    return parsed;
}

int http_wait_job(http_options& options, const char* job_name) {
    std::int32_t percent = 0;
    std::uint32_t elapsed = 0;
    const std::uint64_t start = now_seconds();
    while (true) {
        CONSOLE_PRINT(kVerbosityNormal, "\r|-- Waiting for completion: %u%% (%u seconds)",
                      static_cast<unsigned>(percent), elapsed);
        flush_console();
        sleep_ms(kPollIntervalMs);
        if (http_fw_status(options, percent, job_name) != 0) {
            CONSOLE_PRINT(kVerbosityNormal, "\r|-- ERROR: Not able to determine firmware status          \n");
            flush_console();
            return 1;
        }
        elapsed = static_cast<std::uint32_t>(now_seconds() - start);
        // The time-out is tested before the percentage.
        if (elapsed >= kJobTimeoutSeconds) {
            CONSOLE_PRINT(kVerbosityNormal, "\r|-- ERROR: Exit due to timeout of 300 seconds              \n");
            flush_console();
            return 1;
        }
        if (percent >= 100) break;
    }
    CONSOLE_PRINT(kVerbosityNormal, "\r|-- Operation completed in %u seconds                  \n", elapsed);
    flush_console();
    return 0;
}

int http_fw(http_options& options) {
    // The image is opened first: nothing is sent when it cannot be read.
    std::error_code ec;
    const std::filesystem::path image_path(options.fw_file);
    unique_file image;
    if (options.fw_file[0] != '\0' && std::filesystem::is_regular_file(image_path, ec))
        image.reset(std::fopen(options.fw_file, "rb"));
    if (!image) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot open the firmware file %s\n", options.fw_file);
        return 1;
    }
    const std::uintmax_t size = std::filesystem::file_size(image_path, ec);
    if (ec || size > UINT32_MAX) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot read the size of the firmware file %s\n", options.fw_file);
        return 1;
    }

    if (http_device_prologue(options, "ERROR: Not able to retrieve the device name\n")) return 1;
    char device_url[kUrlSize];
    std::snprintf(device_url, sizeof device_url, "http://%s/Storage/Devices/%s/", options.address,
                  options.device_name);
    char etag[kHttpEtagSize] = {};
    if (http_get_etag(device_url, options.user, options.password, etag) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get the etag failed.\n");
        return 1;
    }

    http_transfer transfer;
    transfer.file = image.get();
    transfer.total = static_cast<std::uint32_t>(size);
    transfer.count = transfer.total;
    transfer.progress = 1;
    set_text(transfer.file_name, options.fw_file);
    char upload_url[kUrlSize];
    std::snprintf(upload_url, sizeof upload_url, "http://%s/Storage/Devices/%s/OperatingSystem/", options.address,
                  options.device_name);
    CONSOLE_PRINT(kVerbosityNormal, "File upload started\n");
    std::uint32_t status = 0;
    if (http_file_post(upload_url, options.user, options.password, transfer, status) != 0 ||
        http_status_failed(status)) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: File upload failed with http code %u\n", status);
        return 1;
    }
    image.reset();

    if (!put_accepted(options, device_url, etag, "{\"FirmwareUpdate\":true}")) return 1;
    CONSOLE_PRINT(kVerbosityNormal, "Firmware update started\n");
    if (http_wait_job(options, "FirmwareUpdate") != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Firmware update not completed.\n");
        return 1;
    }
    if (!put_accepted(options, device_url, etag, "{\"FirmwareActivate\":true}")) return 1;
    CONSOLE_PRINT(kVerbosityNormal, "Firmware activation started\n");
    if (http_wait_job(options, "FirmwareActivate") != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Firmware update not completed.\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "New firmware has been loaded successfully.\n");
    return 0;
}

int http_getlog_in_progress(http_options& options, std::uint32_t& in_progress) {
    char url[kUrlSize];
    std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/LogsStatus", options.address, options.device_name);
    if (const unsigned result = http_authenticated_get(options, url)) return static_cast<int>(result);
    if (g_http_body.size == 0) {
        CONSOLE_PRINT(kVerbosityDebug, "ERROR: did not receive http data\n");
        return 1;
    }
    const int parsed = http_json_logsstatus_get_progress(g_http_body.text(), in_progress);
    http_buffer_reset(g_http_body);
    return parsed;
}

int http_getlog(http_options& options) {
    if (http_device_prologue(options, "ERROR: Not able to retrieve the device name\n")) return 1;

    // The log file is created before anything is asked of the enclosure, so
    // that a folder that cannot be written stops the run at once.
    std::string folder = options.getlog_dir;
    if (folder.empty()) {
        folder = g_run_log_dir;
        std::error_code ec;
        if (folder.empty() || (!std::filesystem::create_directory(folder, ec) && ec)) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot create the log folder %s\n", folder.c_str());
            return 1;
        }
    }
    char file_name[kUrlSize];
    std::snprintf(file_name, sizeof file_name, "%s%c%s_slot%u_log.bin", folder.c_str(), kPathSeparator,
                  options.device_name, options.slot);
    CONSOLE_PRINT(kVerbosityDebug, "log name=%s\n", file_name);
    unique_file file(std::fopen(file_name, "wb"));
    if (!file) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot create the log file %s\n", file_name);
        return 1;
    }
    // Until the download starts the file is empty; a failure removes it.
    const auto fail = [&]() {
        file.reset();
        std::remove(file_name);
        return 1;
    };

    std::uint32_t in_progress = 0;
    if (http_getlog_in_progress(options, in_progress) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Not able to determine progress status\n");
        return fail();
    }
    if (in_progress) {
        CONSOLE_PRINT(kVerbosityNormal, "Log status indicates it is already in progress.\n");
        CONSOLE_PRINT(kVerbosityNormal, "Please wait and try again later.\n");
        return fail();
    }
    char url[kUrlSize];
    std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/LogsStart", options.address, options.device_name);
    if (http_authenticated_get(options, url) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to start the logging process failed.\n");
        return fail();
    }
    http_buffer_reset(g_http_body);
    CONSOLE_PRINT(kVerbosityNormal, "Logging process started\n");
    const std::uint64_t start = now_seconds();
    std::uint32_t elapsed = 0;
    do {
        CONSOLE_PRINT(kVerbosityNormal, "\r|-- Waiting for log collection: %u seconds", elapsed);
        flush_console();
        sleep_ms(kPollIntervalMs);
        if (http_getlog_in_progress(options, in_progress) != 0) {
            CONSOLE_PRINT(kVerbosityNormal, "\r|-- ERROR: Not able to determine progress status             \n");
            flush_console();
            return fail();
        }
        elapsed = static_cast<std::uint32_t>(now_seconds() - start);
        if (elapsed >= kLogTimeoutSeconds) {
            CONSOLE_PRINT(kVerbosityNormal,
                          "\r|-- ERROR: Exit due to timeout of 180 seconds. Log collection not completed.\n");
            flush_console();
            return fail();
        }
    } while (in_progress);
    CONSOLE_PRINT(kVerbosityNormal, "\r|-- Log collection completed in %u seconds.\n", elapsed);
    flush_console();

    CONSOLE_PRINT(kVerbosityNormal, "Log download started\n");
    std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/LogsFetch", options.address, options.device_name);
    http_transfer transfer;
    transfer.file = file.get();
    transfer.count = 0;
    transfer.progress = 1;
    std::uint32_t status = 0;
    const unsigned result = http_file_get(url, options.user, options.password, transfer, status);
    // Closing flushes the last bytes; a failure there is a failed download.
    const bool closed = std::fclose(file.release()) == 0;
    if (result == 0 && closed && !http_status_failed(status)) {
        CONSOLE_PRINT(kVerbosityNormal, "File saved: %s\n", file_name);
        return 0;
    }
    // An error document is not a log: it is not left behind as one.
    if (http_status_failed(status)) std::remove(file_name);
    CONSOLE_PRINT(kVerbosityNormal, "ERROR: Log download failed with http code %u\n", status);
    return 1;
}

int http_iom_port_id(http_options& options, char* port_id, std::size_t size) {
    char url[kUrlSize];
    std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/Ports/", options.address, options.device_name);
    if (const unsigned result = http_authenticated_get(options, url)) {
        CONSOLE_PRINT(kVerbosityNormal, "Cannot access: %s\n", url);
        return static_cast<int>(result);
    }
    if (g_http_body.size == 0) {
        CONSOLE_PRINT(kVerbosityDebug, "ERROR: did not receive http data\n");
        return 1;
    }
    const int parsed = http_json_port_id(g_http_body.text(), port_id, size);
    http_buffer_reset(g_http_body);
    if (parsed == 0 && port_id[0] != '\0' && !http_url_segment_ok(port_id)) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The port id from the enclosure cannot be used in a URL\n");
        return 1;
    }
    return parsed;
}

int http_iom_config(http_options& options) {
    const bool dhcp = std::strcmp(options.iom_value, "dhcp") == 0;
    if (!dhcp && !http_ipv4_is_valid(options.iom_value)) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: \"%s\" is not a dotted IPv4 address\n", options.iom_value);
        return 1;
    }
    if (http_device_prologue(options, "ERROR: Not able to retrieve the device name\n")) return 1;
    char port_id[64] = {};
    if (http_iom_port_id(options, port_id, sizeof port_id) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Could not retrieve the port's id.\n");
        return 1;
    }
    char url[kUrlSize];
    std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/Ports/%s", options.address, options.device_name,
                  port_id);
    char etag[kHttpEtagSize] = {};
    if (http_get_etag(url, options.user, options.password, etag) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get the etag failed.\n");
        return 1;
    }
    const std::string body = http_json_port_settings(dhcp, options.iom_value);
    std::uint32_t status = 0;
    if (body.empty() || http_data_put(url, options.user, options.password, etag, body.c_str(), status) != 0 ||
        http_status_failed(status)) {
        CONSOLE_PRINT(kVerbosityNormal, "%s",
                      dhcp ? "ERROR: Could not set IOM to dynamic configuration.\n"
                           : "ERROR: Could not set IOM to static configuration.\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "The IOM has been configured successfully.\n");
    return 0;
}

int http_iom_status(http_options& options) {
    if (http_device_prologue(options, "ERROR: Not able to retrieve the device name.\n")) return 1;
    http_buffer_reset(g_http_body);
    char url[kUrlSize];
    std::snprintf(url, sizeof url, "http://%s/Storage/Devices/%s/Ports/?controllerid=1", options.address,
                  options.device_name);
    if (http_authenticated_get(options, url) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get IOM port data failed.\n");
        return 1;
    }
    http_json_port_show_data(g_http_body.text());
    http_buffer_reset(g_http_body);
    return 0;
}

}  // namespace enctl
