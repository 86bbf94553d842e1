#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kelbrin {

bool startsWith(std::string_view text, std::string_view prefix);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string_view trim(std::string_view text);
/// A whole decimal integer, optionally signed; nothing for anything else.
std::optional<int> parseInt(std::string_view text);
/// Non-empty and made of hex digits only.
bool isHexText(std::string_view text);

/// The fields after "<prefix>:" split at commas, quotes removed, blanks trimmed:
/// `+CMTI: "SM", 3` → {"SM", "3"}. Commas inside quotes do not split.
std::vector<std::string> responseFields(std::string_view line);

/// `+CMGR: 1,,147 0791...` → {"+CMGR: 1,,147", "0791..."}: a header whose PDU follows on the
/// same line after a space.
std::optional<std::pair<std::string, std::string>> splitInlinePdu(const std::string& line);

/// The header's last field is 0 (`+CMGR: 0,,0`): no PDU line follows.
bool lastFieldIsZero(const std::string& line);

} // namespace kelbrin
