// Each operation needs certain entry points; without one of them it must do nothing at all.
// CTest runs this suite once with the full stand-in (core.unit) and once per stand-in that lacks
// one entry point (core.without_<EntryPoint>, which names it in STANDIN_MISSING_ENTRY_POINT).

#include "console_fixture.h"
#include "control_ids.h"
#include "service_library.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> kEntryPoints = {
    "SMSStartService", "SMSStopSerice", "SMSSendMessage",  "SMSGetNextMessage",
    "SMSReport",       "SMSQuery",      "SMSGetLastError",
};

std::string missingEntryPoint() {
    const char* name = std::getenv("STANDIN_MISSING_ENTRY_POINT");
    return name == nullptr ? std::string() : std::string(name);
}

using EntryPointAvailability = ConsoleFixture;

TEST_F(EntryPointAvailability, TheStandInExportsWhatThisRunExpects) {
    const std::string missing = missingEntryPoint();
    for (const std::string& name : kEntryPoints) {
        EXPECT_EQ(findSymbol(loadServiceLibrary(), name.c_str()) == nullptr, name == missing)
            << name;
    }
}

TEST_F(EntryPointAvailability, AnOperationWithoutItsEntryPointsDoesNothing) {
    const struct {
        const char* name;
        std::set<std::string> needs;
        std::function<void(StandinState&)> script;
        std::function<void(CSmsConsoleDlg&)> run;
    } rows[] = {
        {"Start", {"SMSStartService"}, {}, [](CSmsConsoleDlg& c) { c.OnStart(); }},
        {"Stop", {"SMSStopSerice"}, {}, [](CSmsConsoleDlg& c) { c.OnStop(); }},
        {"Send", {"SMSSendMessage"}, {}, [](CSmsConsoleDlg& c) { c.OnSend(); }},
        {"Query", {"SMSQuery"}, {}, [](CSmsConsoleDlg& c) { c.OnQuery(); }},
        {"poll",
         {"SMSGetNextMessage", "SMSReport"},
         [](StandinState& s) {
             s.messages.push_back({messageRecord("A", "B", "hello"), 1});
             s.reports.push_back({reportRecord(1, "123", "hi"), 1});
         },
         [](CSmsConsoleDlg& c) { c.OnTimer(POLL_TIMER_ID); }},
    };
    const std::string missing = missingEntryPoint();
    for (const auto& row : rows) {
        startUp(kChineseSystem);
        *m_standin = StandinState{};
        if (row.script) {
            row.script(*m_standin);
        }
        row.run(m_console);
        const bool quiet = row.needs.count(missing) != 0;
        EXPECT_EQ(m_standin->calls.empty() && m_window.changes().empty(), quiet)
            << row.name << " with " << (missing.empty() ? "every entry point" : missing)
            << " missing";
    }
}

TEST_F(EntryPointAvailability, TheErrorReportNeedsOnlySMSGetLastError) {
    startUp(kChineseSystem);
    m_standin->startResult = 0;
    m_standin->lastErrorResult = 1;
    m_standin->lastErrorBytes = "no modem";
    m_console.OnStart();
    const std::string missing = missingEntryPoint();
    const std::string expected = missing == "SMSStartService"   ? ""
                                 : missing == "SMSGetLastError" ? "启动失败\r\n"
                                                                : "启动失败\r\nno modem\r\n";
    EXPECT_EQ(m_console.outputLog().text(), expected);
}

} // namespace
