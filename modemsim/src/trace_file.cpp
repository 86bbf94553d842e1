#include "trace_file.h"

#include "sms/hex.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <optional>
#include <sstream>

namespace modemsim {

namespace {

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// "14:02:03.123 ": the wall clock says nothing to a replay, but it tells records from the rest.
bool startsWithWallClock(std::string_view line) {
    static constexpr std::string_view kShape = "00:00:00.000 ";
    if (line.size() < kShape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == '0' ? !isDigit(line[i]) : line[i] != kShape[i]) {
            return false;
        }
    }
    return true;
}

// \r \n \\ \xNN back to bytes; anything else after a backslash is not what a trace writes.
std::optional<std::string> unescape(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes.push_back(text[i]);
            continue;
        }
        if (i + 1 >= text.size()) {
            return std::nullopt;
        }
        char code = text[++i];
        if (code == 'r') {
            bytes.push_back('\r');
        } else if (code == 'n') {
            bytes.push_back('\n');
        } else if (code == '\\') {
            bytes.push_back('\\');
        } else if (const auto octet = code == 'x' ? sms::fromHex(text.substr(i + 1, 2))
                                                  : sms::Result<sms::Bytes>(sms::Error::BadHex);
                   octet && octet->size() == 1) {
            bytes.push_back(static_cast<char>(octet->front()));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

} // namespace

SessionsOrError parseTrace(std::string_view text) {
    std::vector<TraceSession> sessions;
    int lineNumber = 0;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (!startsWithWallClock(line)) {
            continue;
        }
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        line.remove_prefix(13);
        // "+1234 >> bytes": the milliseconds, the direction, one space, the text.
        long long milliseconds = 0;
        const char* digitsEnd = line.data() + line.size();
        if (!line.empty() && line[0] == '+') {
            digitsEnd = std::from_chars(line.data() + 1, digitsEnd, milliseconds).ptr;
        }
        const std::size_t digits = static_cast<std::size_t>(digitsEnd - line.data());
        if (digits < 2 || line.size() < digits + 4 || line[digits] != ' ' ||
            line[digits + 3] != ' ') {
            return where + "expected \"+<milliseconds> <direction> \" after the time";
        }
        const std::chrono::milliseconds offset(milliseconds);
        const std::string_view direction = line.substr(digits + 1, 2);
        const std::string_view rest = line.substr(digits + 4);
        if (direction == "==") {
            sessions.push_back({std::string(rest), {}});
            continue;
        }
        if (direction == "--") {
            continue;
        }
        if (direction != ">>" && direction != "<<") {
            return where + "unknown direction \"" + std::string(direction) + "\"";
        }
        auto bytes = unescape(rest);
        if (!bytes) {
            return where + "a backslash that is not \\r, \\n, \\\\ or \\xNN";
        }
        if (sessions.empty()) {
            sessions.emplace_back();
        }
        TraceDirection towards =
            direction == ">>" ? TraceDirection::TowardsModem : TraceDirection::FromModem;
        sessions.back().records.push_back({towards, offset, std::move(*bytes), lineNumber});
    }
    return sessions;
}

SessionsOrError loadTrace(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return "cannot read the trace " + path;
    }
    std::ostringstream text;
    text << file.rdbuf();
    SessionsOrError parsed = parseTrace(text.str());
    if (auto* error = std::get_if<std::string>(&parsed)) {
        return path + ": " + *error;
    }
    return parsed;
}

} // namespace modemsim
