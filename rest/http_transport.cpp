#include "rest/http_transport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "basekit/console.h"
#include "basekit/fixed_text.h"
#include "basekit/text.h"

namespace enctl {

http_buffer g_http_body;
http_buffer g_http_header;

namespace {

bool debug_on() { return g_console_verbosity >= kVerbosityDebug; }

void flush_console() { std::fflush(stdout); }

// Options every request sets: time-out, no peer verification, URL and, when
// asked, the credentials (libcurl's default authentication, HTTP Basic).
void set_common_options(CURL* handle, const char* url, long timeout) {
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeout);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_URL, url);
}

void set_credentials(CURL* handle, const char* user, const char* password) {
    curl_easy_setopt(handle, CURLOPT_USERNAME, user ? user : "");
    curl_easy_setopt(handle, CURLOPT_PASSWORD, password ? password : "");
}

// The outcome of a performed request, one rule for every kind: the status
// code goes to the caller, and a completed transfer answered with an HTTP
// error status fails as CURLE_HTTP_RETURNED_ERROR.
CURLcode request_outcome(CURL* handle, CURLcode performed, std::uint32_t& status_code) {
    long code = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code);
    status_code = static_cast<std::uint32_t>(code);
    if (performed == CURLE_OK && http_status_failed(status_code)) return CURLE_HTTP_RETURNED_ERROR;
    return performed;
}

// Appends n bytes to a buffer that grows in `step` bytes, keeping the
// terminating 0 byte. Returns n, or 0 (a write error for libcurl) when the
// buffer cannot grow; the bytes collected so far stay valid.
std::size_t append_to_buffer(http_buffer& buffer, const char* bytes, std::uint32_t n, std::uint32_t step,
                             const char* alloc_failure) {
    CONSOLE_PRINT(kVerbosityDebug, "transfer data_sz=%u total_sz=%u\n", n, buffer.size + n);
    CONSOLE_PRINT(kVerbosityDebug, "start global buffer_sz=%u data_sz=%u\n", buffer.capacity, buffer.size);
    if (buffer.collect == 0) return n;
    const std::uint64_t needed = static_cast<std::uint64_t>(buffer.size) + n + 1;
    if (needed > kHttpDocumentLimit + 1) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: The response is larger than %u MiB and is refused\n",
                      kHttpDocumentLimit >> 20);
        return 0;
    }
    while (buffer.capacity < needed) {
        const std::uint64_t grown = static_cast<std::uint64_t>(buffer.capacity) + step;
        char* p = grown > UINT32_MAX ? nullptr : static_cast<char*>(std::realloc(buffer.data.get(), grown));
        if (!p) {
            if (alloc_failure) CONSOLE_PRINT(kVerbosityNormal, "%s", alloc_failure);
            return 0;
        }
        (void)buffer.data.release();
        buffer.data.reset(p);
        buffer.capacity = static_cast<std::uint32_t>(grown);
        CONSOLE_PRINT(kVerbosityDebug, "global buffer reallocated extra %u\n", step);
    }
    if (n) std::memcpy(buffer.data.get() + buffer.size, bytes, n);
    buffer.size += n;
    buffer.data.get()[buffer.size] = '\0';
    CONSOLE_PRINT(kVerbosityDebug, "end global buffer_sz=%u data_sz=%u\n", buffer.capacity, buffer.size);
    return n;
}

// Builds a header list from the given lines; null when out of memory.
curl_slist_ptr make_header_list(std::initializer_list<const char*> lines) {
    curl_slist_ptr list;
    for (const char* line : lines) {
        curl_slist* head = curl_slist_append(list.get(), line);
        if (!head) return {};
        (void)list.release();
        list.reset(head);
    }
    return list;
}

void print_if_filled(bool asked, const http_buffer& buffer) {
    if (asked && buffer.size > 0)
        CONSOLE_PRINT(kVerbosityDebug, "%s\n\n", printable_text({buffer.text(), buffer.size}, true).c_str());
}

}  // namespace

std::size_t http_data_callback(char* data, std::size_t size, std::size_t count, void* buffer) {
    CONSOLE_PRINT(kVerbosityDebug, "http_data_callback\n");
    const auto n = static_cast<std::uint32_t>(size * count);
    return append_to_buffer(*static_cast<http_buffer*>(buffer), data, n, kHttpBodyStep, nullptr);
}

