#include "ui_language.h"

#include <array>
#include <cstdlib>
#include <utility>

bool g_bChineseUi = false;

bool isChineseUiLanguage(std::uint16_t languageId) {
    return languageId == kLangChinesePrc || languageId == kLangChineseTaiwan ||
           languageId == kLangChineseHongKong;
}

std::uint16_t languageIdForLocale(std::string_view localeName) {
    static constexpr std::array<std::pair<std::string_view, std::uint16_t>, 5> kChineseLocales{{
        {"zh_CN", kLangChinesePrc},
        {"zh_TW", kLangChineseTaiwan},
        {"zh_HK", kLangChineseHongKong},
        {"zh_SG", kLangChineseSingapore},
        {"zh_MO", kLangChineseMacau},
    }};
    const std::string_view languageAndTerritory =
        localeName.substr(0, localeName.find_first_of(".@"));
    for (const auto& [name, id] : kChineseLocales) {
        if (languageAndTerritory == name) {
            return id;
        }
    }
    return kLangEnglishUs;
}

std::string processLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return "C";
}

std::uint16_t processLanguageId() {
    return languageIdForLocale(processLocaleName());
}
