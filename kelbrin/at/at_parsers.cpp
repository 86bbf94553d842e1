#include "at_parsers.h"

#include "at_text.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace kelbrin {
namespace {

constexpr int kLargestTestValue = 255;

std::optional<int> lastIntField(const std::string& line) {
    const auto fields = responseFields(line);
    return fields.empty() ? std::nullopt : parseInt(fields.back());
}

} // namespace

std::optional<int> parseCmgsResponse(const std::string& line) {
    if (!startsWith(line, "+CMGS:")) {
        return std::nullopt;
    }
    const auto reference = parseInt(responseFields(line).front());
    if (!reference || *reference < 0 || *reference > 255) {
        return std::nullopt;
    }
    return reference;
}

std::optional<StoredIndication> parseCmtiUrc(const std::string& line) {
    if (!startsWith(line, "+CMTI:") && !startsWith(line, "+CDSI:")) {
        return std::nullopt;
    }
    // Fields after the index are ignored: "+CMTI: "SM",1,"MMS PUSH",2,1" announces an MMS
    // notification (serialport-gsm issue 60).
    const auto fields = responseFields(line);
    if (fields.size() < 2) {
        return std::nullopt;
    }
    const auto index = parseInt(fields[1]);
    if (!index || *index < 0) {
        return std::nullopt;
    }
    return StoredIndication{fields[0], *index};
}

std::optional<CmglEntry> parseCmglHeader(const std::string& line) {
    if (!startsWith(line, "+CMGL:")) {
        return std::nullopt;
    }
    const auto fields = responseFields(line);
    if (fields.size() < 3) {
        return std::nullopt;
    }
    const auto index = parseInt(fields[0]);
    const auto length = parseInt(fields.back());
    if (!index || !length || *index < 0 || *length < 0) {
        return std::nullopt;
    }
    return CmglEntry{*index, parseInt(fields[1]), *length};
}

std::optional<int> parseCmgrLength(const std::string& line) {
    if (!startsWith(line, "+CMGR:")) {
        return std::nullopt;
    }
    return lastIntField(line);
}

std::optional<int> parsePduUrcLength(const std::string& line) {
    if (!startsWith(line, "+CMT:") && !startsWith(line, "+CDS:")) {
        return std::nullopt;
    }
    return lastIntField(line);
}

std::optional<std::string> parseCpinResponse(const std::string& line) {
    if (!startsWith(line, "+CPIN:")) {
        return std::nullopt;
    }
    return std::string(trim(std::string_view(line).substr(6)));
}

std::optional<std::string> parseCscaResponse(const std::string& line) {
    if (!startsWith(line, "+CSCA:")) {
        return std::nullopt;
    }
    return responseFields(line).front();
}

std::optional<int> parseRegistrationResponse(const std::string& line) {
    if (!startsWith(line, "+CREG:") && !startsWith(line, "+CGREG:") &&
        !startsWith(line, "+CEREG:")) {
        return std::nullopt;
    }
    const auto fields = responseFields(line);
    // The query form is "<n>,<stat>[,<lac>,<ci>]"; an unsolicited one is "<stat>[,...]".
    return fields.size() >= 2 ? parseInt(fields[1]) : parseInt(fields[0]);
}

std::optional<int> parseCpmsUsed(const std::string& line) {
    if (!startsWith(line, "+CPMS:")) {
        return std::nullopt;
    }
    const auto fields = responseFields(line);
    // The set form answers "<used1>,<total1>,..."; the read form puts "<mem1>" first.
    return parseInt(fields.front()) ? parseInt(fields.front())
                                    : (fields.size() >= 2 ? parseInt(fields[1]) : std::nullopt);
}

std::vector<std::vector<std::string>> parseCpmsTestResponse(const std::string& line) {
    std::vector<std::vector<std::string>> places;
    if (!startsWith(line, "+CPMS:")) {
        return places;
    }
    std::vector<std::string> group;
    std::string name;
    int depth = 0;
    bool sawParenthesis = false;
    const auto endName = [&] {
        if (!name.empty()) {
            group.push_back(name);
            name.clear();
        }
    };
    for (const char c : std::string_view(line).substr(6)) {
        if (c == '(') {
            ++depth;
            sawParenthesis = true;
            group.clear();
        } else if (c == ')') {
            endName();
            if (!group.empty()) {
                places.push_back(group);
                group.clear();
            }
            depth = std::max(depth - 1, 0);
        } else if (c == ',') {
            endName();
            if (!sawParenthesis && !group.empty()) {
                places.push_back(group);
                group.clear();
            }
        } else if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            name.push_back(c);
        }
    }
    endName();
    if (!group.empty()) {
        places.push_back(group);
    }
    return places;
}

