#include "message_catalogue.h"

#include <cstdint>
#include <optional>

namespace kelbrin {
namespace {

// The GNU .mo layout: a header of 32-bit words (magic, revision, count, offset of the originals'
// table, offset of the translations' table, ...), each table a run of (length, offset) pairs,
// the originals sorted bytewise. The magic tells the byte order of the machine that wrote it.
constexpr std::uint32_t kMagic = 0x950412de;
constexpr std::uint32_t kSwappedMagic = 0xde120495;

class MoFile {
public:
    explicit MoFile(std::string_view bytes) : m_bytes(bytes) {
        const auto magic = word(0, false);
        if (!magic || (*magic != kMagic && *magic != kSwappedMagic)) {
            return;
        }
        m_swapped = *magic == kSwappedMagic;
        const auto count = word(8);
        const auto originals = word(12);
        const auto translations = word(16);
        if (count && originals && translations) {
            m_count = *count;
            m_originals = *originals;
            m_translations = *translations;
        }
    }

    std::optional<std::string_view> translation(std::string_view original) const {
        std::uint32_t low = 0;
        std::uint32_t high = m_count;
        while (low < high) {
            const std::uint32_t middle = low + (high - low) / 2;
            const auto candidate = string(m_originals, middle);
            if (!candidate) {
                return std::nullopt;
            }
            const int order = candidate->compare(original);
            if (order == 0) {
                return string(m_translations, middle);
            }
            if (order < 0) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return std::nullopt;
    }

private:
    std::optional<std::uint32_t> word(std::uint64_t offset, bool mayBeSwapped = true) const {
        if (offset + 4 > m_bytes.size()) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto byte =
                static_cast<unsigned char>(m_bytes[offset + static_cast<unsigned>(i)]);
            const int shift = (mayBeSwapped && m_swapped) ? 24 - 8 * i : 8 * i;
            value |= static_cast<std::uint32_t>(byte) << shift;
        }
        return value;
    }

    std::optional<std::string_view> string(std::uint32_t table, std::uint32_t index) const {
        const std::uint64_t entry = table + std::uint64_t{8} * index;
        const auto length = word(entry);
        const auto offset = word(entry + 4);
        if (!length || !offset || std::uint64_t{*offset} + *length > m_bytes.size()) {
            return std::nullopt;
        }
        return m_bytes.substr(*offset, *length);
    }

    std::string_view m_bytes;
    bool m_swapped = false;
    std::uint32_t m_count = 0; ///< stays 0 for bytes that are not a .mo file
    std::uint32_t m_originals = 0;
    std::uint32_t m_translations = 0;
};

} // namespace

std::string_view translateFormat(TextLanguage language, std::string_view english) {
    switch (language) {
    case TextLanguage::English:
        return english;
    case TextLanguage::Chinese: {
        static const MoFile catalogue(simplifiedChineseCatalogue());
        return catalogue.translation(english).value_or(english);
    }
    }
    return english;
}

} // namespace kelbrin
