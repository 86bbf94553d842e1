#include "display_width.h"

namespace kelbrin {

std::size_t displayWidth(const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t codePoint = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        const bool wide = (codePoint >= 0x1100 && codePoint <= 0x115F) ||
                          (codePoint >= 0x2E80 && codePoint <= 0xA4CF) ||
                          (codePoint >= 0xAC00 && codePoint <= 0xD7A3) ||
                          (codePoint >= 0xF900 && codePoint <= 0xFAFF) ||
                          (codePoint >= 0xFE30 && codePoint <= 0xFE4F) ||
                          (codePoint >= 0xFF00 && codePoint <= 0xFF60) ||
                          (codePoint >= 0xFFE0 && codePoint <= 0xFFE6);
        width += wide ? 2 : 1;
        i += length;
    }
    return width;
}

} // namespace kelbrin
