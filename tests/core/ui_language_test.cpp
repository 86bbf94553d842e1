#include "ui_language.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

TEST(UiLanguage, LocaleNameMapsToLanguageId) {
    const struct {
        const char* locale;
        std::uint16_t expected;
    } rows[] = {
        {"zh_CN", 0x0804},
        {"zh_CN.UTF-8", 0x0804},
        {"zh_CN.GB2312", 0x0804},
        {"zh_CN@modifier", 0x0804},
        {"zh_TW.UTF-8", 0x0404},
        {"zh_TW.UTF-8@radical", 0x0404},
        {"zh_HK.UTF-8", 0x0C04},
        {"zh_SG.UTF-8", 0x1004},
        {"zh_MO", 0x1404},
        {"zh", 0x0409},
        {"zh_CNX", 0x0409},
        {"C", 0x0409},
        {"C.UTF-8", 0x0409},
        {"POSIX", 0x0409},
        {"", 0x0409},
        {"en_US.UTF-8", 0x0409},
        {"de_DE.UTF-8", 0x0409},
        {"ja_JP.UTF-8", 0x0409},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(languageIdForLocale(row.locale), row.expected) << row.locale;
    }
}

TEST(UiLanguage, OnlyPrcTaiwanAndHongKongChooseChinese) {
    const struct {
        const char* name;
        std::uint16_t id;
        bool chinese;
    } rows[] = {
        {"PRC", 0x0804, true},         {"Taiwan", 0x0404, true},    {"Hong Kong", 0x0C04, true},
        {"Singapore", 0x1004, false},  {"Macau", 0x1404, false},    {"neutral zh", 0x0004, false},
        {"English US", 0x0409, false}, {"Japanese", 0x0411, false}, {"zero", 0x0000, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isChineseUiLanguage(row.id), row.chinese) << row.name;
    }
}

// Sets the three locale variables for one test and puts the old values back afterwards.
class LocaleEnvironment {
public:
    LocaleEnvironment() {
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            const char* value = std::getenv(kNames[i]);
            m_saved[i] = value ? std::optional<std::string>(value) : std::nullopt;
        }
    }
    ~LocaleEnvironment() {
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            set(kNames[i], m_saved[i] ? m_saved[i]->c_str() : nullptr);
        }
    }
    LocaleEnvironment(const LocaleEnvironment&) = delete;
    LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;

    static void set(const char* name, const char* value) {
        if (value == nullptr) {
            unsetenv(name);
        } else {
            setenv(name, value, 1);
        }
    }

    static constexpr std::array<const char*, 3> kNames{"LC_ALL", "LC_MESSAGES", "LANG"};

private:
    std::array<std::optional<std::string>, 3> m_saved;
};

TEST(UiLanguage, ProcessLocaleIsTheFirstNonEmptyVariable) {
    const struct {
        const char* name;
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* expected;
        std::uint16_t expectedId;
    } rows[] = {
        {"LC_ALL wins", "zh_TW.UTF-8", "de_DE.UTF-8", "en_US.UTF-8", "zh_TW.UTF-8", 0x0404},
        {"empty LC_ALL is skipped", "", "zh_HK.UTF-8", "en_US.UTF-8", "zh_HK.UTF-8", 0x0C04},
        {"LC_MESSAGES before LANG", nullptr, "zh_CN.UTF-8", "en_US.UTF-8", "zh_CN.UTF-8", 0x0804},
        {"LANG alone", nullptr, nullptr, "zh_SG.UTF-8", "zh_SG.UTF-8", 0x1004},
        {"all empty", "", "", "", "C", 0x0409},
        {"none set", nullptr, nullptr, nullptr, "C", 0x0409},
    };
    const LocaleEnvironment restore;
    for (const auto& row : rows) {
        LocaleEnvironment::set("LC_ALL", row.lcAll);
        LocaleEnvironment::set("LC_MESSAGES", row.lcMessages);
        LocaleEnvironment::set("LANG", row.lang);
        EXPECT_EQ(processLocaleName(), row.expected) << row.name;
        EXPECT_EQ(processLanguageId(), row.expectedId) << row.name;
    }
}

} // namespace
