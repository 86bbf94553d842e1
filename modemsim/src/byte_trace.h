#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

namespace modemsim {

// Every byte that crosses the line, one record per read or write: seconds since start,
// direction ("<<" from the terminal, ">>" to it) and the bytes with control characters escaped.
class ByteTrace {
public:
    // "-" traces to stderr. Throws std::system_error when the file cannot be opened.
    explicit ByteTrace(const std::string& path);
    ~ByteTrace();
    ByteTrace(const ByteTrace&) = delete;
    ByteTrace& operator=(const ByteTrace&) = delete;

    void fromTerminal(std::string_view bytes) { record("<<", bytes); }
    void toTerminal(std::string_view bytes) { record(">>", bytes); }
    void note(std::string_view text) { record("--", text); }

private:
    void record(const char* direction, std::string_view bytes);

    std::FILE* m_file{nullptr};
    bool m_ownsFile{false};
    std::chrono::steady_clock::time_point m_start{std::chrono::steady_clock::now()};
};

} // namespace modemsim
