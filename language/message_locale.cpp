#include "message_locale.h"

#include <array>
#include <cstdlib>
#include <utility>

namespace message_locale {

LocaleLanguage localeLanguage(std::string_view localeName) {
    static constexpr std::array<std::pair<std::string_view, LocaleLanguage>, 5> kChineseLocales{{
        {"zh_CN", LocaleLanguage::ChinesePrc},
        {"zh_TW", LocaleLanguage::ChineseTaiwan},
        {"zh_HK", LocaleLanguage::ChineseHongKong},
        {"zh_SG", LocaleLanguage::ChineseSingapore},
        {"zh_MO", LocaleLanguage::ChineseMacau},
    }};
    const std::string_view languageAndTerritory =
        localeName.substr(0, localeName.find_first_of(".@"));
    for (const auto& [name, language] : kChineseLocales) {
        if (languageAndTerritory == name) {
            return language;
        }
    }
    return LocaleLanguage::English;
}

bool speaksChinese(LocaleLanguage language) {
    switch (language) {
    case LocaleLanguage::ChinesePrc:
    case LocaleLanguage::ChineseTaiwan:
    case LocaleLanguage::ChineseHongKong:
        return true;
    case LocaleLanguage::English:
    case LocaleLanguage::ChineseSingapore:
    case LocaleLanguage::ChineseMacau:
        return false;
    }
    return false;
}

std::string messagesLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return "C";
}

} // namespace message_locale
