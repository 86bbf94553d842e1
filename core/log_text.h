#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A log text (8-bit UTF-8, CR LF line ends) with a running 64-bit FNV-1a hash of its bytes, kept
// up to date as it grows. A window compares texts of tens of thousands of lines by length and
// hash, and tells whether a text is one it has shown with a tail appended by hashing the tail
// only, so that a poll entry reaching a long log costs the same as one reaching a short log. Two
// different texts of equal length agree in their hash with a chance of about 2^-64.
class LogText {
public:
    LogText() = default;
    explicit LogText(std::string text);

    const std::string& text() const { return m_text; }
    std::size_t size() const { return m_text.size(); }
    std::uint64_t hash() const { return m_hash; }

    LogText& operator+=(std::string_view tail);
    void clear();

    // True when the two texts have the same length and hash.
    bool sameAs(const LogText& other) const;
    // True when this text is @p shown followed by more bytes, or @p shown itself.
    bool startsWith(const LogText& shown) const;

private:
    static constexpr std::uint64_t kEmptyHash = 0xcbf29ce484222325ULL;

    std::string m_text;
    std::uint64_t m_hash = kEmptyHash;
};
