// The last error speaks the language of the caller's locale, read at the start; the trace stays
// English. Neither needs the locale to be generated on the machine.
#include "simulated_modem_test.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <sstream>

#include <unistd.h>

namespace kelbrin::testing {
namespace {

struct LanguageRow {
    const char* lang;
    const char* storageFull;
    const char* sendFailed;
    const char* reconnecting;
    bool wordsBesidesPortNames; ///< in the lost-port text: Latin letters other than COM1 and path
};

// Whether @p text has Latin letters once "COM1" and @p path are taken out of it.
bool hasLettersBesides(std::string text, const std::string& path) {
    for (const std::string& name : {std::string("COM1"), path}) {
        for (auto at = text.find(name); at != std::string::npos; at = text.find(name)) {
            text.erase(at, name.size());
        }
    }
    return std::any_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isalpha(c) != 0; });
}

// Names the row in test output instead of dumping its bytes.
void PrintTo(const LanguageRow& row, std::ostream* out) {
    *out << row.lang;
}

class TextLanguageTest : public SimulatedModemTest,
                         public ::testing::WithParamInterface<LanguageRow> {
protected:
    void SetUp() override {
        SimulatedModemTest::SetUp();
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_MESSAGES");
        ::setenv("LANG", GetParam().lang, 1);
        const int fd = ::mkstemp(m_tracePath);
        ASSERT_GE(fd, 0);
        ::close(fd);
        ::setenv("KELBRIN_TRACE", m_tracePath, 1);
    }
    void TearDown() override {
        ::unsetenv("KELBRIN_TRACE");
        ::unlink(m_tracePath);
        SimulatedModemTest::TearDown();
    }
    std::string trace() const {
        std::ifstream file(m_tracePath);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    char m_tracePath[32] = "/tmp/kelbrin-trace-XXXXXX";
};

TEST_P(TextLanguageTest, LastErrorInTheLocalesLanguageTraceInEnglish) {
    const LanguageRow& row = GetParam();
    ::setenv("KELBRIN_POLL_MS", "100", 1);
    modemsim::Scenario scenario;
    scenario.settings.capacitySm = 2;
    scenario.faults.failSend = 1;
    scenario.faults.failSendCode = 330;
    auto& sim = startService(scenario);

    lib.sendText("refused", "+31612345678");
    ASSERT_TRUE(lib.waitReport(2s));
    EXPECT_NE(lib.lastErrorText().find(row.sendFailed), std::string::npos) << lib.lastErrorText();

    // Messages stay on the modem until they are taken: two fill the SIM.
    for (const char* text : {"one", "two"}) {
        ASSERT_EQ(sim.control(std::string("deliver from=+4930123456 text=") + text), "OK\n");
    }
    EXPECT_TRUE(eventually([&] { return lib.lastErrorText().find(row.storageFull) == 0; }))
        << lib.lastErrorText();

    sim.hangUp();
    EXPECT_TRUE(eventually([&] {
        return lib.lastErrorText().find(row.reconnecting) != std::string::npos;
    })) << lib.lastErrorText();
    EXPECT_EQ(hasLettersBesides(lib.lastErrorText(), std::getenv("KELBRIN_COM1")),
              row.wordsBesidesPortNames)
        << lib.lastErrorText();
    lib.stop();

    const std::string english = trace();
    EXPECT_NE(english.find("the modem answered +CMS ERROR: 330 (service centre address unknown)"),
              std::string::npos)
        << english;
    EXPECT_NE(english.find("modem lost on COM1"), std::string::npos) << english;
    EXPECT_EQ(english.find("调制解调器"), std::string::npos) << english;
}

INSTANTIATE_TEST_SUITE_P(
    Locales, TextLanguageTest,
    ::testing::Values(
        LanguageRow{"zh_CN.UTF-8", "短信存储已满（",
                    "：调制解调器应答 +CMS ERROR: 330（短信中心号码未知）：请用 AT+CSCA=",
                    "上的调制解调器已断开，正在重新连接", false},
        LanguageRow{"en_US.UTF-8", "message storage full (",
                    ": the modem answered +CMS ERROR: 330 (service centre address unknown): set "
                    "the service centre number with AT+CSCA=",
                    "modem lost on COM1", true}),
    [](const auto& row) { return std::string(row.param.lang).substr(0, 5); });

} // namespace
} // namespace kelbrin::testing
