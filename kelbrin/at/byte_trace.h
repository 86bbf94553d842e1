#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace kelbrin {

/// The KELBRIN_TRACE log: every byte exchanged with the modem, with a time stamp and a
/// direction, plus notes on what the library did. Off unless the variable names a file or "-"
/// (stderr). Bytes are shown as text with CR, LF, Ctrl-Z, ESC and other non-printables escaped.
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
};

} // namespace kelbrin
