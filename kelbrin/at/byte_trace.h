#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace kelbrin {

/// The KELBRIN_TRACE log: every byte exchanged with the modem, with a time stamp and a
/// direction, plus notes on what the library did. Off unless the variable names a file or "-"
/// (stderr). One record a line:
///
///     14:02:03.123 +1234 >> AT+CPMS?\r
///
/// the wall clock, the milliseconds since the session began (steady: it never jumps with the
/// clock), then ">>" bytes written to the modem, "<<" bytes one read returned, "--" a note or
/// "==" the start of a session (a port opened). Bytes are escaped without loss: \r, \n, \\ and
/// \xNN for every other byte below 0x20 or from 0x7F. The file is appended to across starts and
/// processes; `modemsim --replay` reads it (docs/modemsim.md).
class ByteTrace {
public:
    /// Opens the trace named by KELBRIN_TRACE (appending); off when unset or unopenable.
    static ByteTrace fromEnvironment();
    /// A trace into @p file (not owned when @p owned is false).
    ByteTrace(std::FILE* file, bool owned);
    ByteTrace() = default;
    ~ByteTrace();
    ByteTrace(ByteTrace&& other) noexcept;
    ByteTrace& operator=(ByteTrace&&) = delete;
    ByteTrace(const ByteTrace&) = delete;
    ByteTrace& operator=(const ByteTrace&) = delete;

    /// "== <description>": a connection starts here; later records count their milliseconds
    /// from now.
    void beginSession(std::string_view description);
    void sent(std::string_view bytes);
    void received(std::string_view bytes);
    void note(std::string_view text);

    /// "AT\r" → "AT\r" with the CR spelled as the two characters backslash and r.
    static std::string escape(std::string_view bytes);

private:
    void write(const char* direction, std::string_view text);

    std::mutex m_mutex;
    std::FILE* m_file = nullptr;
    bool m_owned = false;
    std::chrono::steady_clock::time_point m_sessionStart = std::chrono::steady_clock::now();
};

} // namespace kelbrin
