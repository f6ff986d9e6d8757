// Argument tests as transcripts kept in golden files. Each case is one line:
// the words (quoted when they hold a blank, runs of a character written
// "[<count> x <c>]"), " => ", the result, what was printed and the fields of
// the record the parse left. The test reads the words from the file and
// writes the rest, so a new case is a new line "<words> =>" and one run with
// ENCTL_UPDATE_GOLDEN=1.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/console_capture.h"
#include "tests/support/golden.h"

namespace enctl::testing {

using word_list = std::vector<std::string>;

// The words as the front end hands them over.
struct words {
    words(word_list list) : text(std::move(list)) {
        for (const auto& w : text) ptrs.push_back(w.c_str());
    }
    std::span<const char* const> span() const { return ptrs; }
    word_list text;
    std::vector<const char*> ptrs;
};

// Line ends escaped ("\n", "\r"), runs of more than 8 equal characters shortened.
inline std::string transcript_text(std::string_view text) {
    std::string out;
    for (std::size_t i = 0, run = 1; i < text.size(); i += run, run = 1) {
        while (i + run < text.size() && text[i + run] == text[i]) ++run;
        if (run > 8) {
            out += "[" + std::to_string(run) + " x " + text[i] + "]";
        } else {
            const char c = text[i];
            for (std::size_t k = 0; k < run; ++k) out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
        }
    }
    return out;
}

// The words joined by blanks, each quoted when it is empty or holds a blank.
inline std::string shown_words(const word_list& args) {
    std::string out;
    for (const auto& w : args)
        out += (out.empty() ? "" : " ") + (w.empty() || w.find(' ') != std::string::npos ? "\"" + w + "\"" : w);
    return out;
}

// The words of a case, read back from its transcript text.
inline word_list transcript_words(const std::string& text) {
    static const std::regex kWord(R"re("([^"]*)"|((?:\[\d+ x .\]|\S)+))re"), kRun(R"(\[(\d+) x (.)\]|\\([nr]))");
    word_list out;
    for (std::sregex_iterator w(text.begin(), text.end(), kWord), end; w != end; ++w) {
        const std::string typed = (*w)[(*w)[1].matched ? 1 : 2];
        std::string word;
        std::size_t done = 0;
        for (std::sregex_iterator r(typed.begin(), typed.end(), kRun); r != end; ++r) {
            word += typed.substr(done, r->position() - done);
            word += (*r)[3].matched ? std::string(1, (*r)[3] == "n" ? '\n' : '\r')
                                    : std::string(std::stoul((*r)[1]), (*r)[2].str()[0]);
            done = r->position() + r->length();
        }
        out.push_back(word + typed.substr(done));
    }
    return out;
}

// The cases of a golden transcript: the lines that start with `prefix`, each
// read up to its "=>".
inline std::vector<word_list> transcript_cases(std::string_view path, std::string_view prefix = "") {
    std::vector<word_list> cases;
    std::istringstream in(golden(path));
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.starts_with(prefix))
            cases.push_back(transcript_words(line.substr(prefix.size(), line.find("=>") - prefix.size())));
    EXPECT_FALSE(cases.empty()) << path;
    return cases;
}

// "<words> => <result>[ "<printed>"]".
inline std::string transcript_line(const word_list& args, int result, const std::string& printed) {
    return shown_words(args) + (args.empty() ? "=> " : " => ") + std::to_string(result) + (printed.empty() ? "" : " \"" + printed + "\"");
}

// Runs each case of the file on a record filled with junk first (the parser
// must clear it); after a parse that gave 0 the line ends with " {<fields>}".
template <typename Options>
void expect_parse_transcript(int (*parse)(Options&, std::span<const char* const>),
                             std::string (*fields)(const Options&), std::string_view path) {
    std::string out;
    for (const word_list& c : transcript_cases(path)) {
        Options options;
        std::memset(static_cast<void*>(&options), 0x5a, sizeof options);
        int result = -1;
        const std::string printed = console_output([&] { result = parse(options, words(c).span()); });
        out += transcript_text(transcript_line(c, result, printed) + (result ? "" : " {" + fields(options) + "}")) + "\n";
    }
    expect_golden(out, path);
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
