// Each fault switch, turned on after a normal start-up, changes what the client sees.

#include "sim_session.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using modemsim::Faults;

// What the client does after the switch is on: bytes to send (or, starting with "ctl:", a
// control command) and what must, and must not, show up in what it reads back.
struct Step {
    std::string input;
    std::string expected; // empty: read for a short while instead
    std::string absent;
};

struct Row {
    const char* name;
    std::function<void(Faults&)> fault;
    std::vector<Step> steps;
};

std::string sendPdu(const sms::OutgoingPdu& pdu) {
    return pdu.hex + "\x1A";
}
std::string cmgs(const sms::OutgoingPdu& pdu) {
    return "AT+CMGS=" + std::to_string(pdu.tpduLength) + "\r";
}

TEST(FaultSwitches, EachSwitchChangesWhatTheClientSees) {
    const auto pdu = submitPdu("+4915112345678", "Hello");
    const Row rows[] = {
        {"silent", [](Faults& f) { f.silent = true; }, {{"AT\r", "", "OK"}}},
        {"echo_stuck",
         [](Faults& f) { f.echoStuck = true; },
         {{"ATE0\r", "OK\r\n", ""}, {"AT+CSQ\r", "AT+CSQ\r\r\n+CSQ", ""}}},
        {"urc_flood before a reply",
         [](Faults& f) { f.urcFlood = true; },
         {{"AT\r", "\r\n^RSSI:20\r\n\r\nOK\r\n", ""}}},
        {"urc_flood before the prompt",
         [](Faults& f) { f.urcFlood = true; },
         {{cmgs(pdu), "+ZPASR: \"UMTS\"\r\n\r\n> ", ""}, {"\x1B", "OK\r\n", ""}}},
        {"urc_flood while idle",
         [](Faults& f) {
             f.urcFlood = true;
             f.urcFloodPeriod = ms(10);
         },
         {{"", "^RSSI:20\r\n", ""}}},
        {"prompt bare",
         [](Faults& f) { f.prompt = modemsim::PromptStyle::Bare; },
         {{cmgs(pdu), "", "\r"}, {sendPdu(pdu), "+CMGS: 0\r\n", ""}}},
        {"prompt crlf",
         [](Faults& f) { f.prompt = modemsim::PromptStyle::CrLf; },
         {{cmgs(pdu), "\r\n>\r\n", ""}}},
        {"cpin_without_ok",
         [](Faults& f) { f.cpinWithoutOk = true; },
         {{"AT+CPIN?\r", "+CPIN: READY\r\n", ""}, {"", "", "OK"}, {"AT\r", "\r\nOK\r\n", ""}}},
        {"fail_send on the second send",
         [](Faults& f) { f.failSend = 2; },
         {{cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "+CMGS: 0\r\n\r\nOK\r\n", ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "\r\n+CMS ERROR: 500\r\n", "+CMGS"},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "+CMGS: 1\r\n", ""}}},
        {"fail-next-send from the control channel",
         [](Faults&) {},
         {{"ctl:fail-next-send 330", "", ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "\r\n+CMS ERROR: 330\r\n", "+CMGS"}}},
        {"sim_busy for two SIM commands",
         [](Faults& f) { f.simBusyCommands = 2; },
         {{"AT+CPIN?\r", "\r\n+CME ERROR: 14\r\n", ""},
          {"AT\r", "\r\nOK\r\n", ""},
          {"AT+CSCA?\r", "\r\n+CME ERROR: 14\r\n", ""},
          {"AT+CPIN?\r", "\r\n+CPIN: READY\r\n\r\nOK\r\n", ""}}},
        {"storage_full",
         [](Faults& f) { f.storageFull = true; },
         {{"ctl:deliver from=+4912345 text=hi", "", "+CMTI"},
          {"AT+CPMS?\r", "+CPMS: \"SM\",20,20,", ""},
          {"AT+CMGW=" + std::to_string(pdu.tpduLength) + "\r", "> ", ""},
          {sendPdu(pdu), "\r\n+CMS ERROR: 322\r\n", ""},
          {"ctl:set storage_full off", "+CMTI: \"SM\",1\r\n", ""}}},
        {"command_not_support",
         [](Faults& f) { f.commandNotSupport = true; },
         {{"AT+CFOO\r", "\r\nCOMMAND NOT SUPPORT\r\n", ""}}},
        {"cds_form no_space",
         [](Faults& f) { f.cdsForm = modemsim::CdsForm::NoSpace; },
         {{cmgs(pdu), "> ", ""}, {sendPdu(pdu), "\r\n+CDS:2", ""}}},
        {"cds_form comma",
         [](Faults& f) { f.cdsForm = modemsim::CdsForm::Comma; },
         {{cmgs(pdu), "> ", ""}, {sendPdu(pdu), "\r\n+CDS: ,2", ""}}},
        {"urc_inside_response",
         [](Faults& f) { f.urcInsideResponse = true; },
         {{"ctl:deliver from=+4912345 text=hi", "", "+CMTI"},
          {"AT+CPMS?\r",
           "+CPMS: \"SM\",1,20,\"SM\",1,20,\"SM\",1,20\r\n\r\n+CMTI: \"SM\",1\r\n\r\nOK", ""}}},
        {"route_and_store",
         [](Faults& f) { f.routeAndStore = true; },
         {{"ctl:deliver from=+4912345 text=hi", "\r\n+CMT: ,", ""},
          {"", "\r\n+CMTI: \"SM\",1\r\n", ""},
          {"AT+CMGL=4\r", "+CMGL: 1,", ""}}},
        {"refuse_cnmi_mode2",
         [](Faults& f) { f.refuseCnmiMode2 = true; },
         {{"AT+CNMI=2,1,0,1,0\r", "\r\n+CMS ERROR: 303\r\n", ""},
          {"AT+CNMI=1,1,0,1,0\r", "\r\nOK\r\n", ""}}},
        {"refuse_cnmi_ds1",
         [](Faults& f) { f.refuseCnmiDs1 = true; },
         {{"AT+CNMI=2,1,0,1,0\r", "\r\n+CMS ERROR: 303\r\n", ""},
          {"AT+CNMI=2,1,0,2,0\r", "\r\nOK\r\n", ""}}},
        {"reports_in_sm",
         [](Faults& f) { f.reportsInSm = true; },
         {{"AT+CNMI=2,1,0,2,0\r", "OK\r\n", ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "\r\n+CDSI: \"SM\",1\r\n", ""}}},
        {"cmgr_without_stat",
         [](Faults& f) { f.cmgrWithoutStat = true; },
         {{"ctl:store from=+4912345 text=hi", "", ""}, {"AT+CMGR=1\r", "\r\n+CMGR: ,,", ""}}},
        {"cmgl_without_alpha",
         [](Faults& f) { f.cmglWithoutAlpha = true; },
         {{"ctl:store from=+4912345 text=hi", "", ""}, {"AT+CMGL=4\r", "\r\n+CMGL: 1,0,1", ",,"}}},
        {"atz_error", [](Faults& f) { f.atzError = true; }, {{"ATZ\r", "\r\nERROR\r\n", ""}}},
    };
    modemsim::Scenario scenario;
    scenario.settings.reportDelay = ms(5);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimSession session(scenario);
        session.openService();
        Faults faults = session.sim.faults();
        row.fault(faults);
        session.sim.setFaults(faults);
        for (const Step& step : row.steps) {
            SCOPED_TRACE(step.input);
            if (step.input.rfind("ctl:", 0) == 0) {
                EXPECT_EQ(session.sim.control(step.input.substr(4)), "OK\n");
            } else {
                session.client.send(step.input);
            }
            std::string seen = step.expected.empty() ? session.client.readFor(ms(40))
                                                     : session.client.readUntil(step.expected);
            if (!step.expected.empty()) {
                EXPECT_NE(seen.find(step.expected), std::string::npos) << seen;
            }
            if (!step.absent.empty()) {
                EXPECT_EQ(seen.find(step.absent), std::string::npos) << seen;
            }
        }
    }
}

