#include "log_text.h"

#include <utility>

namespace {

std::uint64_t extendHash(std::uint64_t hash, std::string_view bytes) {
    constexpr std::uint64_t kPrime = 0x100000001b3ULL;
    for (const char byte : bytes) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * kPrime;
    }
    return hash;
}

} // namespace

LogText::LogText(std::string text)
    : m_text(std::move(text)), m_hash(extendHash(kEmptyHash, m_text)) {}

LogText& LogText::operator+=(std::string_view tail) {
    m_text.append(tail);
    m_hash = extendHash(m_hash, tail);
    return *this;
}

void LogText::clear() {
    m_text.clear();
    m_hash = kEmptyHash;
}

bool LogText::sameAs(const LogText& other) const {
    return size() == other.size() && m_hash == other.m_hash;
}

bool LogText::startsWith(const LogText& shown) const {
    if (size() < shown.size()) {
        return false;
    }
    const std::string_view tail = std::string_view(m_text).substr(shown.size());
    return extendHash(shown.m_hash, tail) == m_hash;
}
