#include "ui_language.h"

#include "message_locale.h"

bool g_bChineseUi = false;

bool isChineseUiLanguage(std::uint16_t languageId) {
    return languageId == kLangChinesePrc || languageId == kLangChineseTaiwan ||
           languageId == kLangChineseHongKong;
}

std::uint16_t languageIdForLocale(std::string_view localeName) {
    using message_locale::LocaleLanguage;
    switch (message_locale::localeLanguage(localeName)) {
    case LocaleLanguage::ChinesePrc:
        return kLangChinesePrc;
    case LocaleLanguage::ChineseTaiwan:
        return kLangChineseTaiwan;
    case LocaleLanguage::ChineseHongKong:
        return kLangChineseHongKong;
    case LocaleLanguage::ChineseSingapore:
        return kLangChineseSingapore;
    case LocaleLanguage::ChineseMacau:
        return kLangChineseMacau;
    case LocaleLanguage::English:
        return kLangEnglishUs;
    }
    return kLangEnglishUs;
}

std::string processLocaleName() {
    return message_locale::messagesLocaleName();
}

std::uint16_t processLanguageId() {
    return languageIdForLocale(processLocaleName());
}
