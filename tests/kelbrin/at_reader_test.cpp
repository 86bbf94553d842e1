// The AT reader against modem transcripts from the field, each fed whole, byte by byte and in
// random pieces: all three must give the same events.
#include "at_reader.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace kelbrin {
namespace {

// V9 (python-gsmmodem), V33 (PG/frontlinesms status report), V25 (gammu +CMT).
const std::string kPduV9 =
    "07917248014000F3240B917247587706F400003110824115248012C8329BFD06C9C373B8B82C97E741F034";
const std::string kPduV33 = "0006D60B911326880736F4111011719551401110117195714000";
const std::string kPduV25 = "07918497483252F0040B918496445078F700007121320144744004D4F29C0E";

AtEvent urc(std::string line, std::string pdu = {}) {
    return {AtEventKind::Urc, std::move(line), std::move(pdu), FinalKind::Ok, std::nullopt};
}
AtEvent response(std::string line, std::string pdu = {}) {
    return {AtEventKind::Response, std::move(line), std::move(pdu), FinalKind::Ok, std::nullopt};
}
AtEvent echo(std::string line) {
    return {AtEventKind::Echo, std::move(line), {}, FinalKind::Ok, std::nullopt};
}
AtEvent prompt() {
    return {AtEventKind::Prompt, ">", {}, FinalKind::Ok, std::nullopt};
}
AtEvent final(std::string line, FinalKind kind = FinalKind::Ok,
              std::optional<int> code = std::nullopt) {
    return {AtEventKind::Final, std::move(line), {}, kind, code};
}

struct Transcript {
    const char* name;
    std::optional<AtCommandContext> command; // nothing: idle, only unsolicited output
    std::string bytes;
    std::vector<AtEvent> expected;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Transcript& row, std::ostream* out) {
    *out << row.name;
}

const std::vector<Transcript>& transcripts() {
    static const std::vector<Transcript> rows = {
        {"ModemManager_OkThenCmtiInOneRead",
         AtCommandContext{"AT+CPMS?", "+CPMS:", false},
         "\r\nOK\r\n\r\n+CMTI: \"ME\",1\r\n",
         {final("OK"), urc("+CMTI: \"ME\",1")}},
        {"PythonGsmmodemIssue84_Ate0Echoed",
         AtCommandContext{"ATE0", "", false},
         "ATE0\r\r\nOK\r\n",
         {echo("ATE0"), final("OK")}},
        {"Qualcomm_AtzEchoThenError",
         AtCommandContext{"ATZ", "", false},
         "ATZ\r\r\nERROR\r\n",
         {echo("ATZ"), final("ERROR", FinalKind::Error)}},
        {"Gammu_CdsWithoutSpaceCrOnly",
         std::nullopt,
         "\r\n+CDS:25\r" + kPduV33 + "\r",
         {urc("+CDS:25", kPduV33)}},
        {"Zte_CdsWithEmptyFirstField",
         std::nullopt,
         "\r\n+CDS: ,26\r\n" + kPduV33 + "\r\n",
         {urc("+CDS: ,26", kPduV33)}},
        {"Gammu_RoutedCmt",
         std::nullopt,
         "\r\n+CMT: ,23\r\n" + kPduV25 + "\r\n",
         {urc("+CMT: ,23", kPduV25)}},
        {"TelitLe910_PromptCrLfGreaterSpace",
         AtCommandContext{"AT+CMGS=24", "+CMGS:", true},
         "\r\n> ",
         {prompt()}},
        {"SimcomSim7670G_BarePromptWithLineEnd",
         AtCommandContext{"AT+CMGS=24", "+CMGS:", true},
         "\r\n>\r\n",
         {prompt()}},
        {"EchoOn_CommandEchoThenPrompt",
         AtCommandContext{"AT+CMGS=24", "+CMGS:", true},
         "AT+CMGS=24\r\r\n> ",
         {echo("AT+CMGS=24"), prompt()}},
        {"ZteK3565_UrcsBeforePrompt",
         AtCommandContext{"AT+CMGS=24", "+CMGS:", true},
         "\r\n+ZDONR: \"01\",\"001\",3,\"CS_PS\"\r\n\r\n+ZPASR: \"UMTS\"\r\n\r\n> ",
         {urc("+ZDONR: \"01\",\"001\",3,\"CS_PS\""), urc("+ZPASR: \"UMTS\""), prompt()}},
        {"EchoedPduThenCmgsAfterCtrlZ",
         AtCommandContext{"0011000B916407281553F80000AA0AE8329BFD4697D9EC37", "+CMGS:", false},
         "0011000B916407281553F80000AA0AE8329BFD4697D9EC37\x1A\r\n+CMGS: 5\r\n\r\nOK\r\n",
         {echo("0011000B916407281553F80000AA0AE8329BFD4697D9EC37"), response("+CMGS: 5"),
          final("OK")}},
        {"JunkBeforeCmgsOnTheSameLine",
         AtCommandContext{"AT+CMGS=24", "+CMGS:", false},
         "\r\n\x7F\x7Fgarbage+CMGS: 17\r\n\r\nOK\r\n",
         {response("+CMGS: 17"), final("OK")}},
        {"QuectelUgxx_CmgsWithScts",
         AtCommandContext{"AT+CMGS=24", "+CMGS:", false},
         "\r\n+CMGS: 5,\"13/04/29,19:58:00+04\"\r\n\r\nOK\r\n",
         {response("+CMGS: 5,\"13/04/29,19:58:00+04\""), final("OK")}},
        {"WavecomMultiband_CpinReadyWithoutOk",
         AtCommandContext{"AT+CPIN?", "+CPIN:", false},
         "\r\n+CPIN: READY\r\n",
         {response("+CPIN: READY")}},
        {"HuaweiE1752_CommandNotSupport",
         AtCommandContext{"AT+CNMI=?", "+CNMI:", false},
         "\r\nCOMMAND NOT SUPPORT\r\n",
         {final("COMMAND NOT SUPPORT", FinalKind::Error)}},
        {"CmeErrorTextForm_SimBusy",
         AtCommandContext{"AT+CSCA?", "+CSCA:", false},
         "\r\n+CME ERROR: SIM busy\r\n",
         {final("+CME ERROR: SIM busy", FinalKind::CmeError)}},
        {"ModemManager_BareCmeErrorIsNotFinal",
         AtCommandContext{"AT+CPIN?", "+CPIN:", false},
         "\r\n+CME ERROR:\r\n\r\n+CPIN: READY\r\n\r\nOK\r\n",
         {urc("+CME ERROR:"), response("+CPIN: READY"), final("OK")}},
        {"QualcommM6280_CmeError14",
         AtCommandContext{"AT+CSCA?", "+CSCA:", false},
         "\r\n+CME ERROR: 14\r\n",
         {final("+CME ERROR: 14", FinalKind::CmeError, 14)}},
        {"PythonGsmmodem_CmsError330",
         AtCommandContext{"AT+CSCA?", "+CSCA:", false},
         "\r\n+CMS ERROR: 330\r\n",
         {final("+CMS ERROR: 330", FinalKind::CmsError, 330)}},
        {"HuaweiRssiFloodInsideListing",
         AtCommandContext{"AT+CMGL=4", "+CMGL:", false},
         "\r\n^RSSI:9\r\n\r\n+CMGL: 0,0,,35\r\n" + kPduV9 +
             "\r\n^RSSI:10\r\n+CMGL: 4,1,\"\",23\r\n" + kPduV25 + "\r\n\r\nOK\r\n",
         {urc("^RSSI:9"), response("+CMGL: 0,0,,35", kPduV9), urc("^RSSI:10"),
          response("+CMGL: 4,1,\"\",23", kPduV25), final("OK")}},
        {"Smstools3_RoutedCmtInsideCpmsReply",
         AtCommandContext{"AT+CPMS=\"SM\",\"SM\",\"SM\"", "+CPMS:", false},
         "\r\n+CPMS: 0,20,0,20,0,20\r\n\r\n+CMT: ,23\r\n" + kPduV25 + "\r\n\r\nOK\r\n",
         {response("+CPMS: 0,20,0,20,0,20"), urc("+CMT: ,23", kPduV25), final("OK")}},
        {"Smstools3_EmptySlotCmgr",
         AtCommandContext{"AT+CMGR=3", "+CMGR:", false},
         "\r\n+CMGR: 0,,0\r\n\r\nOK\r\n",
         {response("+CMGR: 0,,0"), final("OK")}},
        {"TelitHe910_CmgrPduAfterSpace",
         AtCommandContext{"AT+CMGR=1", "+CMGR:", false},
         "\r\n+CMGR: 1,,35 " + kPduV9 + "\r\n\r\nOK\r\n",
         {response("+CMGR: 1,,35", kPduV9), final("OK")}},
        {"PythonGsmmodem_JunkLineInsideListing",
         AtCommandContext{"AT+CMGL=4", "+CMGL:", false},
         "\r\n+CMGL: 1,0,,35\r\nthis is junk\r\n+CMGL: 2,0,,23\r\n" + kPduV25 + "\r\n\r\nOK\r\n",
         {response("+CMGL: 1,0,,35"), urc("this is junk"), response("+CMGL: 2,0,,23", kPduV25),
          final("OK")}},
        {"EmptyStoreIsBareOk",
         AtCommandContext{"AT+CMGL=4", "+CMGL:", false},
         "\r\nOK\r\n",
         {final("OK")}},
        {"HeaderCutShortByFinal",
         AtCommandContext{"AT+CMGR=2", "+CMGR:", false},
         "\r\n+CMGR: 0,,35\r\n\r\n+CMS ERROR: 321\r\n",
         {response("+CMGR: 0,,35"), final("+CMS ERROR: 321", FinalKind::CmsError, 321)}},
        {"Sim800_BootUrcsWhileIdle",
         std::nullopt,
         "\r\nRDY\r\n\r\n+CPIN: NOT READY\r\n\r\nCall Ready\r\n\r\nSMS Ready\r\n",
         {urc("RDY"), urc("+CPIN: NOT READY"), urc("Call Ready"), urc("SMS Ready")}},
        {"StrayOkWhileIdleIsNotAFinal",
         std::nullopt,
         "\r\nOK\r\n\r\n+CMTI: \"SM\",7\r\n",
         {urc("OK"), urc("+CMTI: \"SM\",7")}},
        {"ResponseAfterFinalIsUnsolicited",
         AtCommandContext{"AT+CPIN?", "+CPIN:", false},
         "\r\nOK\r\n\r\n+CPIN: NOT READY\r\n",
         {final("OK"), urc("+CPIN: NOT READY")}},
        {"GreaterThanOutsideSendIsALine",
         AtCommandContext{"AT", "", false},
         "\r\n> \r\nOK\r\n",
         {urc("> "), final("OK")}},
        {"SimcomA7670E_BootCodeIsNotTheManufacturer",
         AtCommandContext{"AT+CGMI", "+CGMI:", false, true},
         "\r\n*ATREADY: 1\r\n\r\nSIMCOM INCORPORATED\r\n\r\nOK\r\n",
         {urc("*ATREADY: 1"), response("SIMCOM INCORPORATED"), final("OK")}},
        {"UbloxSaraG450_LateInformationLineIsNotText",
         AtCommandContext{"AT+CGMM", "+CGMM:", false, true},
         "\r\n+CSCS: \"IRA\"\r\n\r\nOK\r\n",
         {urc("+CSCS: \"IRA\""), final("OK")}},
        {"CinterionMc75i_CmsErrorWithoutSpace",
         AtCommandContext{"AT+CNMI=2,1,0,2,0", "", false},
         "\r\n+CMS ERROR:538\r\n",
         {final("+CMS ERROR:538", FinalKind::CmsError, 538)}},
        {"OverlongLineIsDropped",
         AtCommandContext{"AT", "", false},
         "\r\n" + std::string(5000, 'A') + "\r\nOK\r\n",
         {final("OK")}},
    };
    return rows;
}

using Splitter = std::vector<std::string> (*)(const std::string&, std::mt19937&);

std::vector<AtEvent> feedPieces(const Transcript& row, const std::vector<std::string>& pieces) {
    AtReader reader;
    if (row.command) {
        reader.beginCommand(*row.command);
    }
    std::vector<AtEvent> events;
    for (const auto& piece : pieces) {
        reader.feed(piece, events);
    }
    return events;
}

std::vector<std::string> randomPieces(const std::string& bytes, std::mt19937& random) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, 9)(random);
        pieces.push_back(bytes.substr(at, size));
        at += size;
    }
    return pieces;
}

