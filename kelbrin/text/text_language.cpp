#include "text_language.h"

#include "message_locale.h"

namespace kelbrin {

TextLanguage processTextLanguage() {
    using namespace message_locale;
    return speaksChinese(localeLanguage(messagesLocaleName())) ? TextLanguage::Chinese
                                                               : TextLanguage::English;
}

} // namespace kelbrin
