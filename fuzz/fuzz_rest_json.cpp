// The documents and header lines of the enclosure's REST service: every JSON
// reader of the http operation (shown at debug verbosity), the failed-job
// reader, the ETag header and the console filter of their texts.
#include <string>

#include "fuzz/fuzz_common.h"
#include "rest/http_json.h"
#include "rest/http_transport.h"
#include "basekit/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace enctl;
    fuzz::quiet_console();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* json = text.c_str();
    http_options options{};
    http_json_query_device(json, options);
    http_json_query_show_data(json);
    http_json_device_list(json);
    for (const auto& row : http_device_resources) row.show(json);
    http_json_health_check_all(json);
    http_json_health_check_bad(json);
    std::int32_t percent = 0;
    http_json_fw_job_completion(json, percent);
    std::uint32_t in_progress = 0;
    http_json_logsstatus_get_progress(json, in_progress);
    (void)http_json_failed_state(json);
    char port_id[64] = {};
    http_json_port_id(json, port_id, sizeof port_id);
    http_json_port_show_data(json);
    (void)http_etag_of(text);
    (void)printable_text(text, true);
    return 0;
}