std::vector<int> parseCpmsCounts(const std::string& line) {
    std::vector<int> counts;
    if (!startsWith(line, "+CPMS:")) {
        return counts;
    }
    for (const std::string& field : responseFields(line)) {
        if (const auto count = parseInt(field)) {
            counts.push_back(*count);
        }
    }
    return counts;
}

std::optional<int> parseCsqRssi(const std::string& line) {
    if (!startsWith(line, "+CSQ:")) {
        return std::nullopt;
    }
    const auto rssi = parseInt(responseFields(line).front());
    return rssi && ((*rssi >= 0 && *rssi <= 31) || *rssi == 99) ? rssi : std::nullopt;
}

std::optional<std::string> parseCopsOperator(const std::string& line) {
    const auto fields = responseFields(line);
    if (!startsWith(line, "+COPS:") || fields.size() < 3 || fields[2].empty()) {
        return std::nullopt;
    }
    return fields[2];
}

std::optional<std::string> parseCnumNumber(const std::string& line) {
    const auto fields = responseFields(line);
    if (!startsWith(line, "+CNUM:") || fields.size() < 2 || fields[1].empty()) {
        return std::nullopt;
    }
    return fields[1];
}

std::vector<std::vector<int>> parseTestRanges(const std::string& line) {
    std::vector<std::vector<int>> parameters;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) {
        return parameters;
    }
    const std::string_view body = trim(std::string_view(line).substr(colon + 1));
    const bool grouped = body.find('(') != std::string_view::npos;
    std::vector<int> values;
    std::string item;
    int depth = 0;
    const auto endItem = [&] {
        const std::size_t dash = item.find('-');
        const auto first = parseInt(item.substr(0, dash));
        const auto last = dash == std::string::npos ? first : parseInt(item.substr(dash + 1));
        // Parameters of test commands are small codes; a wider range is not one of them.
        if (first && last && *first >= 0 && *last <= kLargestTestValue) {
            for (int value = *first; value <= *last; ++value) {
                values.push_back(value);
            }
        }
        item.clear();
    };
    const auto endParameter = [&] {
        endItem();
        parameters.push_back(std::move(values));
        values.clear();
    };
    for (const char c : body) {
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            depth = std::max(depth - 1, 0);
            endParameter();
        } else if (c == ',' && (depth > 0 || !grouped)) {
            depth > 0 ? endItem() : endParameter();
        } else if (c != ',' && c != ' ') {
            item.push_back(c);
        }
    }
    if (!grouped && !body.empty()) {
        endParameter();
    }
    return parameters;
}

bool isKnownUnsolicited(const std::string& line) {
    // 27.005 §3.4.1 indications, 27.007 network codes, boot codes (Quectel; SIMCom SIM800 and
    // A76xx: "*ATREADY: 1", "SMS DONE", "PB DONE", LilyGO-Modem-Series issue 247), Huawei's
    // "^RSSI"-style codes and ZTE's "+ZPASR" (python-gsmmodem fakemodems.py).
    static constexpr std::array<std::string_view, 24> kPrefixes{
        "+CMTI:",    "+CDSI:",   "+CMT:",   "+CDS:",      "+CBM:",  "+CREG:",
        "+CGREG:",   "+CEREG:",  "RING",    "+CRING:",    "+CUSD:", "+CIEV:",
        "+QIND:",    "+QUSIM:",  "+CPIN:",  "+CFUN:",     "RDY",    "*ATREADY:",
        "SMS Ready", "SMS DONE", "PB DONE", "Call Ready", "^",      "+Z"};
    return std::any_of(kPrefixes.begin(), kPrefixes.end(),
                       [&](std::string_view prefix) { return startsWith(line, prefix); });
}

bool isSmsReadySign(const std::string& line) {
    return line == "SMS Ready" || line == "+QIND: SMS DONE" || line == "SMS DONE";
}

bool isBootSign(const std::string& line) {
    return line == "RDY" || startsWith(line, "*ATREADY:") || line == "+CPIN: READY" ||
           isSmsReadySign(line);
}

} // namespace kelbrin
