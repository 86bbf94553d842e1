#pragma once

#include "operator_text.h"

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelbrin {

/// One "COM<N> = <path>" line of a port map.
struct PortMapEntry {
    int32_t port = 0;
    std::string path;
    int line = 0; ///< 1-based, for texts
};

/// 3 for "COM3" or "com3"; nothing for anything else or COM0.
std::optional<int32_t> parseComName(std::string_view name);

/// What one line of a port map holds. Blank lines and "#" comments hold nothing; anything else
/// must be "COM<N> = <absolute path>" (spaces around "=" optional, "com" in any case, a comment
/// may follow the path).
struct PortMapLine {
    std::optional<PortMapEntry> entry;
    OperatorText error; ///< why the line is not a mapping; empty when it is one or holds nothing
};
PortMapLine parsePortMapLine(std::string_view text, int lineNumber);

/// A whole port map file. A missing file is an empty map; the first malformed line, or a port
/// mapped twice, is an error that names the file and the line.
struct PortMap {
    std::string file;
    std::vector<PortMapEntry> entries;
    OperatorText error;

    const PortMapEntry* find(int32_t port) const;
};
PortMap readPortMap(const std::string& file);
PortMap parsePortMap(const std::string& file, std::istream& text);

/// "/home/ann/.config/kelbrin/ports line 3": how texts point at a line of a map.
OperatorText mapLineName(const std::string& file, int line);

} // namespace kelbrin