std::size_t http_header_callback(char* data, std::size_t size, std::size_t count, void* buffer) {
    CONSOLE_PRINT(kVerbosityDebug, "http_header_callback\n");
    const auto n = static_cast<std::uint32_t>(size * count);
    return append_to_buffer(*static_cast<http_buffer*>(buffer), data, n, kHttpHeaderStep,
                            "ERROR: http_header_callback memory alloc failed");
}

std::size_t http_write_callback(char* data, std::size_t size, std::size_t count, void* user) {
    CONSOLE_PRINT(kVerbosityDebug, "http_write_callback\n");
    auto& transfer = *static_cast<http_transfer*>(user);
    const auto n = static_cast<std::uint32_t>(size * count);
    transfer.count += n;
    CONSOLE_PRINT(kVerbosityDebug, "download data_sz=%u bytes total=%u\n", n, transfer.count);
    // A short write (disk full) fails the transfer rather than losing data.
    if (n && std::fwrite(data, 1, n, transfer.file) != n) return 0;
    if (transfer.progress) {
        CONSOLE_PRINT(kVerbosityNormal, "\r|-- Downloading in progress: %u KB", transfer.count / 1024);
        flush_console();
    }
    return n;
}

std::size_t http_read_callback(char* data, std::size_t size, std::size_t count, void* user) {
    CONSOLE_PRINT(kVerbosityDebug, "http_read_callback\n");
    auto& transfer = *static_cast<http_transfer*>(user);
    const auto n = static_cast<std::uint32_t>(size * count);
    CONSOLE_PRINT(kVerbosityDebug, "upload data_sz=%u total bytes left=%u\n", n, transfer.count);
    if (transfer.count == 0) return 0;
    const std::uint32_t chunk = std::min(n, transfer.count);
    // A file that shrank since its size was taken aborts the upload instead of
    // sending bytes that are not in it.
    if (std::fread(data, 1, chunk, transfer.file) != chunk) return CURL_READFUNC_ABORT;
    transfer.count -= chunk;
    if (transfer.progress) {
        CONSOLE_PRINT(kVerbosityNormal, "\r|-- Uploading in progress: %u KB left          ", transfer.count / 1024);
        flush_console();
    }
    return chunk;
}

void http_buffer_reset(http_buffer& buffer) {
    CONSOLE_PRINT(kVerbosityDebug, "http_buffer_reset\n");
    if (buffer.data && buffer.capacity) std::memset(buffer.data.get(), 0, buffer.capacity);
    buffer.collect = 0;
    buffer.size = 0;
}

unsigned http_data_get(const char* url, const char* user, const char* password, std::uint32_t collect_body,
                       std::uint32_t collect_headers, std::uint32_t& status_code) {
    CONSOLE_PRINT(kVerbosityDebug, "http_data_get cmd=%s\n", url);
    curl_easy_ptr handle(curl_easy_init());
    if (!handle) return CURLE_FAILED_INIT;
    set_common_options(handle.get(), url, kHttpDataTimeout);
    if (user && *user && password && *password) {
        // The password is never shown, not even in debug output.
        CONSOLE_PRINT(kVerbosityDebug, "user=%s pass=%s\n", printable_text(user).c_str(), kHttpMaskedPassword);
        set_credentials(handle.get(), user, password);
    }
    if (collect_body) g_http_body.collect = 1;
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, http_data_callback);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &g_http_body);
    if (collect_headers) {
        g_http_header.collect = 1;
        curl_easy_setopt(handle.get(), CURLOPT_HEADERFUNCTION, http_header_callback);
        curl_easy_setopt(handle.get(), CURLOPT_HEADERDATA, &g_http_header);
    }
    const CURLcode performed = curl_easy_perform(handle.get());
    const CURLcode result = request_outcome(handle.get(), performed, status_code);
    CONSOLE_PRINT(kVerbosityDebug, "curl_ret=%u, http_code=%u\n", static_cast<unsigned>(result), status_code);
    // An error document is shown too: it says why the request was refused.
    if (performed == CURLE_OK && debug_on()) {
        print_if_filled(collect_body != 0, g_http_body);
        print_if_filled(collect_headers != 0, g_http_header);
    }
    return static_cast<unsigned>(result);
}

