#include "byte_trace.h"

#include <cerrno>
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

void ByteTrace::record(const char* direction, std::string_view bytes) {
    std::string escaped;
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            escaped += "\\r";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\\') {
            escaped += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            static const char kDigits[] = "0123456789ABCDEF";
            escaped += "\\x";
            escaped += kDigits[byte >> 4];
            escaped += kDigits[byte & 0xF];
        } else {
            escaped.push_back(c);
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    std::fprintf(m_file, "%10.6f %s %s\n", seconds, direction, escaped.c_str());
    std::fflush(m_file);
}

} // namespace modemsim
