#include "byte_trace.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

namespace kelbrin {

ByteTrace ByteTrace::fromEnvironment() {
    const char* target = std::getenv("KELBRIN_TRACE");
    if (target == nullptr || *target == '\0') {
        return ByteTrace();
    }
    if (std::string_view(target) == "-") {
        return ByteTrace(stderr, false);
    }
    // "e" (O_CLOEXEC): programs the host process starts must not inherit the trace file.
    return ByteTrace(std::fopen(target, "ae"), true);
}

ByteTrace::ByteTrace(std::FILE* file, bool owned) : m_file(file), m_owned(owned) {}

ByteTrace::ByteTrace(ByteTrace&& other) noexcept
    : m_file(other.m_file), m_owned(other.m_owned), m_sessionStart(other.m_sessionStart) {
    other.m_file = nullptr;
    other.m_owned = false;
}

ByteTrace::~ByteTrace() {
    if (m_owned && m_file != nullptr) {
        std::fclose(m_file);
    }
}

void ByteTrace::beginSession(std::string_view description) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sessionStart = std::chrono::steady_clock::now();
    }
    write("==", description);
}

void ByteTrace::sent(std::string_view bytes) {
    write(">>", escape(bytes));
}

void ByteTrace::received(std::string_view bytes) {
    write("<<", escape(bytes));
}

void ByteTrace::note(std::string_view text) {
    write("--", text);
}

std::string ByteTrace::escape(std::string_view bytes) {
    std::string text;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            text += "\\r";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\\':
            text += "\\\\";
            break;
        default:
            if (byte < 0x20 || byte >= 0x7F) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                text += hex;
            } else {
                text.push_back(c);
            }
        }
    }
    return text;
}

void ByteTrace::write(const char* direction, std::string_view text) {
    if (m_file == nullptr) {
        return;
    }
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto sinceSessionStart = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_sessionStart);
    std::fprintf(m_file, "%s.%03lld +%lld %s %.*s\n", stamp, static_cast<long long>(millis),
                 static_cast<long long>(sinceSessionStart.count()), direction,
                 static_cast<int>(text.size()), text.data());
    std::fflush(m_file);
}

} // namespace kelbrin
