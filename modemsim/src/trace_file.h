#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace modemsim {

// A byte trace read back: the records byte_trace.h writes, and the library's KELBRIN_TRACE,
// which has the same format (docs/modemsim.md).
enum class TraceDirection { TowardsModem, FromModem };

struct TraceRecord {
    TraceDirection direction{TraceDirection::TowardsModem};
    std::chrono::milliseconds offset{0}; // since its session began
    std::string bytes;                   // unescaped
    int line{0};                         // in the file, from 1
};

// The records from one "==" mark to the next: one connection to one modem. Only the bytes that
// crossed the line are kept; notes tell a replay nothing.
struct TraceSession {
    std::string description; // of the mark; empty for records before the first mark
    std::vector<TraceRecord> records;
};

using SessionsOrError = std::variant<std::vector<TraceSession>, std::string>;

// The sessions in file order, or the first malformed record ("line 7: ..."). Lines that do not
// start like a record (a note that held a line break) are passed over.
SessionsOrError parseTrace(std::string_view text);
// The same for a file; errors name it.
SessionsOrError loadTrace(const std::string& path);

} // namespace modemsim