TEST(FaultSwitches, SplitBytesSendsEveryByteInAWriteOfItsOwn) {
    SimSession session;
    session.openService();
    int before = session.client.reads();
    EXPECT_EQ(session.client.command("AT+CSQ"), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    int whole = session.client.reads() - before;

    auto faults = session.sim.faults();
    faults.splitBytes = true;
    session.sim.setFaults(faults);
    before = session.client.reads();
    EXPECT_EQ(session.client.command("AT+CSQ"), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    int split = session.client.reads() - before;
    EXPECT_LE(whole, 2);
    // 21 bytes 1 ms apart: even a slow reader on a busy machine sees many of them alone.
    EXPECT_GE(split, 5);
}

TEST(FaultSwitches, CommandDelayHoldsEveryReply) {
    SimSession session;
    session.openService();
    auto faults = session.sim.faults();
    faults.commandDelay = ms(150);
    session.sim.setFaults(faults);
    session.client.send("AT\r");
    EXPECT_EQ(session.client.readFor(ms(100)), "");
    EXPECT_EQ(session.client.readUntil("OK\r\n", ms(1000)), "\r\nOK\r\n");
}

TEST(FaultSwitches, HangUpClosesTheLine) {
    SimSession session;
    session.openService();
    session.sim.hangUp();
    EXPECT_TRUE(session.client.waitForHangUp(ms(1000)));
    EXPECT_EQ(session.sim.control("status").rfind("commands ", 0), 0u)
        << "the control side keeps working";
}

} // namespace
