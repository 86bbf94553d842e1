// Response and URC parsers against lines from real modems.
#include "answer_rule.h"
#include "at_parsers.h"
#include "modem_handshake.h"

#include <gtest/gtest.h>

namespace kelbrin {
namespace {

TEST(AtParsers, Cmgs) {
    EXPECT_EQ(parseCmgsResponse("+CMGS: 17"), 17);
    EXPECT_EQ(parseCmgsResponse("+CMGS: 5,\"13/04/29,19:58:00+04\""), 5) << "Quectel UGxx";
    EXPECT_EQ(parseCmgsResponse("+CMGS:255"), 255);
    EXPECT_EQ(parseCmgsResponse("+CMGS: 256"), std::nullopt);
    EXPECT_EQ(parseCmgsResponse("+CMGS: x"), std::nullopt);
}

TEST(AtParsers, StoredIndications) {
    struct Row {
        const char* line;
        std::optional<std::pair<std::string, int>> expected;
    };
    for (const Row& row : std::vector<Row>{
             {"+CMTI: \"SM\",3", std::make_pair("SM", 3)},
             {"+CMTI: \"ME\", 12", std::make_pair("ME", 12)},
             {"+CDSI: \"SR\",5", std::make_pair("SR", 5)},
             {"+CMTI: \"SM\",1,\"MMS PUSH\",2,1", std::make_pair("SM", 1)}, // serialport-gsm #60
             {"+CMTI: \"SM\"", std::nullopt},
             {"+CMTI: \"SM\",-1", std::nullopt},
         }) {
        const auto parsed = parseCmtiUrc(row.line);
        EXPECT_EQ(parsed ? std::optional(std::make_pair(parsed->storage, parsed->index))
                         : std::nullopt,
                  row.expected)
            << row.line;
    }
}

TEST(AtParsers, ListAndReadHeaders) {
    const auto python = parseCmglHeader("+CMGL: 0,0,,35"); // python-gsmmodem
    ASSERT_TRUE(python);
    EXPECT_EQ(python->index, 0);
    EXPECT_EQ(python->status, 0);
    EXPECT_EQ(python->length, 35);
    const auto pantech = parseCmglHeader("+CMGL: 17,3,35"); // no alpha field
    ASSERT_TRUE(pantech);
    EXPECT_EQ(pantech->status, 3);
    EXPECT_EQ(pantech->length, 35);
    EXPECT_EQ(parseCmglHeader("+CMGL: 1,0,\"\",23")->length, 23) << "gammu";
    EXPECT_EQ(parseCmgrLength("+CMGR: 0,,35"), 35);
    EXPECT_EQ(parseCmgrLength("+CMGR: 0,\"\",50"), 50) << "Telit HE910";
    EXPECT_EQ(parseCmgrLength("+CMGR: ,,27"), 27) << "ZTE";
    EXPECT_EQ(parseCmgrLength("+CMGR: 24"), 24) << "status report memory";
    EXPECT_EQ(parsePduUrcLength("+CDS: ,24"), 24) << "ZTE";
    EXPECT_EQ(parsePduUrcLength("+CDS:25"), 25) << "gammu";
    EXPECT_EQ(parsePduUrcLength("+CMT: ,23"), 23);
    EXPECT_EQ(parsePduUrcLength("+CMT: \"Alice\",23"), 23);
}

TEST(AtParsers, HandshakeAnswers) {
    EXPECT_EQ(parseCpinResponse("+CPIN: READY"), "READY");
    EXPECT_EQ(parseCpinResponse("+CPIN: SIM PIN"), "SIM PIN");
    EXPECT_EQ(parseCscaResponse("+CSCA: \"+27831000015\",145"), "+27831000015");
    EXPECT_EQ(parseCscaResponse("+CSCA: \"\",129"), "");
    EXPECT_EQ(parseRegistrationResponse("+CREG: 0,1"), 1);
    EXPECT_EQ(parseRegistrationResponse("+CREG: 2,5,\"00C3\",\"0010\""), 5);
    EXPECT_EQ(parseRegistrationResponse("+CREG: 3"), 3);
    // LTE modules: SIM7000 (botletics issue 50), BG96 with its extra fields.
    EXPECT_EQ(parseRegistrationResponse("+CEREG: 0,1"), 1);
    EXPECT_EQ(parseRegistrationResponse("+CEREG: 2,5,\"1A2B\",\"01A2B3C4\",7"), 5);
    EXPECT_EQ(parseRegistrationResponse("+CGREG: 0,6"), 6);
    EXPECT_EQ(parseRegistrationResponse("+CSQ: 20,99"), std::nullopt);
    EXPECT_EQ(parseCpmsUsed("+CPMS: 7,20,7,20,7,20"), 7) << "set form";
    EXPECT_EQ(parseCpmsUsed("+CPMS: \"SM\",3,20,\"SM\",3,20"), 3) << "read form";
}

TEST(AtParsers, CheckAnswers) {
    EXPECT_EQ(parseCsqRssi("+CSQ: 23,99"), 23);
    EXPECT_EQ(parseCsqRssi("+CSQ: 99,99"), 99) << "not known is an answer";
    EXPECT_EQ(parseCsqRssi("+CSQ: 45,0"), std::nullopt) << "outside 0-31";
    EXPECT_EQ(parseCopsOperator("+COPS: 0,0,\"vodafone NL\",7"), "vodafone NL");
    EXPECT_EQ(parseCopsOperator("+COPS: 0"), std::nullopt) << "registered nowhere";
    EXPECT_EQ(parseCnumNumber("+CNUM: ,\"+31612345678\",145"), "+31612345678");
    EXPECT_EQ(parseCnumNumber("+CNUM: \"Own\",\"0612345678\",129"), "0612345678");
    EXPECT_EQ(parseCnumNumber("+CNUM: ,\"\",129"), std::nullopt);
    using Ranges = std::vector<std::vector<int>>;
    EXPECT_EQ(parseTestRanges("+CNMI: (0-2),(0-3),(0),(0-2),(0,1)"),
              (Ranges{{0, 1, 2}, {0, 1, 2, 3}, {0}, {0, 1, 2}, {0, 1}}));
    EXPECT_EQ(parseTestRanges("+CNMI: (0,1,2),(0,1),(0,2),(0,2),(0,1)"),
              (Ranges{{0, 1, 2}, {0, 1}, {0, 2}, {0, 2}, {0, 1}}))
        << "Huawei lists values";
    EXPECT_EQ(parseTestRanges("+CNMI: 0-2,1,0,0-1,0"), (Ranges{{0, 1, 2}, {1}, {0}, {0, 1}, {0}}))
        << "no parentheses";
    EXPECT_EQ(parseTestRanges("+CNMI: (0-2000000000),(1)"), (Ranges{{}, {1}}))
        << "a range no test command offers is not expanded";
    EXPECT_EQ(indicationSettingsOffered(parseTestRanges("+CNMI: (0-3),(0,1),(0,2,3),(0,2),(1)")),
              (std::vector<std::string>{"2,1,0,2,1", "1,1,0,2,1", "2,1,0,0,1", "1,1,0,0,1"}))
        << "Cinterion MC75i: <bfr> 1 only, no inline reports (gammu issue 1206)";
    EXPECT_EQ(indicationSettingsOffered(parseTestRanges("+CNMI: (1),(0,2),(0),(0),(0)")),
              std::vector<std::string>{})
        << "no store and notify (mt 1) offered: nothing to choose";
}

TEST(AnswerRule, AReplyIsTheCommandsOnlyWhenItSaysWhatItMust) {
    const auto says = [](const char* command, std::vector<std::string> lines) {
        std::vector<AtEvent> responses;
        for (auto& line : lines) {
            responses.push_back({AtEventKind::Response, std::move(line), {}, FinalKind::Ok, {}});
        }
        return answerRuleFor(command).heardIn(responses);
    };
    struct Row {
        const char* command;
        std::vector<std::string> lines;
        bool heard;
    };
    for (const Row& row : std::vector<Row>{
             {"AT+CPIN?", {}, false}, // u-blox SARA-G450: the OK of the command before
             {"AT+CPIN?", {"+CPIN: READY"}, true},
             {"AT+CNMI=?", {}, false},
             {"AT+CPMS=\"SM\",\"SM\",\"SM\"", {}, false},
             {"at+csq", {}, false},
             {"AT+CMGS=24", {"+CMGS: 7"}, true},
             {"AT+CMGL=4", {}, true}, // an empty list
             {"AT+CNUM", {}, true},   // the SIM stores no number
             {"AT+CMGF=0", {}, true},
             {"ATE0Q0V1+CMEE=1", {}, true},
             {"AT+CGMI", {}, false},
             {"AT+CGMI", {"SIMCOM INCORPORATED"}, true},
             {"AT+CGSN", {"862643032345678"}, true},
             {"AT+CGSN", {"+CGSN: \"356938035643809\""}, true}, // some Quectel firmware
             {"AT+CGSN", {"A7670M4_B01V01_230724"}, false},     // the revision, one late
             {"AT+CIMI", {"204049876543210"}, true},
             {"AT+CIMI", {"SIMCOM_A7670E"}, false},
         }) {
        EXPECT_EQ(says(row.command, row.lines), row.heard)
            << row.command << " with " << row.lines.size() << " line(s)";
    }
    const auto answer = [](const char* command, const char* line) {
        return answerRuleFor(command).answerIn(
            {{AtEventKind::Response, line, {}, FinalKind::Ok, {}}});
    };
    EXPECT_EQ(answer("AT+CGMI", "+CGMI: SIMCOM"), "SIMCOM");
    EXPECT_EQ(answer("AT+CGSN", "+CGSN: \"356938035643809\""), "356938035643809");
}

TEST(AtParsers, StorageAnswers) {
    using Places = std::vector<std::vector<std::string>>;
    struct Row {
        const char* device;
        const char* line;
        Places expected;
    };
    for (const Row& row : std::vector<Row>{
             {"27.005 example", "+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")",
              Places{{"SM", "ME", "SR"}, {"SM", "ME"}, {"SM", "ME"}}},
             {"Wavecom Q2 (nested, two places)", "+CPMS: ((\"SM\",\"BM\",\"SR\"),(\"SM\"))",
              Places{{"SM", "BM", "SR"}, {"SM"}}},
             {"iWOW (no parentheses)", "+CPMS: \"SM\",\"SM\",\"SM\"",
              Places{{"SM"}, {"SM"}, {"SM"}}},
             {"Alcatel (broken quote, blanks)", "+CPMS: (ME\", \"SR\"), (\"ME\"), (\"ME\")",
              Places{{"ME", "SR"}, {"ME"}, {"ME"}}},
             {"Nokia S60 (no memories)", "+CPMS: (),(),()", Places{}},
         }) {
        EXPECT_EQ(parseCpmsTestResponse(row.line), row.expected) << row.device;
    }
    EXPECT_EQ(parseCpmsCounts("+CPMS: 3,20,3,20,20,20"), (std::vector<int>{3, 20, 3, 20, 20, 20}));
    EXPECT_EQ(parseCpmsCounts("+CPMS: \"SM\",5,30,\"ME\",0,100"),
              (std::vector<int>{5, 30, 0, 100}));
}

} // namespace
} // namespace kelbrin
