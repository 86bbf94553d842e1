#pragma once

namespace kelbrin {

/// The languages the library's operator texts come in.
enum class TextLanguage { English, Chinese };

/// Chinese when the process locale (the rule the console follows, message_locale.h) asks for it.
TextLanguage processTextLanguage();

} // namespace kelbrin