unsigned http_data_put(const char* url, const char* user, const char* password, const char* etag, const char* json,
                       std::uint32_t& status_code) {
    CONSOLE_PRINT(kVerbosityDebug, "http_data_put cmd=%s\n", url);
    char if_match[1024];
    std::snprintf(if_match, sizeof if_match, "If-Match: %s", etag ? etag : "");
    curl_slist_ptr headers = make_header_list({"Content-Type: application/json", if_match});
    if (!headers) return CURLE_OUT_OF_MEMORY;
    curl_easy_ptr handle(curl_easy_init());
    if (!handle) return CURLE_FAILED_INIT;
    http_buffer response;  // the request's own: collected, then freed
    response.collect = 1;
    curl_easy_setopt(handle.get(), CURLOPT_HTTPHEADER, headers.get());
    set_common_options(handle.get(), url, kHttpDataTimeout);
    set_credentials(handle.get(), user, password);
    curl_easy_setopt(handle.get(), CURLOPT_CUSTOMREQUEST, "PUT");
    curl_easy_setopt(handle.get(), CURLOPT_POSTFIELDS, json ? json : "");
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, http_data_callback);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &response);
    const CURLcode performed = curl_easy_perform(handle.get());
    const CURLcode result = request_outcome(handle.get(), performed, status_code);
    CONSOLE_PRINT(kVerbosityDebug, "curl_ret=%u, http_code=%u\n", static_cast<unsigned>(result), status_code);
    if (performed == CURLE_OK && debug_on()) print_if_filled(true, response);
    return static_cast<unsigned>(result);
}

namespace {

enum class file_direction { download, upload };

// Performs a file download or upload and prints its outcome: "Cannot access"
// when the transfer failed, else the completion line (bytes received, or the
// file's size sent) when progress is on. A refused request has its transfer
// completed: its caller says that it failed, with the status code.
unsigned perform_file_transfer(CURL* handle, const char* url, const http_transfer& transfer,
                               file_direction direction, std::uint32_t& status_code) {
    const CURLcode performed = curl_easy_perform(handle);
    const CURLcode result = request_outcome(handle, performed, status_code);
    CONSOLE_PRINT(kVerbosityDebug, "curl_easy_perform: %u, status_code=%u\n", static_cast<unsigned>(result),
                  status_code);
    if (performed != CURLE_OK) {
        CONSOLE_PRINT(kVerbosityNormal, "Cannot access: %s\n", url);
    } else if (transfer.progress) {
        const bool upload = direction == file_direction::upload;
        CONSOLE_PRINT(kVerbosityNormal, "\r|-- %s completed: %u KB                             \n",
                      upload ? "Upload" : "Download", (upload ? transfer.total : transfer.count) / 1024);
        flush_console();
    }
    return static_cast<unsigned>(result);
}

}  // namespace

unsigned http_file_get(const char* url, const char* user, const char* password, http_transfer& transfer,
                       std::uint32_t& status_code) {
    CONSOLE_PRINT(kVerbosityDebug, "http_file_get cmd=%s\n", url);
    curl_easy_ptr handle(curl_easy_init());
    if (!handle) return CURLE_FAILED_INIT;
    set_common_options(handle.get(), url, kHttpFileTimeout);
    set_credentials(handle.get(), user, password);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, http_write_callback);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &transfer);
    return perform_file_transfer(handle.get(), url, transfer, file_direction::download, status_code);
}

