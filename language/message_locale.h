#pragma once

#include <string>
#include <string_view>

// The language of messages, from the POSIX locale variables. Read from the environment only:
// the console and the library never call setlocale, and the zh_CN locale need not be generated
// on the machine for its texts to be Chinese.
namespace message_locale {

/// The locales the console and the library tell apart. Only the first three Chinese ones get
/// Chinese texts; Singapore and Macau are named because the console reports their Windows ids.
enum class LocaleLanguage {
    English,
    ChinesePrc,
    ChineseTaiwan,
    ChineseHongKong,
    ChineseSingapore,
    ChineseMacau,
};

/// The language of a locale name such as "zh_CN.UTF-8" or "zh_TW@radical" (codeset and modifier
/// are ignored). "C", "POSIX", bare "zh", the empty name and every other name are English.
LocaleLanguage localeLanguage(std::string_view localeName);

/// True for the locales whose messages are Chinese: PRC, Taiwan and Hong Kong.
bool speaksChinese(LocaleLanguage language);

/// The locale that governs messages: the first non-empty of LC_ALL, LC_MESSAGES and LANG; "C"
/// when none is set. LANGUAGE plays no part.
std::string messagesLocaleName();

} // namespace message_locale
