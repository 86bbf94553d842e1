// The simulator's AT dialogue as a raw terminal client sees it over the real pty.

#include "sim_session.h"

#include <modemsim/scenario_file.h>
#include <sms/status.h>
#include <sms/tpdu.h>

#include <gtest/gtest.h>

namespace {

modemsim::Scenario quickNetwork() {
    modemsim::Scenario scenario;
    scenario.settings.reportDelay = ms(10);
    scenario.settings.loopbackDelay = ms(10);
    scenario.settings.loopbackNumber = "+15550100";
    return scenario;
}

TEST(ModemDialogue, StartUpDialogueAnswersWhatALibrarySends) {
    SimSession session;
    PtyClient& client = session.client;
    struct Step {
        const char* send;
        const char* expected;
    };
    // Echo is on until ATE0, and ATE0 itself still comes back (python-gsmmodem issue #84 log).
    const Step steps[] = {
        {"AT", "AT\r\r\nOK\r\n"},
        {"ATE0", "ATE0\r\r\nOK\r\n"},
        {"AT+CMEE=1", "\r\nOK\r\n"},
        {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+CMGF=0", "\r\nOK\r\n"},
        {"AT+CSMS?", "\r\n+CSMS: 0,1,1,1\r\n\r\nOK\r\n"},
        {"AT+CPMS=?",
         "\r\n+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n\r\nOK\r\n"},
        {"AT+CPMS=\"SM\",\"SM\",\"SM\"", "\r\n+CPMS: 0,20,0,20,0,20\r\n\r\nOK\r\n"},
        {"AT+CPMS?", "\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n"},
        {"AT+CNMI=?", "\r\n+CNMI: (0-2),(0-3),(0),(0-2),(0,1)\r\n\r\nOK\r\n"},
        {"AT+CNMI=2,1,0,1,0", "\r\nOK\r\n"},
        {"AT+CNMI?", "\r\n+CNMI: 2,1,0,1,0\r\n\r\nOK\r\n"},
        {"AT+CMGL=4", "\r\nOK\r\n"},
        {"AT+CSCA?", "\r\n+CSCA: \"+31624000000\",145\r\n\r\nOK\r\n"},
        {"AT+CSQ", "\r\n+CSQ: 20,99\r\n\r\nOK\r\n"},
        {"AT+CREG?", "\r\n+CREG: 0,1\r\n\r\nOK\r\n"},
        {"AT+CGMI", "\r\nVantrel\r\n\r\nOK\r\n"},
        {"AT+CGMM", "\r\nmodemsim\r\n\r\nOK\r\n"},
        {"AT+CGSN", "\r\n356938035643809\r\n\r\nOK\r\n"},
        // V.250's identification commands answer as the 27.007 ones (gnokii asks AT+GMM first).
        {"AT+GMI", "\r\nVantrel\r\n\r\nOK\r\n"},
        {"AT+GMM", "\r\nmodemsim\r\n\r\nOK\r\n"},
        {"AT+GMR", "\r\nmodemsim 1.0\r\n\r\nOK\r\n"},
        {"AT+GSN", "\r\n356938035643809\r\n\r\nOK\r\n"},
        {"AT+COPS=?",
         "\r\n+COPS: (2,\"modemsim\",\"modemsim\",\"20404\",0),,(0-4),(0-2)\r\n\r\nOK\r\n"},
        {"AT+COPS=3,2", "\r\nOK\r\n"},
        {"AT+COPS?", "\r\n+COPS: 0,2,\"20404\",0\r\n\r\nOK\r\n"},
        {"AT+COPS=0,0;+COPS?", "\r\n+COPS: 0,0,\"modemsim\",0\r\n\r\nOK\r\n"},
        {"AT+IFC?", "\r\n+IFC: 2,2\r\n\r\nOK\r\n"},
        {"AT+IFC=0,0;+IFC?", "\r\n+IFC: 0,0\r\n\r\nOK\r\n"},
        {"AT+IFC=?", "\r\n+IFC: (0-3),(0-2)\r\n\r\nOK\r\n"},
        {"AT+CBC", "\r\n+CBC: 2,0\r\n\r\nOK\r\n"},
        {"AT+CLCK=?",
         "\r\n+CLCK: (\"SC\",\"AO\",\"OI\",\"OX\",\"AI\",\"IR\",\"AB\",\"AG\",\"AC\",\"FD\",\"PN\")"
         "\r\n\r\nOK\r\n"},
        {"AT+CLCK=\"SC\",2", "\r\n+CLCK: 0\r\n\r\nOK\r\n"},
        {"AT+CLIP?", "\r\n+CLIP: 0,1\r\n\r\nOK\r\n"},
        {"AT+CLIP=1;+CLIP?", "\r\n+CLIP: 1,1\r\n\r\nOK\r\n"},
        {"AT+CNMA=?", "\r\n+CNMA: (0-2)\r\n\r\nOK\r\n"},
        {"AT+CNMA", "\r\n+CMS ERROR: 340\r\n"}, // nothing routed: no acknowledgement owed
        {"AT+CSMS=0", "\r\n+CSMS: 1,1,1\r\n\r\nOK\r\n"},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(client.command(step.send), step.expected) << step.send;
    }
}

// Each personality, with its own dialect and timing but a quick network, sends a message to the
// loopback number, reports it and hands the copy back.
TEST(ModemDialogue, EveryBuiltInScenarioSendsReportsAndReceives) {
    for (const std::string& name : modemsim::builtinScenarioNames()) {
        SCOPED_TRACE(name);
        auto loaded = modemsim::loadScenario(name);
        ASSERT_TRUE(std::holds_alternative<modemsim::Scenario>(loaded));
        const modemsim::Settings settings = std::get<modemsim::Scenario>(loaded).settings;
        SimSession session(std::get<modemsim::Scenario>(loaded));
        // The report after the loopback copy: where reports share SM, the copy is still slot 1.
        for (const char* quick : {"set send_delay_ms 10", "set report_delay_ms 200",
                                  "set loopback_delay_ms 10", "set loopback +15550100"}) {
            ASSERT_EQ(session.sim.control(quick), "OK\n");
        }
        PtyClient& client = session.client;
        // In step first: a modem that answers one command late (ublox-sara-g450) gives each
        // command the answer of the one before, so two commands with different answers take
        // turns until each gets its own; what came late is read away before each.
        int turn = 0;
        EXPECT_TRUE(eventually(
            [&] {
                client.readFor(ms(30));
                bool manufacturer = turn++ % 2 == 0;
                std::string reply = client.command(manufacturer ? "AT+CGMI" : "AT+CGMM", ms(500));
                const std::string& wanted = manufacturer ? settings.manufacturer : settings.model;
                const std::string& other = manufacturer ? settings.model : settings.manufacturer;
                return reply.find(wanted) != std::string::npos &&
                       reply.find(other) == std::string::npos;
            },
            ms(8000)));
        // Until the SMS stack is up.
        EXPECT_TRUE(eventually(
            [&] { return client.command("AT+CMGF=0").find("\r\nOK\r\n") != std::string::npos; },
            ms(4000)));
        // A modem that takes only <bfr> 1 and no ds 1 (cinterion-mc75i) stores the report: +CDSI.
        const std::string cnmi = client.command("AT+CNMI=?").find(",(1)\r\n") != std::string::npos
                                     ? "AT+CNMI=1,1,0,2,1"
                                     : "AT+CNMI=1,1,0,1,0";
        for (const std::string line :
             {"ATE0", "AT+CMEE=1", "AT+CPMS=\"SM\",\"SM\",\"SM\"", cnmi.c_str()}) {
            EXPECT_NE(client.command(line).find("OK\r\n"), std::string::npos) << line;
        }
        const std::string text = "你好 from " + name;
        EXPECT_TRUE(session.send(submitPdu("+15550100", text)).has_value()) << session.lastReply;
        std::string seen = client.readUntil("+CMTI: \"SM\",1\r\n");
        if (seen.find("+CDS") == std::string::npos) {
            seen += client.readUntil("+CDS");
        }
        EXPECT_NE(seen.find("+CDS"), std::string::npos) << seen;
        auto pdu = pduAfter(client.command("AT+CMGR=1"), "+CMGR:");
        ASSERT_TRUE(pdu.has_value()) << seen;
        EXPECT_EQ(std::get<sms::Deliver>(pdu->tpdu).userData.text, text);

        // Under service 1 a routed message is acknowledged; the rest every modem answers.
        for (const char* line : {"AT+CSMS=1", "AT+CNMI=1,2,0,1,0"}) {
            EXPECT_NE(client.command(line).find("OK\r\n"), std::string::npos) << line;
        }
        ASSERT_EQ(session.sim.control("deliver from=+4912345 text=routed"), "OK\n");
        EXPECT_NE(client.readUntil("+CMT: ,").find("+CMT: ,"), std::string::npos);
        client.readUntil("\r\n");
        client.readUntil("\r\n"); // the PDU
        struct Answer {
            const char* command;
            std::string expected;
        };
        const Answer answers[] = {
            {"AT+CNMA", "\r\nOK\r\n"},
            {"AT+COPS=?", "+COPS: (2,\""},
            {"AT+GMM", "\r\n" + std::get<modemsim::Scenario>(loaded).settings.model + "\r\n"},
            {"AT+CBC", "\r\n+CBC: 2,0\r\n"},
        };
        for (const Answer& answer : answers) {
            const std::string reply = client.command(answer.command);
            EXPECT_NE(reply.find(answer.expected), std::string::npos) << answer.command << reply;
            EXPECT_NE(reply.find("OK\r\n"), std::string::npos) << answer.command << reply;
        }
    }
}

// A modem opened while it boots (SIMCom A7670E, LilyGo-Modem-Series issue 247): the first
// command gets nothing, not even its echo; then the boot URCs, then answers.
TEST(ModemDialogue, PowerUpSilenceSwallowsTheFirstCommand) {
    modemsim::Scenario scenario;
    scenario.settings.powerUpSilence = ms(300);
    scenario.settings.bootUrcs = "*ATREADY: 1";
    scenario.settings.smsReadyUrc = ""; // "SMS DONE" never comes
    SimSession session(scenario);
    session.client.send("AT\r");
    EXPECT_EQ(session.client.readFor(ms(150)), "");
    EXPECT_EQ(session.client.readUntil("*ATREADY: 1\r\n"), "\r\n*ATREADY: 1\r\n");
    EXPECT_EQ(session.client.command("AT"), "AT\r\r\nOK\r\n");
}

TEST(ModemDialogue, UnknownOrMalformedCommandsAnswerError) {
    SimSession session;
    session.openService();
    const char* lines[] = {"AT+FOO",         "ATX",        "AT+CMGF=1", "AT+CNMI=3,1,0,1,0",
                           "AT+CPMS=\"XX\"", "AT+CMEE=7",  "ATE5",      "AT+COPS=1,2,\"20408\"",
                           "AT+COPS=3,5",    "AT+IFC=4,0", "AT+CNMA=3", "AT+CLIP=2"};
    for (const char* line : lines) {
        std::string reply = session.client.command(line);
        EXPECT_TRUE(reply.find("ERROR") != std::string::npos) << line << " -> " << reply;
    }
}

TEST(ModemDialogue, AtzRestoresEchoAndNumericErrorsOff) {
    SimSession session;
    session.openService();
    EXPECT_EQ(session.client.command("ATZ"), "\r\nOK\r\n");
    EXPECT_EQ(session.client.command("AT+FOO"), "AT+FOO\r\r\nERROR\r\n");
}

TEST(ModemDialogue, SendAnswersPromptThenReferencesCountingModulo256) {
    auto scenario = quickNetwork();
    scenario.settings.firstReference = 254;
    SimSession session(scenario);
    session.openService();
    EXPECT_EQ(session.client.command("AT+CMGS=20"), "\r\n> ");
    session.client.command("\x1B");
    for (int expected : {254, 255, 0, 1}) {
        EXPECT_EQ(session.send(submitPdu("+4915112345678", "Hello")), expected)
            << session.lastReply;
    }
    EXPECT_EQ(session.sim.counters().messagesAccepted, 4);
}

TEST(ModemDialogue, SendWithWrongLengthOrPduIsRefusedWith304) {
    SimSession session(quickNetwork());
    session.openService();
    auto good = submitPdu("+4915112345678", "Hello");
    struct Row {
        const char* name;
        std::size_t length;
        std::string hex;
    };
    const Row rows[] = {
        {"length one short", good.tpduLength - 1, good.hex},
        {"length one long", good.tpduLength + 1, good.hex},
        {"no service-centre field", good.tpduLength, good.hex.substr(2)},
        {"not hex", good.tpduLength, good.hex.substr(0, good.hex.size() - 2) + "ZZ"},
        {"odd digit count", good.tpduLength, good.hex + "0"},
        {"a DELIVER, not a SUBMIT", 31,
         "07911326040000F0040B911346610089F60000208062917314480CC8F71D14969741F977FD07"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(session.client.command("AT+CMGS=" + std::to_string(row.length)), "\r\n> ")
            << row.name;
        EXPECT_EQ(session.client.command(row.hex + "\x1A"), "\r\n+CMS ERROR: 304\r\n") << row.name;
    }
    EXPECT_EQ(session.sim.counters().messagesAccepted, 0);
    EXPECT_EQ(session.send(good), 0) << "a good PDU after the refusals";
}

TEST(ModemDialogue, EscapeAbortsTheSendWithOk) {
    SimSession session(quickNetwork());
    session.openService();
    auto pdu = submitPdu("+4915112345678", "Hello");
    EXPECT_EQ(session.client.command("AT+CMGS=" + std::to_string(pdu.tpduLength)), "\r\n> ");
    EXPECT_EQ(session.client.command(pdu.hex + "\x1B"), "\r\nOK\r\n");
    EXPECT_EQ(session.client.readFor(ms(60)), "") << "no +CMGS, no report";
    EXPECT_EQ(session.sim.counters().sendAttempts, 0);
    EXPECT_EQ(session.send(pdu), 0) << "the aborted message used no reference";
}

TEST(ModemDialogue, StatusReportCarriesTheReferenceAndTheConfiguredOutcome) {
    struct Row {
        const char* outcome;
        std::vector<std::uint8_t> statuses; // the reports, in order
    };
    const Row rows[] = {
        {"delivered", {0x00}},    {"failed", {0x40}}, {"expired", {0x46}},
        {"trying", {0x21, 0x00}}, {"none", {}},
    };
    for (const Row& row : rows) {
        SimSession session(quickNetwork());
        ASSERT_EQ(session.sim.control(std::string("set report ") + row.outcome), "OK\n");
        session.openService();
        session.send(submitPdu("+4915112345678", "one"));
        auto reference = session.send(submitPdu("+4915112345678", "two"));
        ASSERT_EQ(reference, 1) << row.outcome;
        // Both messages asked for reports: wait for all of them, then a little for extras.
        std::string seen;
        for (std::size_t i = 0; i < 2 * row.statuses.size(); ++i) {
            seen += session.client.readUntil("\r\n+CDS:");
            seen += session.client.readUntil("\r\n"); // the length
            seen += session.client.readUntil("\r\n"); // the PDU
        }
        seen += session.client.readFor(ms(40));
        std::vector<std::uint8_t> statuses;
        for (std::size_t i = 0; auto pdu = pduAfter(seen, "+CDS:", i); ++i) {
            const auto* report = std::get_if<sms::StatusReport>(&pdu->tpdu);
            ASSERT_NE(report, nullptr) << row.outcome;
            if (report->messageReference == 1) {
                statuses.push_back(report->status);
                EXPECT_EQ(report->recipient.text, "+4915112345678");
            }
        }
        EXPECT_EQ(statuses, row.statuses) << row.outcome << ": " << seen;
    }
}

TEST(ModemDialogue, ReportRecipientTakesTheNumberFormOfTheNetwork) {
    struct Row {
        const char* form;
        const char* sentTo;
        const char* reported;
        std::uint8_t type;
    };
    const Row rows[] = {
        {"as_sent", "+79161234567", "+79161234567", sms::kTypeInternational},
        {"national", "+79161234567", "89161234567", sms::kTypeNational},
        {"national", "+4915112345678", "+4915112345678", sms::kTypeInternational},
        {"international", "89161234567", "+79161234567", sms::kTypeInternational},
        {"international", "9161234567", "9161234567", sms::kTypeUnknown},
    };
    SimSession session(quickNetwork());
    ASSERT_EQ(session.sim.control("set country_code 7"), "OK\n");
    ASSERT_EQ(session.sim.control("set trunk_prefix 8"), "OK\n");
    session.openService();
    for (const Row& row : rows) {
        ASSERT_EQ(session.sim.control(std::string("set report_number ") + row.form), "OK\n");
        ASSERT_TRUE(session.send(submitPdu(row.sentTo, "x")).has_value()) << row.sentTo;
        std::string seen = session.client.readUntil("\r\n+CDS:");
        seen += session.client.readUntil("\r\n");
        seen += session.client.readUntil("\r\n");
        auto pdu = pduAfter(seen, "+CDS:");
        ASSERT_TRUE(pdu.has_value()) << seen;
        const auto& recipient = std::get<sms::StatusReport>(pdu->tpdu).recipient;
        EXPECT_EQ(recipient.text, row.reported) << row.form << " " << row.sentTo;
        EXPECT_EQ(recipient.type, row.type) << row.form << " " << row.sentTo;
    }
}

TEST(ModemDialogue, ReportsAreStoredAndIndicatedWithCdsiWhenDs2) {
    SimSession session(quickNetwork());
    session.openService("AT+CNMI=2,1,0,2,0");
    auto reference = session.send(submitPdu("+4915112345678", "Hello"));
    ASSERT_TRUE(reference.has_value());
    EXPECT_NE(session.client.readUntil("\r\n+CDSI: \"SR\",1\r\n").find("+CDSI"), std::string::npos);
    EXPECT_EQ(session.client.command("AT+CPMS=\"SR\""), "\r\n+CPMS: 1,10,0,20,0,20\r\n\r\nOK\r\n");
    auto pdu = pduAfter(session.client.command("AT+CMGR=1"), "+CMGR:");
    ASSERT_TRUE(pdu.has_value());
    ASSERT_TRUE(std::holds_alternative<sms::StatusReport>(pdu->tpdu));
    EXPECT_EQ(std::get<sms::StatusReport>(pdu->tpdu).messageReference, *reference);
}

TEST(ModemDialogue, LoopbackMessagesComeBackAsIncomingOnes) {
    SimSession session(quickNetwork());
    session.openService();
    const std::string text = "回环测试 loopback";
    ASSERT_TRUE(session.send(submitPdu("15550100", text)).has_value());
    std::string seen = session.client.readUntil("+CMTI: \"SM\",1\r\n");
    ASSERT_NE(seen.find("+CMTI: \"SM\",1"), std::string::npos) << seen;
    auto pdu = pduAfter(session.client.command("AT+CMGR=1"), "+CMGR:");
    ASSERT_TRUE(pdu.has_value());
    const auto& deliver = std::get<sms::Deliver>(pdu->tpdu);
    EXPECT_EQ(deliver.originator.text, "15550100");
    EXPECT_EQ(deliver.userData.text, text);
}

TEST(ModemDialogue, ScriptedIncomingMessagesArriveAsWritten) {
    SimSession session(quickNetwork());
    session.openService();
    const std::string longText(200, 'x');
    struct Row {
        const char* name;
        std::string sender;
        std::string text;
        int parts;
        std::string cut;      // "truncate=<octets>", or nothing
        std::string received; // the text decoded when it differs
    };
    const Row rows[] = {
        {"GSM 7-bit with extension characters", "+31641600986", "Price: 5€ [ok]", 1, "", ""},
        {"UCS2 Chinese", "+8613814120678", "你好，世界", 1, "", ""},
        {"two concatenated parts", "+447970011182", longText, 2, "", ""},
        {"alphanumeric sender", "InternetSMS", "тест", 1, "", ""},
        {"UCS2 cut inside a character", "+8613814120678", "你好，世界", 1, "truncate=5", "你好"},
        {"GSM 7-bit cut", "+31641600986", "hello world", 1, "truncate=3", "hel"},
        // 10 octets of part 2: the 6-octet header padded to 7 septets, then 4 septets.
        {"last part cut", "+447970011182", longText, 2, "truncate=10", longText.substr(0, 153 + 4)},
    };
    int index = 0;
    for (const Row& row : rows) {
        ASSERT_EQ(session.sim.control("deliver from=" + row.sender + " text=\"" + row.text + "\" " +
                                      row.cut),
                  "OK\n")
            << row.name;
        std::string lastUrc = "+CMTI: \"SM\"," + std::to_string(index + row.parts) + "\r\n";
        std::string seen = session.client.readUntil(lastUrc);
        std::string text;
        for (int part = 0; part < row.parts; ++part) {
            ++index;
            std::string urc = "+CMTI: \"SM\"," + std::to_string(index) + "\r\n";
            EXPECT_NE(seen.find(urc), std::string::npos) << row.name << ": " << seen;
            auto pdu =
                pduAfter(session.client.command("AT+CMGR=" + std::to_string(index)), "+CMGR:");
            ASSERT_TRUE(pdu.has_value()) << row.name;
            const auto& deliver = std::get<sms::Deliver>(pdu->tpdu);
            EXPECT_EQ(deliver.originator.text, row.sender) << row.name;
            EXPECT_EQ(deliver.userData.concatenation.has_value(), row.parts > 1) << row.name;
            EXPECT_EQ(deliver.userData.truncated, !row.cut.empty() && part + 1 == row.parts)
                << row.name << ": TP-UDL still announces the whole part";
            text += deliver.userData.text;
        }
        EXPECT_EQ(text, row.received.empty() ? row.text : row.received) << row.name;
    }
    EXPECT_EQ(session.sim.control("deliver from=+1 text=hello truncate=5"),
              "ERROR: truncate=5 is not shorter than the 5 octets of user data\n");
}

TEST(ModemDialogue, StoredMessagesAreListedReadAndDeleted) {
    SimSession session(quickNetwork());
    for (const char* text : {"first", "second", "third"}) {
        ASSERT_EQ(session.sim.control(std::string("store from=+4912345 text=") + text), "OK\n");
    }
    session.openService();
    PtyClient& client = session.client;
    std::string unread = client.command("AT+CMGL=0");
    EXPECT_EQ(pduAfter(unread, "+CMGL: 1,0,,").has_value(), true) << unread;
    EXPECT_NE(unread.find("+CMGL: 3,0,,"), std::string::npos);
    EXPECT_EQ(client.command("AT+CMGL=0"), "\r\nOK\r\n") << "listing marked them read";
    EXPECT_NE(client.command("AT+CMGL=1").find("+CMGL: 2,1,,"), std::string::npos);

    auto second = pduAfter(client.command("AT+CMGR=2"), "+CMGR: 1,,");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(std::get<sms::Deliver>(second->tpdu).userData.text, "second");

    EXPECT_EQ(client.command("AT+CMGD=2"), "\r\nOK\r\n");
    EXPECT_EQ(client.command("AT+CMGR=2"), "\r\n+CMS ERROR: 321\r\n");
    EXPECT_EQ(client.command("AT+CMGD=99"), "\r\n+CMS ERROR: 321\r\n");
    EXPECT_EQ(session.sim.storedMessages().size(), 2u);

    // A draft and a message already sent, kept by the user: listed with their stat only.
    ASSERT_EQ(session.sim.control("store to=+4915112345678 text=draft stat=2"), "OK\n");
    ASSERT_EQ(session.sim.control("store to=+4915112345678 text=sent stat=3"), "OK\n");
    EXPECT_EQ(client.readFor(ms(30)), "") << "never indicated";
    EXPECT_EQ(client.command("AT+CMGL=0"), "\r\nOK\r\n");
    const std::string all = client.command("AT+CMGL=4");
    auto draft = pduAfter(all, "+CMGL: 2,2,,");
    ASSERT_TRUE(draft.has_value()) << all;
    EXPECT_EQ(std::get<sms::Submit>(draft->tpdu).destination.text, "+4915112345678");
    EXPECT_EQ(std::get<sms::Submit>(draft->tpdu).userData.text, "draft");
    EXPECT_TRUE(pduAfter(all, "+CMGL: 4,3,,").has_value()) << all;
    EXPECT_EQ(client.command("AT+CMGD=1,1"), "\r\nOK\r\n");
    EXPECT_EQ(session.sim.storedMessages().size(), 2u) << "deleting the read ones keeps them";
    EXPECT_EQ(client.command("AT+CMGD=1,4"), "\r\nOK\r\n");
    EXPECT_EQ(client.command("AT+CMGL=4"), "\r\nOK\r\n");
}

TEST(ModemDialogue, FullMemoryHoldsIncomingAndRefusesWritesWith322) {
    auto scenario = quickNetwork();
    scenario.settings.capacitySm = 2;
    SimSession session(scenario);
    session.openService();
    for (const char* text : {"one", "two", "three"}) {
        ASSERT_EQ(session.sim.control(std::string("deliver from=+4912345 text=") + text), "OK\n");
    }
    std::string seen = session.client.readUntil("+CMTI: \"SM\",2\r\n");
    EXPECT_NE(seen.find("+CMTI: \"SM\",2"), std::string::npos) << seen;
    seen += session.client.readFor(ms(30));
    EXPECT_EQ(seen.find("+CMTI: \"SM\",3"), std::string::npos) << seen;
    EXPECT_EQ(session.sim.counters().messagesWaiting, 1);

    auto pdu = submitPdu("+4915112345678", "draft");
    EXPECT_EQ(session.client.command("AT+CMGW=" + std::to_string(pdu.tpduLength)), "\r\n> ");
    EXPECT_EQ(session.client.command(pdu.hex + "\x1A"), "\r\n+CMS ERROR: 322\r\n");

    // Freeing a slot lets the network hand over the message it held.
    EXPECT_EQ(session.client.command("AT+CMGD=1"), "\r\nOK\r\n");
    EXPECT_NE(session.client.readUntil("+CMTI: \"SM\",1\r\n").find("+CMTI"), std::string::npos);
    EXPECT_EQ(session.sim.counters().messagesWaiting, 0);
}

TEST(ModemDialogue, SimStateRegistrationAndIdentityShowInTheAnswers) {
    struct Row {
        const char* setting;
        const char* command;
        const char* expected;
    };
    const Row rows[] = {
        {"set sim pin", "AT+CPIN?", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"},
        {"set sim pin", "AT+CPMS?", "\r\n+CMS ERROR: 311\r\n"},
        {"set sim absent", "AT+CPIN?", "\r\n+CME ERROR: 10\r\n"},
        {"set registration 0", "AT+CREG?", "\r\n+CREG: 0,0\r\n\r\nOK\r\n"},
        {"set smsc \"\"", "AT+CSCA?", "\r\n+CSCA: \"\",129\r\n\r\nOK\r\n"},
        {"set operator_name \"Vodafone NL\"", "AT+COPS?",
         "\r\n+COPS: 0,0,\"Vodafone NL\",0\r\n\r\nOK\r\n"},
        {"set eps_registration 5", "AT+COPS?", "\r\n+COPS: 0,0,\"modemsim\",7\r\n\r\nOK\r\n"},
        {"set registration 2", "AT+COPS?", "\r\n+COPS: 0\r\n\r\nOK\r\n"},
        {"set cfun 4", "AT+COPS?", "\r\n+COPS: 0\r\n\r\nOK\r\n"},
        {"set own_number +31612345678", "AT+CNUM",
         "\r\n+CNUM: ,\"+31612345678\",145\r\n\r\nOK\r\n"},
        {"set own_number 0612345678", "AT+CNUM", "\r\n+CNUM: ,\"0612345678\",129\r\n\r\nOK\r\n"},
        {"set own_number \"\"", "AT+CNUM", "\r\nOK\r\n"},
        {"set cfun 4", "AT+COPS=?", "\r\n+COPS: ,,(0-4),(0-2)\r\n\r\nOK\r\n"},
        {"set registration 3", "AT+COPS=?",
         "\r\n+COPS: (1,\"modemsim\",\"modemsim\",\"20404\",0),,(0-4),(0-2)\r\n\r\nOK\r\n"},
        {"set operator_short_name Voda", "AT+COPS=3,1;+COPS?",
         "\r\n+COPS: 0,1,\"Voda\",0\r\n\r\nOK\r\n"},
        {"set sim pin", "AT+CLCK=\"SC\",2", "\r\n+CLCK: 1\r\n\r\nOK\r\n"},
    };
    for (const Row& row : rows) {
        SimSession session;
        ASSERT_EQ(session.sim.control(row.setting), "OK\n") << row.setting;
        session.client.command("ATE0");
        session.client.command("AT+CMEE=1");
        EXPECT_EQ(session.client.command(row.command), row.expected) << row.setting;
    }
    SimSession unregistered;
    unregistered.sim.control("set registration 2");
    unregistered.openService();
    EXPECT_FALSE(unregistered.send(submitPdu("+4915112345678", "x")).has_value());
    EXPECT_EQ(unregistered.lastReply, "\r\n+CMS ERROR: 331\r\n");
}

} // namespace
