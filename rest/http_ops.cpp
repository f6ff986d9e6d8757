// Identifiers of the http operation that change the enclosure or fetch data
// from it: firmware update, log collection, and the IOM management port.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "basekit/clock.h"
#include "basekit/console.h"
#include "basekit/file_io.h"
#include "basekit/fixed_text.h"
#include "basekit/platform.h"
#include "basekit/text.h"
#include "rest/http.h"
#include "rest/http_args.h"
#include "rest/http_json.h"
#include "rest/http_transport.h"

namespace enctl {

namespace {

constexpr std::uint64_t kPollIntervalMs = 3000;
constexpr std::uint32_t kJobTimeoutSeconds = 300;
constexpr std::uint32_t kLogTimeoutSeconds = 180;

std::string g_run_log_dir;

void flush_console() { std::fflush(stdout); }

std::uint64_t now_seconds() { return now_ms() / 1000; }

// PUT of a job request. One that fails (a refused request such as 412 for a
// stale ETag, or no transfer) stops the firmware update with its own message
// instead of waiting for a job that the enclosure never started.
bool put_job(const http_options& options, const std::string& url, const char* etag, const char* json,
             const char* what) {
    std::uint32_t status = 0;
    if (http_data_put(url.c_str(), options.user, options.password, etag, json, status) == 0) return true;
    CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to start the firmware %s failed with http code %u\n", what,
                  status);
    return false;
}

// What getlog saves is created fresh (basekit/file_io.h): the run's log
// folder 0700 and failing when the path exists, the log file with O_EXCL and
// O_NOFOLLOW, so that nothing planted at those paths beforehand (a link,
// another user's file or folder) is followed or written through.
void remove_empty_dir(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_empty(path, ec)) std::filesystem::remove(path, ec);
}

bool path_taken(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Where getlog saves: the given folder, which must exist, or the run's log
// folder, which must not (it is made once there is a log to save). The file
// name holds the device name as a URL segment: no separator, no dot segment.
struct log_target {
    std::string folder;
    std::string file;
    bool make_folder = false;
};

bool choose_log_target(const http_options& options, log_target& target) {
    target.make_folder = options.getlog_dir[0] == '\0';
    target.folder = target.make_folder ? g_run_log_dir : std::string(options.getlog_dir);
    target.file = target.folder + kPathSeparator + http_url_segment(options.device_name) + "_slot" +
                  std::to_string(options.slot) + "_log.bin";
    CONSOLE_PRINT(kVerbosityDebug, "log name=%s\n", target.file.c_str());
    std::error_code ec;
    if (!target.make_folder && !std::filesystem::is_directory(target.folder, ec)) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The log folder %s does not exist\n", target.folder.c_str());
        return false;
    }
    // What is to be made must not be there yet.
    const bool folder = target.make_folder;
    const std::string& fresh = folder ? target.folder : target.file;
    if (fresh.empty() || path_taken(fresh)) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot create the log %s %s: %s\n", folder ? "folder" : "file",
                      fresh.c_str(), std::strerror(EEXIST));
        return false;
    }
    return true;
}

// Makes the folder (when it is the run's) and the file; on failure nothing
// made is left behind.
unique_file create_log_file(const log_target& target) {
    if (target.make_folder) {
        if (const int failed = make_fresh_dir(target.folder.c_str())) {
            CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot create the log folder %s: %s\n", target.folder.c_str(),
                          std::strerror(failed));
            return {};
        }
    }
    unique_file file = create_fresh_file(target.file.c_str());
    if (!file) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Cannot create the log file %s: %s\n", target.file.c_str(),
                      std::strerror(errno));
        if (target.make_folder) remove_empty_dir(target.folder);
    }
    return file;
}

// A failed download leaves neither a partial log nor an empty run folder.
void remove_log_file(const log_target& target) {
    std::remove(target.file.c_str());
    if (target.make_folder) remove_empty_dir(target.folder);
}

}  // namespace

void http_set_run_log_dir(std::string_view dir) { g_run_log_dir.assign(dir); }

