#include "byte_reader.h"

namespace sms {

std::optional<std::uint8_t> ByteReader::octet() {
    if (m_offset >= m_bytes.size()) {
        return std::nullopt;
    }
    return m_bytes[m_offset++];
}

std::optional<Bytes> ByteReader::octets(std::size_t count) {
    if (count > m_bytes.size() - m_offset) {
        return std::nullopt;
    }
    const auto first = m_bytes.begin() + static_cast<std::ptrdiff_t>(m_offset);
    m_offset += count;
    return Bytes(first, first + static_cast<std::ptrdiff_t>(count));
}

Bytes ByteReader::rest() {
    Bytes remaining(m_bytes.begin() + static_cast<std::ptrdiff_t>(m_offset), m_bytes.end());
    m_offset = m_bytes.size();
    return remaining;
}

} // namespace sms
