// Each fault switch, turned on after a normal start-up, changes what the client sees.

#include "sim_session.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Eleven plain commands: which replies the flood's ^RSSI comes in front of (counting from 1).
std::vector<Step> floodedReplies(const std::vector<int>& hit) {
    std::vector<Step> steps;
    for (int reply = 1; reply <= 11; ++reply) {
        bool expected = std::find(hit.begin(), hit.end(), reply) != hit.end();
        steps.push_back(expected ? Step{"AT\r", "\r\n^RSSI:20\r\n\r\nOK\r\n", ""}
                                 : Step{"AT\r", "\r\nOK\r\n", "^RSSI"});
    }
    return steps;
}

TEST(FaultSwitches, EachSwitchChangesWhatTheClientSees) {
    const auto pdu = submitPdu("+4915112345678", "Hello");
    const Row rows[] = {
        {"silent", [](Faults& f) { f.silent = true; }, {{"AT\r", "", "OK"}}},
        {"echo_stuck",
         [](Faults& f) { f.echoStuck = true; },
         {{"ATE0\r", "OK\r\n", ""}, {"AT+CSQ\r", "AT+CSQ\r\r\n+CSQ", ""}}},
        {"urc_flood before a reply",
         [](Faults& f) {
             f.urcFlood = true;
             f.urcInReply = modemsim::UrcInReply::Always;
         },
         {{"AT\r", "\r\n^RSSI:20\r\n\r\nOK\r\n", ""}}},
        {"urc_flood before the prompt",
         [](Faults& f) {
             f.urcFlood = true;
             f.urcInReply = modemsim::UrcInReply::Always;
         },
         {{cmgs(pdu), "+ZPASR: \"UMTS\"\r\n\r\n> ", ""}, {"\x1B", "OK\r\n", ""}}},
        {"urc_flood while idle",
         [](Faults& f) {
             f.urcFlood = true;
             f.urcFloodPeriod = ms(10);
         },
         {{"", "^RSSI:20\r\n", ""}}},
        {"urc_flood stopped by Huawei's AT^CURC=0",
         [](Faults& f) {
             f.urcFlood = true;
             f.urcFloodPeriod = ms(10);
         },
         {{"AT^CURC=0;^PORTSEL=1\r", "OK\r\n", ""}, {"", "", "^RSSI"}}},
        // The idle period is long here, so that only the replies can bring a ^RSSI.
        {"urc_in_reply sometimes: the 3rd reply and every 8th after it",
         [](Faults& f) {
             f.urcFlood = true;
             f.urcFloodPeriod = ms(60000);
             f.urcInReply = modemsim::UrcInReply::Sometimes;
         },
         floodedReplies({3, 11})},
        {"urc_in_reply never",
         [](Faults& f) {
             f.urcFlood = true;
             f.urcFloodPeriod = ms(60000);
         },
         floodedReplies({})},
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
        // The network takes the message whatever AT+CMGS answers: its report still comes.
        {"send_result error_500",
         [](Faults& f) { f.sendResult = modemsim::SendResult::Error500; },
         {{cmgs(pdu), "> ", ""}, {sendPdu(pdu), "\r\n+CMS ERROR: 500\r\n\r\n+CDS: ", "+CMGS"}}},
        {"send_result error",
         [](Faults& f) { f.sendResult = modemsim::SendResult::Error; },
         {{cmgs(pdu), "> ", ""}, {sendPdu(pdu), "\r\nERROR\r\n\r\n+CDS: ", "+CMGS"}}},
        {"send_result none",
         [](Faults& f) { f.sendResult = modemsim::SendResult::None; },
         {{cmgs(pdu), "> ", ""}, {sendPdu(pdu), "\r\n+CDS: ", "OK"}, {"AT\r", "\r\nOK\r\n", ""}}},
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
        // Cinterion MC75i (gammu issue 1206, PR 1207): only the offered values.
        {"narrow_ranges",
         [](Faults& f) { f.narrowRanges = true; },
         {{"AT+CNMI=?\r", "\r\n+CNMI: (0-3),(0,1),(0,2,3),(0,2),(1)\r\n", ""},
          {"AT+CNMI=2,1,0,2,0\r", "\r\n+CMS ERROR:538\r\n", ""},
          {"AT+CNMI=2,1,0,2,1\r", "\r\nOK\r\n", ""},
          {"AT+CPMS=?\r",
           "+CPMS: (\"ME\",\"SM\",\"MT\"),(\"ME\",\"SM\",\"MT\"),(\"SM\",\"MT\")\r\n", ""},
          {"AT+CPMS=\"ME\",\"ME\",\"ME\"\r", "\r\n+CMS ERROR:538\r\n", ""},
          {"AT+CPMS=\"ME\",\"ME\",\"SM\"\r", "\r\n+CPMS: 0,20,0,20,0,20\r\n\r\nOK\r\n", ""}}},
        // SIM800L (raspberry-pi-sim800l-gsm-module issue 4): the refusal, then a prompt that
        // takes a command as text.
        {"prompt_after_refusal with fail_send",
         [](Faults& f) {
             f.promptAfterRefusal = true;
             f.failSend = 1;
         },
         {{cmgs(pdu), "\r\n+CMS ERROR: 500\r\n", "> "},
          {"", "\r\n> ", ""},
          {"AT+CSQ\r", "", "+CSQ:"},
          {"\x1A", "\r\n+CMS ERROR: 500\r\n", ""},
          {"AT+CSQ\r", "\r\n+CSQ: 20,99\r\n", ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "+CMGS: 0\r\n", ""}}},
        // SIM900 MMS firmware (serialport-gsm issue 60): the parts of a long push, then a short.
        {"mms_push_cmti",
         [](Faults& f) { f.mmsPushIndication = true; },
         {{"ctl:deliver from=+4912345 text=\"" + std::string(170, 'm') + "\"",
           "\r\n+CMTI: \"SM\",1,\"MMS PUSH\",2,1\r\n", ""},
          {"", "\r\n+CMTI: \"SM\",2,\"MMS PUSH\",2,2\r\n", ""},
          {"ctl:deliver from=+4912345 text=hi", "\r\n+CMTI: \"SM\",3,\"MMS PUSH\"\r\n", ""}}},
        // The modem's own states, set from the control side.
        {"result_mode numeric, back with ATV1",
         [](Faults&) {},
         {{"ctl:set result_mode numeric", "", ""},
          {"AT+CSQ\r", "+CSQ: 20,99\r\n0\r", "OK"},
          {"AT+FOO\r", "4\r", ""},
          {"ATV1\r", "\r\nOK\r\n", ""}}},
        {"result_mode quiet, back with ATZ",
         [](Faults&) {},
         {{"ctl:set result_mode quiet", "", ""},
          {"AT+CSQ\r", "\r\n+CSQ: 20,99\r\n", ""},
          {"", "", "OK"},
          {"ATZ\r", "\r\nOK\r\n", ""}}},
        {"chained commands stop at the first error",
         [](Faults&) {},
         {{"AT+CMEE=2;+CREG=2;+CREG?\r", "\r\n+CREG: 2,1,\"00C3\",\"0F5F\"\r\n\r\nOK\r\n", ""},
          {"ATE0V1+CSQ;+FOO;+CSQ\r", "\r\n+CSQ: 20,99\r\n\r\nERROR\r\n",
           "+CSQ: 20,99\r\n\r\n+CSQ"}}},
        {"cfun 4: registered nowhere until AT+CFUN=1 and the register delay",
         [](Faults&) {},
         {{"ctl:set cfun 4", "", ""},
          {"ctl:set register_delay_ms 30", "", ""},
          {"AT+CFUN?;+CREG?;+CSQ\r", "+CFUN: 4\r\n\r\n+CREG: 0,0\r\n\r\n+CSQ: 99,99", ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "\r\n+CMS ERROR: 331\r\n", ""},
          {"AT+CFUN=1;+CREG?\r", "+CREG: 0,0\r\n\r\nOK", ""},
          {"", "", ""},
          {"AT+CREG?\r", "+CREG: 0,1\r\n", ""}}},
        {"LTE only: +CREG 0 with +CEREG 1 sends",
         [](Faults&) {},
         {{"ctl:set registration 0", "", ""},
          {"ctl:set eps_registration 1", "", ""},
          {"AT+CREG?;+CGREG?;+CEREG?\r", "+CREG: 0,0\r\n\r\n+CGREG: 0,0\r\n\r\n+CEREG: 0,1\r\n",
           ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "+CMGS: 0\r\n", ""}}},
        {"registered for SMS only (+CREG 6) sends",
         [](Faults&) {},
         {{"ctl:set registration 6", "", ""},
          {"ctl:set gprs_registration 0", "", ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "+CMGS: 0\r\n", ""}}},
        {"reset: silence, boot URCs, SMS stack late, power-up profile, messages kept",
         [](Faults&) {},
         {{"ctl:store from=+4912345 text=kept", "", ""},
          {"ctl:set boot_urcs \"RDY\\n+CPIN: READY\"", "", ""},
          {"ctl:set sms_ready_ms 150", "", ""},
          {"ctl:reset 100", "", ""},
          {"AT\r", "", "OK"},
          {"", "\r\nRDY\r\n\r\n+CPIN: READY\r\n", "AT"},
          {"AT+CMGF=0\r", "AT+CMGF=0\r\r\nERROR\r\n", ""},
          {"", "\r\nSMS Ready\r\n", ""},
          {"AT+CNMI?;+CPMS?\r", "+CNMI: 0,0,0,0,0\r\n\r\n+CPMS: \"SM\",1,", ""}}},
        // SIMCom A7670E booting (LilyGo-Modem-Series issue 247): deaf, its URCs, +CREG stat 11,
        // a plain ERROR for SMS commands until the SMS stack is up.
        {"A7670E boot: searching_stat 11, sms_not_ready_plain",
         [](Faults& f) { f.smsNotReadyPlain = true; },
         {{"ctl:set boot_urcs \"*ATREADY: 1\\n+CPIN: READY\"", "", ""},
          {"ctl:set sms_ready_urc \"\"", "", ""},
          {"ctl:set searching_stat 11", "", ""},
          {"ctl:set register_delay_ms 150", "", ""},
          {"ctl:set sms_ready_ms 150", "", ""},
          {"ctl:reset 100", "", ""},
          {"AT\r", "", "AT"},
          {"", "\r\n*ATREADY: 1\r\n\r\n+CPIN: READY\r\n", "OK"},
          {"AT+CMEE=1;+CREG?\r", "\r\n+CREG: 0,11\r\n\r\nOK\r\n", ""},
          {"AT+CMGF=0\r", "AT+CMGF=0\r\r\nERROR\r\n", "+CMS"},
          {"", "", ""},
          {"", "", ""},
          {"", "", ""},
          {"", "", ""},
          {"", "", ""},
          {"", "", ""},
          {"AT+CREG?;+CMGF=0\r", "\r\n+CREG: 0,1\r\n\r\nOK\r\n", ""}}},
        // SARA-G450 after a reset (TinyGSM issue 296): the echo in time, each answer one command
        // late, then in step.
        {"lagging_replies: answers one command late, then in step",
         [](Faults&) {},
         {{"ctl:set lagging_replies 2", "", ""},
          {"ATE1\r", "", "OK"},
          {"AT+CSQ\r", "AT+CSQ\r\r\nOK\r\n", "+CSQ:"},
          {"AT\r", "AT\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n\r\nOK\r\n", ""},
          {"AT+CSQ\r", "AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n", ""}}},
        {"reset loses a +CMGS still due",
         [](Faults&) {},
         {{"ctl:set send_delay_ms 100", "", ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "", ""},
          {"ctl:reset 150", "", ""},
          {"", "\r\nSMS Ready\r\n", "+CMGS"}}},
        {"AT+CFUN=1,1: a late OK, then the reboot",
         [](Faults& f) { f.commandDelay = ms(30); },
         {{"AT+CFUN=1,1\r", "\r\nOK\r\n", ""}, {"", "\r\nRDY\r\n", ""}}},
        // 27.005 §3.4.4: one routed message at a time, each acknowledged with AT+CNMA.
        {"+CSMS service 1: routed +CMT held until AT+CNMA",
         [](Faults&) {},
         {{"AT+CSMS=1;+CNMI=2,2,0,1,0\r", "\r\nOK\r\n", ""},
          {"ctl:deliver from=+4912345 text=one", "\r\n+CMT: ,", ""},
          {"ctl:deliver from=+4912345 text=two", "", "+CMT"},
          {"AT+CNMA\r", "\r\nOK\r\n\r\n+CMT: ,", ""},
          {"AT+CNMA=1\r", "\r\nOK\r\n", ""},
          {"AT+CNMA\r", "\r\n+CMS ERROR: 340\r\n", ""},
          {"AT+CMGL=4\r", "\r\nOK\r\n", "+CMGL"}}},
        {"+CSMS service 1: routed +CDS acknowledged too",
         [](Faults&) {},
         {{"AT+CSMS=1;+CNMI=2,2,0,1,0\r", "\r\nOK\r\n", ""},
          {cmgs(pdu), "> ", ""},
          {sendPdu(pdu), "\r\n+CDS: ", ""},
          {"AT+CNMA=0\r", "\r\nOK\r\n", ""},
          {"AT+CNMA\r", "\r\n+CMS ERROR: 340\r\n", ""}}},
        {"+CSMS service 1: not acknowledged in time, routing off and the message stored",
         [](Faults&) {},
         {{"ctl:set cnma_timeout_ms 20", "", ""},
          {"AT+CSMS=1;+CNMI=2,2,0,1,0\r", "\r\nOK\r\n", ""},
          {"ctl:deliver from=+4912345 text=late", "\r\n+CMT: ,", ""},
          {"", "", ""},
          {"AT+CNMI?;+CNMA\r", "+CNMI: 2,0,0,0,0\r\n\r\n+CMS ERROR: 340\r\n", ""},
          {"AT+CMGL=4\r", "\r\n+CMGL: 1,0,,", ""}}},
        {"+CSMS service 0: routed +CMT needs no AT+CNMA",
         [](Faults&) {},
         {{"ctl:set cnma_timeout_ms 20", "", ""},
          {"AT+CNMI=2,2,0,1,0\r", "\r\nOK\r\n", ""},
          {"ctl:deliver from=+4912345 text=one", "\r\n+CMT: ,", ""},
          {"ctl:deliver from=+4912345 text=two", "\r\n+CMT: ,", ""},
          {"", "", ""},
          {"AT+CNMI?;+CNMA\r", "+CNMI: 2,2,0,1,0\r\n\r\n+CMS ERROR: 340\r\n", ""}}},
        {"raw bytes as they are",
         [](Faults&) {},
         {{"ctl:raw \"\\r\\n+CMTI: \\\"SM\\\",7\\r\\n\\x1b\"", "\r\n+CMTI: \"SM\",7\r\n\x1b", ""}}},
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

TEST(FaultSwitches, DelaysHoldReplies) {
    struct DelayRow {
        const char* name;
        std::function<void(Faults&)> fault;
        bool secondLate; // the reply to a second command right after the first
    };
    const DelayRow rows[] = {
        {"command_delay_ms: every reply", [](Faults& f) { f.commandDelay = ms(150); }, true},
        {"sleepy_first_reply_ms: the first after a quiet spell",
         [](Faults& f) {
             f.sleepyFirstReply = ms(150);
             f.sleepyIdle = ms(100);
         },
         false},
    };
    for (const DelayRow& row : rows) {
        SCOPED_TRACE(row.name);
        SimSession session;
        session.openService();
        auto faults = session.sim.faults();
        row.fault(faults);
        session.sim.setFaults(faults);
        session.client.readFor(ms(120)); // a quiet spell
        session.client.send("AT\r");
        EXPECT_EQ(session.client.readFor(ms(100)), "");
        EXPECT_EQ(session.client.readUntil("OK\r\n", ms(1000)), "\r\nOK\r\n");
        session.client.send("AT\r");
        EXPECT_EQ(session.client.readFor(ms(60)).empty(), row.secondLate);
    }
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
