// Argument tests as transcripts: each case is one line, the words, then the
// result, what was printed and the fields of the record the parse left; the
// whole transcript is compared with a golden file.
#pragma once

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "tests/support/console_capture.h"

namespace enctl::testing {

using word_list = std::vector<std::string>;

struct words {
    words(word_list list) : text(std::move(list)) {
        for (const auto& w : text) ptrs.push_back(w.c_str());
    }
    std::span<const char* const> span() const { return ptrs; }
    word_list text;
    std::vector<const char*> ptrs;
};

// The line's text with newlines escaped and every run of more than 8 equal
// characters written "[<count> x <character>]".
inline std::string transcript_text(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t run = 1;
        while (i + run < text.size() && text[i + run] == text[i]) ++run;
        if (run > 8) {
            out += "[" + std::to_string(run) + " x " + text[i] + "]";
        } else {
            for (std::size_t k = 0; k < run; ++k) out += text[i] == '\n' ? std::string("\\n") : std::string(1, text[i]);
        }
        i += run;
    }
    return out;
}

// A word as typed in a shell: quoted when it holds a blank.
inline std::string shown_word(const std::string& word) {
    return word.find(' ') == std::string::npos ? word : "\"" + word + "\"";
}

// "<words> => <result>[ "<printed>"]".
inline std::string transcript_line(const word_list& args, int result, const std::string& printed) {
    std::string line;
    for (const auto& w : args) line += shown_word(w) + " ";
    line += "=> " + std::to_string(result);
    if (!printed.empty()) line += " \"" + printed + "\"";
    return line;
}

// Runs each case on a record filled with junk first (the parser must clear
// it); after a parse that gave 0 the line ends with " {<fields>}".
template <typename Options, typename Fields>
std::string parse_transcript(int (*parse)(Options&, std::span<const char* const>), Fields fields,
                             const std::vector<word_list>& cases) {
    std::string out;
    for (const word_list& c : cases) {
        Options options;
        std::memset(static_cast<void*>(&options), 0x5a, sizeof options);
        const words args(c);
        int result = -1;
        const std::string printed = console_output([&] { result = parse(options, args.span()); });
        std::string line = transcript_line(c, result, printed);
        if (result == 0) line += " {" + fields(options) + "}";
        out += transcript_text(line) + "\n";
    }
    return out;
}

// The names of the set flags, each followed by a blank.
template <typename Options>
std::string set_flags(const Options& o, std::initializer_list<std::pair<const char*, std::uint32_t Options::*>> flags) {
    std::string out;
    for (const auto& [name, flag] : flags)
        if (o.*flag) out += std::string(name) + " ";
    return out;
}

}  // namespace enctl::testing
