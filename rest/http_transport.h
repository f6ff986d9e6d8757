// HTTP transfer layer of the REST client: four blocking request kinds on
// libcurl's easy and MIME interfaces, the two shared response buffers of a run,
// the response header capture with the ETag extraction, and the progress lines
// of file transfers. Nothing here interprets JSON. One rule holds for every
// request kind: a request succeeds when its transfer completed and the service
// did not answer with an HTTP error status (400 and above); a refused request
// returns CURLE_HTTP_RETURNED_ERROR, its status code still goes to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include <curl/curl.h>

#include "basekit/file_io.h"

namespace enctl {

struct free_deleter {
    void operator()(void* p) const noexcept { std::free(p); }
};

// A growing in-memory buffer filled by a response callback. Invariant (once
// allocated): size < capacity and data[size] == 0, so the collected bytes can
// be read as one NUL-terminated text.
struct http_buffer {
    std::uint32_t collect = 0;  // 0: data is accepted and dropped; else appended
    std::unique_ptr<char, free_deleter> data;
    std::uint32_t capacity = 0;
    std::uint32_t size = 0;

    // The collected bytes as text ("" when nothing was ever allocated).
    const char* text() const noexcept { return data ? data.get() : ""; }
};

// One file transfer: an upload reads `file` ("rb"), a download writes it ("wb").
struct http_transfer {
    std::FILE* file = nullptr;  // opened and closed by the caller
    std::uint32_t total = 0;    // upload: the file's size
    std::uint32_t count = 0;    // upload: bytes still to send; download: bytes received
    std::uint32_t progress = 0; // non-zero: print the progress lines
    char file_name[1024] = {};  // upload: the path given; the form part's file name
};

// Growth steps (and initial capacities) of the two shared buffers.
inline constexpr std::uint32_t kHttpBodyStep = 65536;
inline constexpr std::uint32_t kHttpHeaderStep = 4096;
// The largest response held in memory (a JSON document or header lines):
// a larger one ends its transfer with a write error. Log files are streamed
// to disk instead.
inline constexpr std::uint32_t kHttpDocumentLimit = 16u << 20;
// Transfer time-outs in seconds.
inline constexpr long kHttpDataTimeout = 120;
inline constexpr long kHttpFileTimeout = 600;
// What debug output shows in place of the password.
inline constexpr const char* kHttpMaskedPassword = "********";
// Room of an ETag text.
inline constexpr std::size_t kHttpEtagSize = 64;

// The two buffers shared by all requests of one run.
extern http_buffer g_http_body;
extern http_buffer g_http_header;

// RAII owners of libcurl handles.
struct curl_easy_deleter {
    void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }
};
struct curl_slist_deleter {
    void operator()(curl_slist* l) const noexcept { curl_slist_free_all(l); }
};
struct curl_mime_deleter {
    void operator()(curl_mime* m) const noexcept { curl_mime_free(m); }
};
using curl_easy_ptr = std::unique_ptr<CURL, curl_easy_deleter>;
using curl_slist_ptr = std::unique_ptr<curl_slist, curl_slist_deleter>;
using curl_mime_ptr = std::unique_ptr<curl_mime, curl_mime_deleter>;

// GET with the body (and optionally the header lines) collected into the shared
// buffers (an error document too). Credentials are sent only when user and
// password are both non-empty. Returns the libcurl result (0 = success).
unsigned http_data_get(const char* url, const char* user, const char* password, std::uint32_t collect_body,
                       std::uint32_t collect_headers, std::uint32_t& status_code);
// PUT of a JSON document guarded by If-Match.
unsigned http_data_put(const char* url, const char* user, const char* password, const char* etag, const char* json,
                       std::uint32_t& status_code);
// GET whose body is written to the transfer's file.
unsigned http_file_get(const char* url, const char* user, const char* password, http_transfer& transfer,
                       std::uint32_t& status_code);
// Multipart POST of the transfer's file as the part "FirmwareFile".
unsigned http_file_post(const char* url, const char* user, const char* password, http_transfer& transfer,
                        std::uint32_t& status_code);
// Reads the ETag response header of a GET; 0 when a 32-character tag was
// read into `etag` (room for kHttpEtagSize bytes), 1 otherwise.
int http_get_etag(const char* url, const char* user, const char* password, char* etag);
// The value of the header line named ETag (any case) of the final response
// in the collected header lines, blanks around it removed and cut to 1024
// characters; empty when there is none. Quotes stay.
std::string http_etag_of(std::string_view headers);
// True when the service answered a request with an error status (4xx, 5xx).
inline bool http_status_failed(std::uint32_t status_code) { return status_code >= 400; }
// Zero-fills the buffer's bytes, clears collect and size; the allocation stays.
void http_buffer_reset(http_buffer& buffer);

// libcurl callbacks (exposed for tests).
std::size_t http_data_callback(char* data, std::size_t size, std::size_t count, void* buffer);
std::size_t http_header_callback(char* data, std::size_t size, std::size_t count, void* buffer);
std::size_t http_write_callback(char* data, std::size_t size, std::size_t count, void* transfer);
std::size_t http_read_callback(char* data, std::size_t size, std::size_t count, void* transfer);

// Set-up of a run: library initialisation and the two shared buffers. Returns
// 0, or 1 after printing why (nothing else is done then).
int http_setup();
// Tear-down: frees the buffers, ends the library, prints "\n".
void http_teardown();

}  // namespace enctl