class AtReaderTranscript : public ::testing::TestWithParam<Transcript> {};

TEST_P(AtReaderTranscript, WholeBytewiseAndRandomSplitsAgree) {
    const Transcript& row = GetParam();
    EXPECT_EQ(feedPieces(row, {row.bytes}), row.expected) << "fed whole";

    std::vector<std::string> bytes;
    for (char c : row.bytes) {
        bytes.emplace_back(1, c);
    }
    EXPECT_EQ(feedPieces(row, bytes), row.expected) << "fed byte by byte";

    std::mt19937 random(20240601);
    for (int round = 0; round < 50; ++round) {
        EXPECT_EQ(feedPieces(row, randomPieces(row.bytes, random)), row.expected)
            << "random split, round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Transcripts, AtReaderTranscript, ::testing::ValuesIn(transcripts()),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(AtReader, EndCommandMakesTheLateFinalUnsolicited) {
    AtReader reader;
    std::vector<AtEvent> events;
    reader.beginCommand({"AT+CPIN?", "+CPIN:", false});
    reader.feed("\r\n+CPIN: READY\r\n", events);
    reader.endCommand(); // Wavecom: the channel gave up waiting for OK
    reader.feed("\r\nOK\r\n", events);
    EXPECT_EQ(events, (std::vector<AtEvent>{response("+CPIN: READY"), urc("OK")}));
}

TEST(AtReader, PromptAfterTheSendEndedIsStillThePrompt) {
    // SIM800L: "+CMS ERROR", then "> " anyway (jakhax/raspberry-pi-sim800l-gsm-module issue 4),
    // in the same read or once the next command went out.
    const AtEvent refusal = final("+CMS ERROR: 500", FinalKind::CmsError, 500);
    for (const bool sameRead : {true, false}) {
        AtReader reader;
        std::vector<AtEvent> events;
        reader.beginCommand({"AT+CMGS=24", "+CMGS:", true});
        reader.feed(sameRead ? "\r\n+CMS ERROR: 500\r\n> " : "\r\n+CMS ERROR: 500\r\n", events);
        reader.beginCommand({"AT+CMEE?", "+CMEE:", false});
        reader.feed(sameRead ? "" : "\r\n> ", events);
        EXPECT_EQ(events, (std::vector<AtEvent>{refusal, prompt()})) << sameRead;
    }
    // Once a later command was answered with its own line, the modem is not in text entry.
    AtReader reader;
    std::vector<AtEvent> events;
    reader.beginCommand({"AT+CMGS=24", "+CMGS:", true});
    reader.feed("\r\n+CMS ERROR: 500\r\n", events);
    reader.beginCommand({"AT+CMEE?", "+CMEE:", false});
    reader.feed("\r\n+CMEE: 1\r\n\r\nOK\r\n\r\n> \r\n", events);
    EXPECT_EQ(events,
              (std::vector<AtEvent>{refusal, response("+CMEE: 1"), final("OK"), urc("> ")}));
}

TEST(AtReader, ExpectEchoRecognisesTheEchoedPdu) {
    AtReader reader;
    std::vector<AtEvent> events;
    reader.beginCommand({"AT+CMGS=9", "+CMGS:", true});
    reader.feed("AT+CMGS=9\r\r\n> ", events);
    reader.expectEcho("0001000B91");
    reader.feed("0001000B91\x1A\r\n+CMGS: 0\r\n\r\nOK\r\n", events);
    EXPECT_EQ(events, (std::vector<AtEvent>{echo("AT+CMGS=9"), prompt(), echo("0001000B91"),
                                            response("+CMGS: 0"), final("OK")}));
}

} // namespace
} // namespace kelbrin