namespace {

// A poll's document that says the job failed: its state into `failed_state`.
bool job_failed(std::string* failed_state) {
    std::string state = http_json_failed_state(g_http_body.text());
    if (state.empty()) return false;
    if (failed_state) *failed_state = printable_text(state);
    return true;
}

}  // namespace

int http_fw_status(http_options& options, std::int32_t& percent, const char* job_name, std::string* failed_state) {
    const std::string url = http_device_url(options, std::string("/Jobs/") + job_name + "/");
    if (const unsigned result = http_get_document(options, url)) return static_cast<int>(result);
    if (g_http_body.size == 0) {
        CONSOLE_PRINT(kVerbosityDebug, "ERROR: did not receive http data\n");
        return 1;
    }
    const bool failed = job_failed(failed_state);
    const int parsed = http_json_fw_job_completion(g_http_body.text(), percent);
    http_buffer_reset(g_http_body);
    return failed ? 1 : parsed;
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
        std::string failed_state;
        if (http_fw_status(options, percent, job_name, &failed_state) != 0) {
            if (!failed_state.empty())
                CONSOLE_PRINT(kVerbosityNormal, "\r|-- ERROR: The enclosure reports the job %s as %s          \n",
                              job_name, failed_state.c_str());
            else
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
    const std::string device_url = http_device_url(options, "/");
    char etag[kHttpEtagSize] = {};
    if (http_get_etag(device_url.c_str(), options.user, options.password, etag) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get the etag failed.\n");
        return 1;
    }

    http_transfer transfer;
    transfer.file = image.get();
    transfer.total = static_cast<std::uint32_t>(size);
    transfer.count = transfer.total;
    transfer.progress = 1;
    set_text(transfer.file_name, options.fw_file);
    const std::string upload_url = http_device_url(options, "/OperatingSystem/");
    CONSOLE_PRINT(kVerbosityNormal, "File upload started\n");
    std::uint32_t status = 0;
    if (http_file_post(upload_url.c_str(), options.user, options.password, transfer, status) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: File upload failed with http code %u\n", status);
        return 1;
    }
    image.reset();

    if (!put_job(options, device_url, etag, "{\"FirmwareUpdate\":true}", "update")) return 1;
    CONSOLE_PRINT(kVerbosityNormal, "Firmware update started\n");
    if (http_wait_job(options, "FirmwareUpdate") != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Firmware update not completed.\n");
        return 1;
    }
    if (!put_job(options, device_url, etag, "{\"FirmwareActivate\":true}", "activation")) return 1;
    CONSOLE_PRINT(kVerbosityNormal, "Firmware activation started\n");
    if (http_wait_job(options, "FirmwareActivate") != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Firmware update not completed.\n");
        return 1;
    }
    CONSOLE_PRINT(kVerbosityNormal, "New firmware has been loaded successfully.\n");
    return 0;
}

int http_getlog_in_progress(http_options& options, std::uint32_t& in_progress, std::string* failed_state) {
    if (const unsigned result = http_get_document(options, http_device_url(options, "/LogsStatus")))
        return static_cast<int>(result);
    if (g_http_body.size == 0) {
        CONSOLE_PRINT(kVerbosityDebug, "ERROR: did not receive http data\n");
        return 1;
    }
    // Before LogsStart the state may be a former collection's: only a poll
    // of the collection this run started asks for it.
    const bool failed = failed_state && job_failed(failed_state);
    const int parsed = http_json_logsstatus_get_progress(g_http_body.text(), in_progress);
    http_buffer_reset(g_http_body);
    return failed ? 1 : parsed;
}

int http_getlog(http_options& options) {
    if (http_device_prologue(options, "ERROR: Not able to retrieve the device name\n")) return 1;
    // The paths are checked before anything is asked of the enclosure; they
    // are made only once there is a log to save.
    log_target target;
    if (!choose_log_target(options, target)) return 1;

    std::uint32_t in_progress = 0;
    if (http_getlog_in_progress(options, in_progress) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: Not able to determine progress status\n");
        return 1;
    }
    if (in_progress) {
        CONSOLE_PRINT(kVerbosityNormal, "Log status indicates it is already in progress.\n");
        CONSOLE_PRINT(kVerbosityNormal, "Please wait and try again later.\n");
        return 1;
    }
    if (http_get_document(options, http_device_url(options, "/LogsStart")) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to start the logging process failed.\n");
        return 1;
    }
    http_buffer_reset(g_http_body);
    CONSOLE_PRINT(kVerbosityNormal, "Logging process started\n");
    const std::uint64_t start = now_seconds();
    std::uint32_t elapsed = 0;
    do {
        CONSOLE_PRINT(kVerbosityNormal, "\r|-- Waiting for log collection: %u seconds", elapsed);
        flush_console();
        sleep_ms(kPollIntervalMs);
        std::string failed_state;
        if (http_getlog_in_progress(options, in_progress, &failed_state) != 0) {
            if (!failed_state.empty())
                CONSOLE_PRINT(kVerbosityNormal, "\r|-- ERROR: The enclosure reports the log collection as %s\n",
                              failed_state.c_str());
            else
                CONSOLE_PRINT(kVerbosityNormal, "\r|-- ERROR: Not able to determine progress status             \n");
            flush_console();
            return 1;
        }
        elapsed = static_cast<std::uint32_t>(now_seconds() - start);
        if (elapsed >= kLogTimeoutSeconds) {
            CONSOLE_PRINT(kVerbosityNormal,
                          "\r|-- ERROR: Exit due to timeout of 180 seconds. Log collection not completed.\n");
            flush_console();
            return 1;
        }
    } while (in_progress);
    CONSOLE_PRINT(kVerbosityNormal, "\r|-- Log collection completed in %u seconds.\n", elapsed);
    flush_console();

    unique_file file = create_log_file(target);
    if (!file) return 1;
    CONSOLE_PRINT(kVerbosityNormal, "Log download started\n");
    const std::string url = http_device_url(options, "/LogsFetch");
    http_transfer transfer;
    transfer.file = file.get();
    transfer.count = 0;
    transfer.progress = 1;
    std::uint32_t status = 0;
    const unsigned result = http_file_get(url.c_str(), options.user, options.password, transfer, status);
    // Closing flushes the last bytes; a failure there is a failed download.
    const bool closed = std::fclose(file.release()) == 0;
    if (result == 0 && closed) {
        CONSOLE_PRINT(kVerbosityNormal, "File saved: %s\n", target.file.c_str());
        return 0;
    }
    remove_log_file(target);
    CONSOLE_PRINT(kVerbosityNormal, "ERROR: Log download failed with http code %u\n", status);
    return 1;
}

int http_iom_port_id(http_options& options, char* port_id, std::size_t size) {
    const std::string url = http_device_url(options, "/Ports/");
    if (const unsigned result = http_get_document(options, url)) {
        CONSOLE_PRINT(kVerbosityNormal, "Cannot access: %s\n", url.c_str());
        return static_cast<int>(result);
    }
    if (g_http_body.size == 0) {
        CONSOLE_PRINT(kVerbosityDebug, "ERROR: did not receive http data\n");
        return 1;
    }
    const int parsed = http_json_port_id(g_http_body.text(), port_id, size);
    http_buffer_reset(g_http_body);
    // Without a port id the URL would name the Ports collection itself.
    if (parsed == 0 && port_id[0] == '\0') {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The enclosure lists no port to configure\n");
        return 1;
    }
    if (parsed == 0 && port_id[0] != '\0' && http_url_segment(port_id).empty()) {
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
    const std::string url = http_device_url(options, "/Ports/" + http_url_segment(port_id));
    char etag[kHttpEtagSize] = {};
    if (http_get_etag(url.c_str(), options.user, options.password, etag) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get the etag failed.\n");
        return 1;
    }
    const std::string body = http_json_port_settings(dhcp, options.iom_value);
    std::uint32_t status = 0;
    if (body.empty() || http_data_put(url.c_str(), options.user, options.password, etag, body.c_str(), status) != 0) {
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
    if (http_get_document(options, http_device_url(options, "/Ports/?controllerid=1")) != 0) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The command to get IOM port data failed.\n");
        return 1;
    }
    http_json_port_show_data(g_http_body.text());
    http_buffer_reset(g_http_body);
    return 0;
}

}  // namespace enctl
