#include "bounded_text.h"

#include <cstring>

std::string boundedText(const char* field, std::size_t width) {
    const void* nul = std::memchr(field, '\0', width);
    const std::size_t length =
        nul == nullptr ? width : static_cast<std::size_t>(static_cast<const char*>(nul) - field);
    return std::string(field, length);
}
