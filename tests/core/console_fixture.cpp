#include "console_fixture.h"

#include "service_library.h"

#include <algorithm>
#include <cstring>

void ConsoleFixture::SetUp() {
    const auto standinState =
        reinterpret_cast<StandinStateFn>(findSymbol(loadServiceLibrary(), kStandinStateSymbol));
    ASSERT_NE(standinState, nullptr) << "the stand-in libkelbrin.so was not loaded";
    m_standin = standinState();
    *m_standin = StandinState{};
}

void ConsoleFixture::startUp(std::uint16_t languageId) {
    m_window.languageId = languageId;
    m_console.OnInitDialog();
    m_window.calls.clear();
}

void ConsoleFixture::startRunning(std::uint16_t languageId) {
    startUp(languageId);
    m_console.OnStart();
    ASSERT_EQ(m_window.shownState(), "Running");
    m_window.calls.clear();
    m_standin->calls.clear();
}

std::vector<std::string> ConsoleFixture::libraryCalls() const {
    std::vector<std::string> names;
    for (const StandinCall& call : m_standin->calls) {
        names.push_back(call.entryPoint);
    }
    return names;
}

const StandinCall& ConsoleFixture::onlyCallOf(const std::string& entryPoint) const {
    const auto count =
        std::count_if(m_standin->calls.begin(), m_standin->calls.end(),
                      [&](const StandinCall& call) { return call.entryPoint == entryPoint; });
    EXPECT_EQ(count, 1) << entryPoint;
    static const StandinCall kNone{};
    const auto it =
        std::find_if(m_standin->calls.begin(), m_standin->calls.end(),
                     [&](const StandinCall& call) { return call.entryPoint == entryPoint; });
    return it == m_standin->calls.end() ? kNone : *it;
}

namespace {

// Copies @p text into a field; a text as long as the field leaves it without a NUL.
template <std::size_t N> void fill(char (&field)[N], const std::string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

} // namespace

SMSMessageRecord messageRecord(const std::string& sender, const std::string& timestamp,
                               const std::string& text) {
    SMSMessageRecord record{};
    fill(record.sender, sender);
    fill(record.timestamp, timestamp);
    fill(record.text, text);
    return record;
}

SMSReportRecord reportRecord(std::int32_t status, const std::string& number,
                             const std::string& text) {
    SMSReportRecord record{};
    record.status = status;
    fill(record.number, number);
    fill(record.text, text);
    return record;
}
