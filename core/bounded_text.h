#pragma once

#include <array>
#include <cstddef>
#include <string>

// The text of a fixed-width field filled by the service library: up to its first NUL, and never
// more than the field's width when the library filled it to the brim without one.
std::string boundedText(const char* field, std::size_t width);

template <std::size_t N> std::string boundedText(const char (&field)[N]) {
    return boundedText(field, N);
}

template <std::size_t N> std::string boundedText(const std::array<char, N>& field) {
    return boundedText(field.data(), N);
}
