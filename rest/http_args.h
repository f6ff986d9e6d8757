// Command line of the http operation:
//   http=<address> [[user=<id>] [pass=<password>] <identifier>]
// The address is a dotted IPv4 address or a host name with an optional
// ":port"; it becomes the host part of every URL, so nothing that could change
// a URL's meaning is accepted.
#pragma once

#include <span>
#include <string_view>

#include "rest/http_options.h"

namespace enctl {

// `args` starts with the word "http=<address>". Clears the record and fills it
// from the words; user and password stay empty when not given (the operation
// applies its defaults). 0 when complete; 1 after printing why not (the caller
// prints the usage).
int http_parse_args(http_options& options, std::span<const char* const> args);
void http_usage();

// A dotted IPv4 address (four decimal octets 0..255 without leading zeros) or
// a host name (letters, digits and '-' in dot-separated labels of 1 to 63
// characters, the last one starting with a letter), with an optional ":port"
// of 1 to 65535.
bool http_address_is_valid(std::string_view address);
// Four decimal octets 0..255 without leading zeros, nothing else.
bool http_ipv4_is_valid(std::string_view text);

}  // namespace enctl
