#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace modemsim {

// Every byte that crosses the line, in the format of the library's KELBRIN_TRACE so that
// `--replay` reads either (docs/modemsim.md): one record a line, the wall clock, the
// milliseconds since the session began, the direction as the client sees it (">>" towards the
// modem, "<<" from it; "--" a note, "==" a session start) and the bytes escaped without loss.
class ByteTrace {
public:
    // "-" traces to stderr. Throws std::system_error when the file cannot be opened.
    explicit ByteTrace(const std::string& path);
    ~ByteTrace();
    ByteTrace(const ByteTrace&) = delete;
    ByteTrace& operator=(const ByteTrace&) = delete;

    // A terminal appeared: later records count their milliseconds from now.
    void beginSession(std::string_view description);
    void towardsModem(std::string_view bytes) { record(">>", escape(bytes)); }
    void fromModem(std::string_view bytes) { record("<<", escape(bytes)); }
    void note(std::string_view text) { record("--", text); }

    // CR, LF and backslash as \r \n \\, every other byte below 0x20 or from 0x7F as \xNN.
    static std::string escape(std::string_view bytes);

private:
    void record(const char* direction, std::string_view text);

    std::FILE* m_file{nullptr};
    bool m_ownsFile{false};
    std::chrono::steady_clock::time_point m_sessionStart{std::chrono::steady_clock::now()};
};

} // namespace modemsim
