#include "app/report/saved_text.h"

#include <fstream>
#include <iterator>

namespace enctl {

std::optional<saved_text> saved_text::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return std::nullopt;
    return saved_text(std::move(text));
}

saved_text::saved_text(std::string text) : text_(std::move(text)) {
    text_.resize(std::string_view(text_.c_str()).size());  // the text ends at its first NUL
    for (std::size_t at = 0; at < text_.size();) {
        starts_.push_back(at);
        const std::size_t lf = text_.find('\n', at);
        if (lf == std::string::npos) break;
        at = lf + 1;
    }
}

std::string_view saved_text::line(std::size_t index) const {
    if (index >= starts_.size()) return {};
    return saved_line(std::string_view(text_).substr(starts_[index]));
}

std::size_t saved_text::find_line(std::string_view key, std::size_t from) const {
    for (std::size_t i = from; i < starts_.size(); ++i)
        if (contains(line(i), key)) return i;
    return kNoLine;
}

std::string_view saved_line(std::string_view text) {
    text = text.substr(0, text.find_first_of("\r\n"));
    return text.substr(0, kSavedLineLength);
}

std::optional<std::string_view> text_after(std::string_view line, std::string_view key) {
    const std::size_t at = line.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    return line.substr(at + key.size());
}

std::string_view cut_before(std::string_view text, char delimiter) {
    return text.substr(0, text.find(delimiter));
}

std::string_view trimmed(std::string_view text) {
    const std::size_t lead = text.find_first_not_of(' ');
    if (lead == std::string_view::npos) return {};
    text.remove_prefix(lead);
    const std::size_t last = text.find_last_not_of(" \t\n\v\f\r");
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

}  // namespace enctl
