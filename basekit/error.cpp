#include "basekit/error.h"

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "basekit/fixed_text.h"

namespace enctl {

int vdx_error_set(vdx_error* error, std::uint32_t code, std::uint32_t subcode, const char* file,
                  const char* function, std::uint32_t line, const char* format, ...) {
    if (!error) return 1;
    error->code = code;
    error->subcode = subcode;
    if (file) set_text(error->file, std::string_view(file));
    if (function) set_text(error->function, std::string_view(function));
    error->line = line;
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(error->message, sizeof error->message, format, args);
        va_end(args);
    }
    return 1;
}

int vdx_error_clear(vdx_error* error) {
    if (!error) return 0;
    error->code = 0;
    error->subcode = 0;
    return 0;
}

bool vdx_error_is_error(const vdx_error* error) { return error && error->code != 0; }

}  // namespace enctl
