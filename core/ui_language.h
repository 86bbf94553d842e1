#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The console's UI language. Chinese texts for the system default languages Chinese (PRC),
// Chinese (Taiwan) and Chinese (Hong Kong); English for every other language.

// True when the Chinese texts are to be used. Set once by the console's start-up; every text that
// exists in two languages is chosen by it when it is used.
extern bool g_bChineseUi;

constexpr std::uint16_t kLangChinesePrc = 0x0804;
constexpr std::uint16_t kLangChineseTaiwan = 0x0404;
constexpr std::uint16_t kLangChineseHongKong = 0x0C04;
constexpr std::uint16_t kLangChineseSingapore = 0x1004;
constexpr std::uint16_t kLangChineseMacau = 0x1404;
constexpr std::uint16_t kLangEnglishUs = 0x0409;

// True for the language ids that select the Chinese UI.
bool isChineseUiLanguage(std::uint16_t languageId);

// The Windows language id of a POSIX locale name such as "zh_CN.UTF-8" or "zh_TW@radical"
// (codeset and modifier are ignored). The Chinese locales map to their ids; every other name,
// "C", "POSIX", bare "zh" and the empty name included, maps to English (US).
std::uint16_t languageIdForLocale(std::string_view localeName);

// The locale that governs the process's messages: the first non-empty of LC_ALL, LC_MESSAGES and
// LANG; "C" when none is set.
std::string processLocaleName();

// The language id of the process locale; what the window reports as the system's default.
std::uint16_t processLanguageId();
