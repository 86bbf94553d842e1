#include "port_map.h"

#include <cctype>
#include <fstream>

namespace kelbrin {
namespace {

constexpr std::string_view kSpaces = " \t\r";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(kSpaces);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kSpaces) - first + 1);
}

} // namespace

std::optional<int32_t> parseComName(std::string_view name) {
    if (name.size() < 4 || name.size() > 7 ||
        !(std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
          std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
          std::toupper(static_cast<unsigned char>(name[2])) == 'M')) {
        return std::nullopt;
    }
    int32_t number = 0;
    for (char digit : name.substr(3)) {
        if (!std::isdigit(static_cast<unsigned char>(digit))) {
            return std::nullopt;
        }
        number = number * 10 + (digit - '0');
    }
    return number >= 1 ? std::optional<int32_t>(number) : std::nullopt;
}

PortMapLine parsePortMapLine(std::string_view text, int lineNumber) {
    const std::string_view content = trimmed(text.substr(0, text.find('#')));
    if (content.empty()) {
        return {};
    }
    const auto equals = content.find('=');
    const auto port = parseComName(trimmed(content.substr(0, equals)));
    const std::string_view path =
        equals == std::string_view::npos ? std::string_view{} : trimmed(content.substr(equals + 1));
    if (!port || path.empty()) {
        return {std::nullopt,
                OperatorText(KELBRIN_TEXT("\"%1$s\" is not a port mapping; write COM<N> = <device "
                                          "path>"),
                             std::string(content))};
    }
    if (path.front() != '/') {
        return {std::nullopt,
                OperatorText(KELBRIN_TEXT("the device \"%1$s\" must be an absolute path (e.g. "
                                          "/dev/ttyUSB0)"),
                             std::string(path))};
    }
    return {PortMapEntry{*port, std::string(path), lineNumber}, {}};
}

const PortMapEntry* PortMap::find(int32_t port) const {
    for (const auto& entry : entries) {
        if (entry.port == port) {
            return &entry;
        }
    }
    return nullptr;
}

PortMap parsePortMap(const std::string& file, std::istream& text) {
    PortMap map{file, {}, {}};
    std::string line;
    for (int number = 1; std::getline(text, line); ++number) {
        PortMapLine parsed = parsePortMapLine(line, number);
        if (!parsed.error.empty()) {
            map.error = OperatorText(KELBRIN_TEXT("%1$s line %2$s: %3$s"), file, number,
                                     std::move(parsed.error));
            return map;
        }
        if (!parsed.entry) {
            continue;
        }
        if (const PortMapEntry* earlier = map.find(parsed.entry->port)) {
            map.error = OperatorText(KELBRIN_TEXT("%1$s line %2$s: COM%3$s is already mapped "
                                                  "on line %4$s; keep one of the two lines"),
                                     file, number, earlier->port, earlier->line);
            return map;
        }
        map.entries.push_back(std::move(*parsed.entry));
    }
    return map;
}

PortMap readPortMap(const std::string& file) {
    std::ifstream text(file);
    if (!text) {
        return PortMap{file, {}, {}};
    }
    return parsePortMap(file, text);
}

OperatorText mapLineName(const std::string& file, int line) {
    return OperatorText(KELBRIN_TEXT("%1$s line %2$s"), file, line);
}

} // namespace kelbrin
