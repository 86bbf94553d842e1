#pragma once

#include "sms/bytes.h"

#include <cstddef>
#include <optional>

namespace sms {

// Bounds-checked cursor over a TPDU: every field read goes through it, so no decoder can read
// past its input.
class ByteReader {
public:
    explicit ByteReader(const Bytes& bytes) : m_bytes(bytes) {}

    std::optional<std::uint8_t> octet();
    std::optional<Bytes> octets(std::size_t count);
    Bytes rest();

private:
    const Bytes& m_bytes;
    std::size_t m_offset{0};
};

} // namespace sms
