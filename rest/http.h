// The http operation: manages one fabric-attached enclosure through its
// HTTP/JSON management service. http_run is the run entry of the dispatch
// (the http operation of the operation table); it needs no device discovery.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "rest/http_options.h"

namespace enctl {

// The driver: set-up, defaults for user and password, the first routine whose
// flag is set (show, fw, getlog, health, iom show, iom set; none: the identity
// from the Query), tear-down. Returns 1 when the HTTP library cannot be
// initialised or the chosen routine failed (its messages say why), else 0.
int http_run(http_options& options);

// The Query resource: show mode prints the identity of the first device;
// lookup mode stores its slot and device name in the record. Returns the
// libcurl result of the transfer; 1 when it completed with an empty body.
int http_query(http_options& options, int show_mode);
// Query lookup and the "Device:"/"Slot #:" lines; prints failure_message and
// returns 1 when no usable device name was found.
int http_device_prologue(http_options& options, const char* failure_message);

int http_show_devices(http_options& options);
int http_health(http_options& options);

int http_fw(http_options& options);
int http_getlog(http_options& options);
int http_iom_config(http_options& options);
int http_iom_status(http_options& options);

// Polls a firmware job every 3 seconds until 100 percent, at most 300 seconds.
int http_wait_job(http_options& options, const char* job_name);
// The two polls; a document that says the job failed stores its state's name
// in `failed_state` (when given) and makes the poll fail.
int http_fw_status(http_options& options, std::int32_t& percent, const char* job_name,
                   std::string* failed_state = nullptr);
int http_getlog_in_progress(http_options& options, std::uint32_t& in_progress, std::string* failed_state = nullptr);
int http_iom_port_id(http_options& options, char* port_id, std::size_t size);

// GET of a document with the run's credentials into the body buffer. Returns
// the libcurl result; non-zero also when the service refused the request.
unsigned http_get_document(const http_options& options, const std::string& url);

// The text as one URL path segment: every byte but the unreserved characters
// (letters, digits, "-", ".", "_", "~") percent-encoded, so that "Shelf 01"
// becomes "Shelf%2001". Empty for "", "." and "..": a dot segment stays one
// whatever its encoding, and would change the path of the URL.
std::string http_url_segment(std::string_view text);

// "http://<address>/Storage/Devices/<device name as a segment><tail>".
std::string http_device_url(const http_options& options, std::string_view tail);

// The run's log folder, where "getlog" without "dir=" writes (the front end
// sets it from the program context before the run).
void http_set_run_log_dir(std::string_view dir);

}  // namespace enctl
