#pragma once

#include <string>

namespace kelbrin {

/// The columns @p text takes on a terminal: East Asian wide characters (CJK, Hangul, full-width
/// forms) take two, every other character one. For aligning tables of Chinese texts.
std::size_t displayWidth(const std::string& text);

} // namespace kelbrin
