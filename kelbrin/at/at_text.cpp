#include "at_text.h"

#include <cctype>
#include <charconv>

namespace kelbrin {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<int> parseInt(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

bool isHexText(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> responseFields(std::string_view line) {
    const std::size_t colon = line.find(':');
    std::string_view rest = colon == std::string_view::npos ? line : line.substr(colon + 1);
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (char c : rest) {
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back(trim(field));
            field.clear();
        } else {
            field.push_back(c);
        }
    }
    fields.emplace_back(trim(field));
    return fields;
}

std::optional<std::pair<std::string, std::string>> splitInlinePdu(const std::string& line) {
    // Shorter tails are fields ("+CDS: 24"), not PDUs: the shortest real PDU is 16+ hex digits.
    constexpr std::size_t kShortestPdu = 16;
    const std::size_t space = line.find_last_of(' ');
    if (space == std::string::npos || space == 0) {
        return std::nullopt;
    }
    std::string tail = line.substr(space + 1);
    std::string head(trim(std::string_view(line).substr(0, space)));
    if (tail.size() < kShortestPdu || !isHexText(tail) || head.empty() ||
        !std::isdigit(static_cast<unsigned char>(head.back()))) {
        return std::nullopt;
    }
    return std::make_pair(std::move(head), std::move(tail));
}

bool lastFieldIsZero(const std::string& line) {
    const auto fields = responseFields(line);
    return !fields.empty() && parseInt(fields.back()) == 0;
}

} // namespace kelbrin
