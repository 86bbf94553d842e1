#include "at_parsers.h"

#include "at_text.h"

namespace kelbrin {
namespace {

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
    const auto fields = responseFields(line);
    if (fields.size() != 2) {
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

std::optional<int> parseCregResponse(const std::string& line) {
    if (!startsWith(line, "+CREG:")) {
        return std::nullopt;
    }
    const auto fields = responseFields(line);
    // The query form is "<n>,<stat>[,<lac>,<ci>]"; an unsolicited one is "<stat>[,...]".
    return fields.size() >= 2 ? parseInt(fields[1]) : parseInt(fields[0]);
}

} // namespace kelbrin
