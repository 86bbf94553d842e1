#pragma once

#include "text_language.h"

#include <string_view>

namespace kelbrin {

/// The translation of the English format @p english into @p language; @p english itself for
/// English and for a format the catalogue does not hold.
std::string_view translateFormat(TextLanguage language, std::string_view english);

/// The bytes of po/zh_CN.po compiled by msgfmt, embedded at build time (generated source).
std::string_view simplifiedChineseCatalogue();

} // namespace kelbrin
