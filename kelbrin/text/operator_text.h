#pragma once

// Texts for an operator, in English and the language of the caller's locale:
//
//   OperatorText      an English format with numbered placeholders and its arguments; renders
//                     English for the trace and the session's language for the last error
//   KELBRIN_TEXT      marks a format for xgettext (po/zh_CN.po holds the translations)
//   TextLanguage      the language a session speaks, read from the locale at each start
//   message_catalogue the translations compiled into the library, looked up by English format

#include "text_language.h"

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace kelbrin {

/// An English format as written in the source; only KELBRIN_TEXT makes one.
struct TextFormat {
    const char* english;
};

/// Marks an English format for extraction (xgettext --keyword=KELBRIN_TEXT). Placeholders are
/// numbered, "%1$s", "%2$s", so a translation may put them in another order; "%%" is a percent
/// sign. Write whole sentences: the translator sees nothing but the format.
#define KELBRIN_TEXT(english) (::kelbrin::TextFormat{english})

/// A text for an operator: a format and its arguments, kept apart until it is rendered, so the
/// same failure reads in English in the trace and in the session's language in the last error.
/// An argument is another OperatorText (a reason inside a sentence), a string taken as it is (a
/// device path, the modem's own words) or a number.
class OperatorText {
public:
    OperatorText() = default;

    template <typename... Arguments>
    explicit OperatorText(TextFormat format, Arguments&&... arguments)
        : m_format(format.english), m_arguments{argument(std::forward<Arguments>(arguments))...} {}

    /// Words that are not translated: a path, a process name, the modem's answer.
    static OperatorText verbatim(std::string text);

    bool empty() const { return m_format == nullptr && m_verbatim.empty(); }
    std::string in(TextLanguage language) const;
    std::string english() const { return in(TextLanguage::English); }

private:
    static OperatorText argument(OperatorText text) { return text; }
    static OperatorText argument(std::string text) { return verbatim(std::move(text)); }
    static OperatorText argument(const char* text) { return verbatim(text); }
    template <typename Number, typename = std::enable_if_t<std::is_integral_v<Number>>>
    static OperatorText argument(Number number) {
        return verbatim(std::to_string(number));
    }

    const char* m_format = nullptr; ///< null for a verbatim text
    std::string m_verbatim;
    std::vector<OperatorText> m_arguments;
};

} // namespace kelbrin