unsigned http_file_post(const char* url, const char* user, const char* password, http_transfer& transfer,
                        std::uint32_t& status_code) {
    CONSOLE_PRINT(kVerbosityDebug, "http_file_post cmd=%s\n", url);
    // Declared before the handle so that the handle is cleaned up first.
    curl_mime_ptr form;
    curl_easy_ptr handle(curl_easy_init());
    if (!handle) return CURLE_FAILED_INIT;
    // An empty Expect header: no 100-continue expectation, no waiting for it.
    curl_slist_ptr headers = make_header_list({"Expect:"});
    if (!headers) return CURLE_OUT_OF_MEMORY;
    form.reset(curl_mime_init(handle.get()));
    if (!form) return CURLE_OUT_OF_MEMORY;
    curl_mimepart* part = curl_mime_addpart(form.get());
    if (!part) return CURLE_OUT_OF_MEMORY;
    curl_mime_name(part, "FirmwareFile");
    curl_mime_filename(part, transfer.file_name);
    http_buffer response;  // the response body is read and dropped (collect 0)
    set_common_options(handle.get(), url, kHttpFileTimeout);
    set_credentials(handle.get(), user, password);
    curl_easy_setopt(handle.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, http_data_callback);
    curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &response);
    // The form owns the header list from here on and frees it with itself.
    if (curl_mime_headers(part, headers.get(), 1) == CURLE_OK) (void)headers.release();
    curl_easy_setopt(handle.get(), CURLOPT_MIMEPOST, form.get());
    curl_mime_data_cb(part, static_cast<curl_off_t>(transfer.total), http_read_callback, nullptr, nullptr,
                      &transfer);
    const unsigned result =
        perform_file_transfer(handle.get(), url, transfer, file_direction::upload, status_code);
    http_buffer_reset(g_http_body);
    return result;
}

std::string http_etag_of(std::string_view headers) {
    // The final response's header block starts at the last status line; the
    // blocks of interim responses (100 Continue, 103 Early Hints) before it
    // do not count.
    std::string_view block = headers;
    for (std::size_t at = 0; at < headers.size();) {
        if (headers.compare(at, 5, "HTTP/") == 0) block = headers.substr(at);
        const std::size_t end = headers.find('\n', at);
        at = end == std::string_view::npos ? headers.size() : end + 1;
    }
    constexpr std::string_view kName = "etag:";
    for (std::size_t at = 0; at < block.size();) {
        const std::size_t end = std::min(block.find('\n', at), block.size());
        std::string_view line = block.substr(at, end - at);
        at = end + 1;
        if (line.size() < kName.size()) continue;
        bool named = true;
        for (std::size_t i = 0; i < kName.size(); ++i)
            named = named && std::tolower(static_cast<unsigned char>(line[i])) == kName[i];
        if (!named) continue;
        line.remove_prefix(kName.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        return std::string(line.substr(0, 1024));
    }
    return {};
}

int http_get_etag(const char* url, const char* user, const char* password, char* etag) {
    CONSOLE_PRINT(kVerbosityDebug, "http_get_etag cmd=%s\n", url);
    std::uint32_t status = 0;
    http_buffer_reset(g_http_header);
    if (http_data_get(url, user, password, 0, 1, status) != 0) return 1;
    const std::string value = http_etag_of({g_http_header.text(), g_http_header.size});
    CONSOLE_PRINT(kVerbosityDebug, "etag=%s\n", printable_text(value).c_str());
    if (value.size() != 32) return 1;
    set_text(etag, kHttpEtagSize, value);
    http_buffer_reset(g_http_body);
    http_buffer_reset(g_http_header);
    return 0;
}

namespace {

bool allocate_buffer(http_buffer& buffer, std::uint32_t capacity) {
    buffer.data.reset(static_cast<char*>(std::calloc(capacity, 1)));
    buffer.capacity = buffer.data ? capacity : 0;
    buffer.collect = 0;
    buffer.size = 0;
    return buffer.data != nullptr;
}

void release_buffer(http_buffer& buffer) {
    buffer.data.reset();
    buffer.capacity = 0;
    buffer.collect = 0;
    buffer.size = 0;
}

}  // namespace

int http_setup() {
    CONSOLE_PRINT(kVerbosityDebug, "***http() curl version=%s\n", curl_version());
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        CONSOLE_PRINT(kVerbosityNormal, "ERROR: HTTP library initialization failed\n");
        return 1;
    }
    if (!allocate_buffer(g_http_body, kHttpBodyStep) || !allocate_buffer(g_http_header, kHttpHeaderStep)) {
        CONSOLE_PRINT(kVerbosityOom, "ERROR: Not enough memory for the HTTP buffers\n");
        release_buffer(g_http_body);
        release_buffer(g_http_header);
        curl_global_cleanup();
        return 1;
    }
    return 0;
}

void http_teardown() {
    release_buffer(g_http_body);
    release_buffer(g_http_header);
    curl_global_cleanup();
    CONSOLE_PRINT(kVerbosityNormal, "\n");
}

}  // namespace enctl
