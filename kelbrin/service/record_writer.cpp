#include "record_writer.h"

#include <cstring>

namespace kelbrin {

std::size_t utf8PrefixLength(std::string_view text, std::size_t room) {
    if (text.size() <= room) {
        return text.size();
    }
    std::size_t cut = room;
    // Back up over continuation bytes (10xxxxxx) to the start of the character at the cut.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    // Only continuation bytes (malformed text): cut anyway, so a continued text always advances.
    return cut == 0 ? room : cut;
}

void replaceNulCharacters(std::string& text) {
    static const std::string kReplacement = "\xEF\xBF\xBD";
    for (std::size_t at = text.find('\0'); at != std::string::npos;
         at = text.find('\0', at + kReplacement.size())) {
        text.replace(at, 1, kReplacement);
    }
}

std::size_t writeTextField(std::string_view text, char* field, std::size_t width) {
    std::memset(field, 0, width);
    if (width == 0) {
        return 0;
    }
    const std::size_t length = utf8PrefixLength(text, width - 1);
    std::memcpy(field, text.data(), length);
    return length;
}

} // namespace kelbrin
