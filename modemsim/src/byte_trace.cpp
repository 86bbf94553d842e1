#include "byte_trace.h"

#include <cerrno>
#include <ctime>
#include <system_error>

namespace modemsim {

ByteTrace::ByteTrace(const std::string& path) {
    if (path == "-") {
        m_file = stderr;
        return;
    }
    m_file = std::fopen(path.c_str(), "w");
    if (m_file == nullptr) {
        throw std::system_error(errno, std::generic_category(), "trace " + path);
    }
    m_ownsFile = true;
}

ByteTrace::~ByteTrace() {
    if (m_ownsFile) {
        std::fclose(m_file);
    }
}

void ByteTrace::beginSession(std::string_view description) {
    m_sessionStart = std::chrono::steady_clock::now();
    record("==", description);
}

std::string ByteTrace::escape(std::string_view bytes) {
    std::string escaped;
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            escaped += "\\r";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\\') {
            escaped += "\\\\";
        } else if (byte < 0x20 || byte >= 0x7F) {
            static const char kDigits[] = "0123456789ABCDEF";
            escaped += "\\x";
            escaped += kDigits[byte >> 4];
            escaped += kDigits[byte & 0xF];
        } else {
            escaped.push_back(c);
        }
    }
    return escaped;
}

void ByteTrace::record(const char* direction, std::string_view text) {
    const auto wall = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(wall);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(wall.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    const auto sinceSessionStart = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_sessionStart);
    std::fprintf(m_file, "%s.%03lld +%lld %s %.*s\n", stamp, static_cast<long long>(millis),
                 static_cast<long long>(sinceSessionStart.count()), direction,
                 static_cast<int>(text.size()), text.data());
    std::fflush(m_file);
}

} // namespace modemsim
