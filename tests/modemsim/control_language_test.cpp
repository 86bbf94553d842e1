// The control language and the AT command-line parsing: pure functions over strings.

#include "at_command.h"
#include "at_line_reader.h"
#include "control_command.h"

#include <modemsim/scenario_file.h>

#include <gtest/gtest.h>

namespace {

using namespace modemsim;

TEST(ControlLanguage, ParsesEachCommandForm) {
    auto set = parseControlLine("set report_delay_ms 250");
    ASSERT_TRUE(set.ok());
    EXPECT_EQ(std::get<SetCommand>(set.command()).name, "report_delay_ms");
    EXPECT_EQ(std::get<SetCommand>(set.command()).value, "250");

    auto deliver = parseControlLine(R"(deliver from=+8613814120678 text="你好 \"quoted\"\nline")");
    ASSERT_TRUE(deliver.ok()) << deliver.error();
    const auto& message = std::get<DeliverCommand>(deliver.command()).message;
    EXPECT_EQ(message.sender, "+8613814120678");
    EXPECT_EQ(message.text, "你好 \"quoted\"\nline");

    EXPECT_EQ(
        std::get<StoreCommand>(parseControlLine("store from=+1 text=x stat=1").command()).stat,
        MessageStat::ReceivedRead);

    auto fail = parseControlLine("fail-next-send 330");
    ASSERT_TRUE(fail.ok());
    EXPECT_EQ(std::get<FailNextSendCommand>(fail.command()).code, 330);
    EXPECT_EQ(std::get<FailNextSendCommand>(parseControlLine("fail-next-send").command()).code,
              500);

    auto raw = parseControlLine(R"(raw "\r\n+CMTI: \"SM\",1\x1A\\")");
    ASSERT_TRUE(raw.ok()) << raw.error();
    EXPECT_EQ(std::get<RawCommand>(raw.command()).bytes, "\r\n+CMTI: \"SM\",1\x1A\\");
    EXPECT_EQ(std::get<ResetCommand>(parseControlLine("reset").command()).silence.count(), 1000);
    EXPECT_EQ(std::get<ResetCommand>(parseControlLine("reset 250").command()).silence.count(), 250);
    EXPECT_EQ(
        std::get<SetCommand>(parseControlLine(R"(set boot_urcs "RDY\nSMS Ready")").command()).value,
        "RDY\nSMS Ready");

    auto later = parseControlLine("on-cnmi 1500 deliver from=Shop text=\"Welcome\"");
    ASSERT_TRUE(later.ok());
    const auto& scripted = std::get<ScheduleCommand>(later.command()).scripted;
    EXPECT_EQ(scripted.trigger, Trigger::Cnmi);
    EXPECT_EQ(scripted.delay.count(), 1500);
    EXPECT_EQ(scripted.command, "deliver from=Shop text=\"Welcome\"");
}

TEST(ControlLanguage, RejectsMalformedLinesWithAReason) {
    const char* lines[] = {
        "teleport now",
        "set onlyname",
        "deliver text=\"no sender\"",
        "deliver from=+1 text=\"unterminated",
        "deliver from=+1 text=x colour=red",
        "fail-next-send soon",
        "at soon deliver from=+1 text=x",
        "at 10 at 20 hangup",
        "at 10 nonsense",
        "hangup now",
        "raw unquoted",
        "raw \"\\xZZ\"",
        "reset soon",
        "set boot_urcs \"RDY\"x\"",
        "deliver from=+1 text=x truncate=many",
        "deliver from=+1 text=x stat=1",
        "store from=+1 text=x stat=2",
        "store to=+1 text=x",
        "store to=+1 text=x stat=4",
        "store to=+1 text=x stat=3 truncate=2",
        "store from=+1 from=+2 text=x",
    };
    for (const char* line : lines) {
        auto parsed = parseControlLine(line);
        EXPECT_FALSE(parsed.ok()) << line;
        if (!parsed.ok()) {
            EXPECT_FALSE(parsed.error().empty()) << line;
        }
    }
}

TEST(ScenarioFile, SetLinesShapeTheScenarioAndOtherLinesBecomeTheScript) {
    auto loaded = parseScenario("# comment\n"
                                "\n"
                                "set send_delay_ms 1000\n"
                                "set report expired\n"
                                "set prompt crlf\n"
                                "set sim_busy 3\n"
                                "set split_bytes on\n"
                                "store from=+1 text=old\n"
                                "at 500 hangup\n");
    ASSERT_TRUE(std::holds_alternative<Scenario>(loaded)) << std::get<std::string>(loaded);
    const auto& scenario = std::get<Scenario>(loaded);
    EXPECT_EQ(scenario.settings.sendDelay.count(), 1000);
    EXPECT_EQ(scenario.settings.reportOutcome, ReportOutcome::Expired);
    EXPECT_EQ(scenario.faults.prompt, PromptStyle::CrLf);
    EXPECT_EQ(scenario.faults.simBusyCommands, 3);
    EXPECT_TRUE(scenario.faults.splitBytes);
    ASSERT_EQ(scenario.script.size(), 2u);
    EXPECT_EQ(scenario.script[0].delay.count(), 0);
    EXPECT_EQ(scenario.script[1].command, "hangup");
    EXPECT_EQ(scenario.script[1].delay.count(), 500);
}

TEST(ScenarioFile, ErrorsNameTheLine) {
    struct Row {
        const char* text;
        const char* error;
    };
    const Row rows[] = {
        {"set colour blue\n", "line 1: unknown setting 'colour'"},
        {"\n# x\nset report maybe\n", "line 3: 'maybe' is not delivered, failed, expired"},
        {"set signal 100\n", "line 1: '100' is not a number in range"},
        {"set silent perhaps\n", "line 1: 'perhaps' is not on or off"},
        {"set trunk_prefix +8\n", "line 1: '+8' is not digits"},
        {"set report_number local\n", "line 1: 'local' is not as_sent, national or international"},
        {"status\n", "line 1: status and list belong to the control channel"},
    };
    for (const Row& row : rows) {
        auto loaded = parseScenario(row.text);
        ASSERT_TRUE(std::holds_alternative<std::string>(loaded)) << row.text;
        EXPECT_EQ(std::get<std::string>(loaded).rfind(row.error, 0), 0u)
            << std::get<std::string>(loaded);
    }
}

TEST(ScenarioFile, TheDemoIsBuiltIn) {
    auto loaded = loadScenario("demo");
    ASSERT_TRUE(std::holds_alternative<Scenario>(loaded)) << std::get<std::string>(loaded);
    const auto& demo = std::get<Scenario>(loaded);
    EXPECT_EQ(demo.settings.sendDelay.count(), 1000);
    EXPECT_FALSE(demo.settings.loopbackNumber.empty());
    ASSERT_EQ(demo.script.size(), 1u);
    EXPECT_EQ(demo.script[0].trigger, Trigger::Cnmi);
    for (const std::string& name : builtinScenarioNames()) {
        auto builtin = loadScenario(name);
        EXPECT_TRUE(std::holds_alternative<Scenario>(builtin))
            << name << ": " << std::get<std::string>(builtin);
    }
}

TEST(AtCommandLine, SplitsNameFormAndArguments) {
    struct Row {
        const char* body;
        const char* name;
        AtCommand::Form form;
        const char* arguments;
    };
    const Row rows[] = {
        {"+cmgs=23", "+CMGS", AtCommand::Form::Set, "23"},
        {"+CPMS?", "+CPMS", AtCommand::Form::Read, ""},
        {"+CNMI=?", "+CNMI", AtCommand::Form::Test, ""},
        {"+CSQ", "+CSQ", AtCommand::Form::Execute, ""},
        {"+CSCA=\"+316\",145", "+CSCA", AtCommand::Form::Set, "\"+316\",145"},
    };
    for (const Row& row : rows) {
        auto command = parseExtendedCommand(row.body);
        ASSERT_TRUE(command.has_value()) << row.body;
        EXPECT_EQ(command->name, row.name) << row.body;
        EXPECT_EQ(command->form, row.form) << row.body;
        EXPECT_EQ(command->arguments, row.arguments) << row.body;
    }
    const std::pair<const char*, std::vector<std::string>> lines[] = {
        {"+CMEE=1;+CREG=2", {"+CMEE=1", "+CREG=2"}},
        {"E0V1+CMEE=1;+CSCA=\"+31;6\";", {"E0V1", "+CMEE=1", "+CSCA=\"+31;6\""}},
        {"Z^CURC=0", {"Z", "^CURC=0"}},
        {"", {}},
    };
    for (const auto& [body, commands] : lines) {
        EXPECT_EQ(splitCommandLine(body), commands) << body;
    }
    EXPECT_FALSE(parseExtendedCommand("+").has_value());
    EXPECT_FALSE(parseExtendedCommand("+CPMS?x").has_value());
    EXPECT_EQ(splitArguments(" \"SM\", \"a,b\" ,,3"),
              (std::vector<std::string>{"SM", "a,b", "", "3"}));
    EXPECT_TRUE(splitArguments("  ").empty());
}

TEST(AtLineReader, CutsLinesAndPdus) {
    // A line with a typo corrected by backspace, a prompt's PDU, an aborted one.
    const std::string input = std::string("ATX\bE0\r\nAT+CMGS=5\r") + "0011\r\n22\x1A" +
                              "\x1B\x1A" + "AT+CMGS=1\r" + "99\x1B";
    std::vector<AtLineReader::Event> events;
    AtLineReader reader;
    for (char byte : input) {
        if (auto event = reader.feed(byte)) {
            events.push_back(*event);
            if (event->text.rfind("AT+CMGS", 0) == 0) {
                reader.expectPdu();
            }
        }
    }
    ASSERT_EQ(events.size(), 5u) << "ESC and Ctrl-Z outside a prompt mean nothing";
    EXPECT_EQ(events[0].text, "ATE0");
    EXPECT_EQ(events[1].text, "AT+CMGS=5");
    EXPECT_EQ(events[2].kind, AtLineReader::EventKind::PduSubmitted);
    EXPECT_EQ(events[2].text, "001122");
    EXPECT_EQ(events[3].text, "AT+CMGS=1");
    EXPECT_EQ(events[4].kind, AtLineReader::EventKind::PduCancelled);
}

} // namespace
