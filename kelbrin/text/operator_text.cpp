#include "operator_text.h"

#include "message_catalogue.h"

#include <cctype>

namespace kelbrin {

OperatorText OperatorText::verbatim(std::string text) {
    OperatorText verbatim;
    verbatim.m_verbatim = std::move(text);
    return verbatim;
}

std::string OperatorText::in(TextLanguage language) const {
    if (m_format == nullptr) {
        return m_verbatim;
    }
    // The catalogue's build checks each translation's placeholders against the English, so a
    // malformed one is copied as it stands rather than guessed at.
    const std::string_view format = translateFormat(language, m_format);
    std::string text;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            text += format[i];
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            text += '%';
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        std::size_t number = 0;
        while (end < format.size() && std::isdigit(static_cast<unsigned char>(format[end]))) {
            number = number * 10 + static_cast<std::size_t>(format[end] - '0');
            ++end;
        }
        if (format.compare(end, 2, "$s") == 0 && number >= 1 && number <= m_arguments.size()) {
            text += m_arguments[number - 1].in(language);
            i = end + 1;
        } else {
            text += '%';
        }
    }
    return text;
}

} // namespace kelbrin
