#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace modemsim {

// What the network answers to a message that asked for a status report.
enum class ReportOutcome {
    Delivered,       // TP-ST 0x00
    Failed,          // TP-ST 0x40, permanent remote procedure error
    Expired,         // TP-ST 0x46, validity period expired
    TryingThenFinal, // TP-ST 0x21 (SME busy, still trying), then 0x00 one report delay later
    None,            // no report at all
};

// The form of the recipient a status report carries (TP-RA). Service centres rewrite it: a
// send to "+79161234567" comes back as "89161234567" on a Russian network, and one to
// "0485123456" as "+32485123456" on a Belgian one.
enum class ReportNumber {
    AsSent,        // as the SUBMIT gave it
    National,      // "+<country code><rest>" -> "<trunk prefix><rest>", type national
    International, // "<trunk prefix><rest>" -> "+<country code><rest>", type international
};

// How the AT+CMGS / AT+CMGW prompt looks on the wire.
enum class PromptStyle {
    Standard, // "\r\n> " (TS 27.005, Telit, Quectel)
    Bare,     // ">" alone, no line end and no space
    CrLf,     // "\r\n>\r\n" (SIMCom SIM7670G)
};

// How a routed status report (+CNMI ds=1) is introduced.
enum class CdsForm {
    Standard, // "+CDS: 25"
    NoSpace,  // "+CDS:25" (gammu test data)
    Comma,    // "+CDS: ,25" (ZTE)
};

// How AT+CMGS ends for a message the network took. Whatever the modem answers, the network has
// the message: it gets its reference, its status report and its loopback copy as usual.
enum class SendResult {
    Standard, // "+CMGS: <mr>" and OK
    Error500, // +CMS ERROR: 500 (a Quectel BG95-M3 that sent the message all the same)
    Error,    // a bare ERROR
    None,     // no result at all
};

// The result codes the modem gives (ITU-T V.250 §6.2.5/6.2.6: ATV0/ATV1, ATQ1).
enum class ResultMode {
    Verbose, // "\r\nOK\r\n"
    Numeric, // "0\r" (V0); information text ends in "\r\n" without a leading one
    Quiet,   // no result codes at all (Q1)
};

// How often the urc_flood's code lands between a command and its answer (after the echo, before
// the reply). Most modems hold unsolicited codes until a command is finished (Quectel M10 AT
// manual §1.6, Siemens TC63 §1.7); Huawei sticks let a periodic ^RSSI in now and then (gammu
// issues 126 and 138).
enum class UrcInReply {
    Never,     // only while idle
    Sometimes, // in front of the 3rd reply and every 8th after it (11th, 19th, ...)
    Always,    // in front of every reply, and +ZPASR before the prompt (ZTE)
};

enum class SimState {
    Ready,
    PinRequired,
    Absent,
};

// The modem and network as they behave when nothing goes wrong.
struct Settings {
    std::string manufacturer{"Vantrel"};
    std::string model{"modemsim"};
    std::string revision{"modemsim 1.0"};
    std::string imei{"356938035643809"};
    std::string imsi{"204049876543210"};
    std::string smsc{"+31624000000"};
    std::string operatorName{"modemsim"};      // +COPS <oper>, long alphanumeric form
    std::string operatorShortName{"modemsim"}; // short alphanumeric form (up to 8 characters)
    std::string operatorNumeric{"20404"};      // numeric form: MCC and MNC (those of the IMSI)
    std::string ownNumber;                     // +CNUM; empty: the SIM stores none
    SimState sim{SimState::Ready};
    // 27.007 <stat> of +CREG (circuit-switched), +CGREG (GPRS) and +CEREG (LTE). Sending works
    // when any of them is 1 (home), 5 (roaming), 6 or 7 (registered for SMS only), else it
    // fails with +CMS ERROR: 331. +CGREG follows +CREG unless set; +CEREG 0 is what a module
    // shows while it is registered on 2G/3G only.
    int registration{1};
    std::optional<int> gprsRegistration;
    int epsRegistration{0};
    // +CFUN at start: 1 full function, 0 minimum, 4 flight mode (radio off: registered nowhere).
    int functionality{1};
    std::chrono::milliseconds registerDelay{0}; // AT+CFUN=1 -> registered
    // The <stat> the three registrations show while the radio searches (before registerDelay
    // has passed): 0, or 11 as a SIMCom A7670E shows for seconds after power-up.
    int searchingStat{0};
    // Nonzero: the simulator's start is a power-up like a reset of this length: input is lost
    // (not even echoed), then bootUrcs, then the SMS stack starts (SIMCom A7670E).
    std::chrono::milliseconds powerUpSilence{0};
    // The answers to the first N command lines after power-up or a reset each come only when
    // the next command line is written; the echo is not late (u-blox SARA-G450).
    int laggingReplies{0};
    ResultMode resultMode{ResultMode::Verbose}; // at start, as another program left it
    // The SMS stack starts this long after power-up or a reset; until then SMS commands answer
    // +CMS ERROR: 500, then smsReadyUrc comes (SIMCom "SMS Ready", Quectel "+QIND: SMS DONE").
    std::chrono::milliseconds smsReadyDelay{0};
    std::string smsReadyUrc{"SMS Ready"};
    std::string bootUrcs{"RDY"}; // lines a rebooting modem prints, '\n' between lines
    int signal{20};              // +CSQ <rssi>
    int capacitySm{20};
    int capacityMe{20};
    int capacitySr{10};
    int firstReference{0}; // the first accepted message gets this TP-MR, then +1 mod 256
    std::chrono::milliseconds sendDelay{0};
    std::chrono::milliseconds reportDelay{50};
    ReportOutcome reportOutcome{ReportOutcome::Delivered};
    ReportNumber reportNumber{ReportNumber::AsSent};
    // The home network's numbering plan, for rewriting report numbers: the country code of the
    // default service centre and IMSI (the Netherlands), and the usual trunk prefix.
    std::string countryCode{"31"};
    std::string trunkPrefix{"0"};
    std::string loopbackNumber; // empty: no loopback
    std::chrono::milliseconds loopbackDelay{50};
    // Under +CSMS service 1, a routed +CMT or +CDS not acknowledged with AT+CNMA this long after
    // it was shown ends routing (+CNMI mt and ds 0) and the network delivers it again (Telit LE910
    // V2 AT reference: 17 s).
    std::chrono::milliseconds acknowledgeTimeout{17000};
};

// Misbehaviour on demand; every member is one named switch of the scenario language.
struct Faults {
    bool silent{false};     // read everything, answer nothing
    bool splitBytes{false}; // every output byte in its own write
    bool echoStuck{false};  // ATE0 answers OK but echo stays on
    bool urcFlood{false};   // ^RSSI every urcFloodPeriod while idle, and in replies as
                            // urcInReply says
    std::chrono::milliseconds urcFloodPeriod{100};
    UrcInReply urcInReply{UrcInReply::Never};
    PromptStyle prompt{PromptStyle::Standard};
    bool cpinWithoutOk{false}; // "+CPIN: READY" and no final result (Wavecom)
    int failSend{0};           // the failSend-th AT+CMGS since start fails (0: never)
    int failSendCode{500};     // ... with this +CMS ERROR
    SendResult sendResult{SendResult::Standard}; // the answer to a message the network took
    int simBusyCommands{0};                      // the next N SIM commands answer +CME ERROR: 14
    bool storageFull{false};                     // every memory refuses new messages
    std::chrono::milliseconds commandDelay{0};   // added before every reply
    // The first reply after the line was quiet for sleepyIdle comes this much later (a USB
    // modem waking from autosuspend); 0: off.
    std::chrono::milliseconds sleepyFirstReply{0};
    std::chrono::milliseconds sleepyIdle{2000};
    bool commandNotSupport{false}; // unknown commands answer "COMMAND NOT SUPPORT" (Huawei)
    CdsForm cdsForm{CdsForm::Standard};
    bool urcInsideResponse{false}; // unsolicited codes wait and come inside the next reply,
                                   // before its final result (routed +CMT in +CPMS, smstools3)
    bool routeAndStore{false};     // with mt=1 a message is shown as +CMT and +CMTI (Huawei E303)
    bool refuseCnmiMode2{false};   // AT+CNMI=2,... answers +CMS ERROR: 303 (MSM, Huawei, ZTE)
    bool refuseCnmiDs1{false};     // AT+CNMI=...,1,... answers +CMS ERROR: 303 (Qualcomm)
    bool reportsInSm{false};       // +CNMI ds=2 stores reports in "SM", not "SR"
    bool cmgrWithoutStat{false};   // "+CMGR: ,,27" (ZTE)
    bool csmsStuck{false};         // +CSMS stays at service 1: AT+CSMS=0 answers 303 (Novatel)
    bool indicationsElsewhere{false}; // indications go to another port (Quectel urcport)
    bool cmglWithoutAlpha{false};     // "+CMGL: 1,0,27" (Pantech)
    bool atzError{false};             // ATZ answers ERROR (Qualcomm with SIM PIN pending)
    // SMS commands refused before the SMS stack is up answer a plain ERROR whatever AT+CMEE
    // says, not +CMS ERROR: 500 (SIMCom A7670E).
    bool smsNotReadyPlain{false};
    // AT+CNMI=? and AT+CPMS=? offer the Cinterion MC75i's narrow lists, and a value outside
    // them answers +CMS ERROR:538 (no space).
    bool narrowRanges{false};
    // A refused AT+CMGS=<n> is followed by a "> " prompt all the same; what is written then is
    // text until Ctrl-Z or ESC (SIM800L). fail_send then refuses the command, not the PDU.
    bool promptAfterRefusal{false};
    // +CMTI of a new message carries ,"MMS PUSH" and, for a part of a long one, ,<parts>,<part>
    // after the index (SIM900 MMS firmware).
    bool mmsPushIndication{false};
};

// A message the network hands to the modem. The sender is international when it starts with
// '+', national when it is all digits, alphanumeric otherwise. Long texts become several parts.
struct IncomingMessage {
    std::string sender;
    std::string text; // UTF-8; GSM 7-bit when every character fits, else UCS2
    // A damaged message: the user data of the (last) part holds only this many octets, while
    // TP-UDL still announces them all.
    std::optional<std::size_t> truncatedTo;
};

// When a scripted command runs.
enum class Trigger {
    Start, // this long after the simulator starts
    Cnmi,  // this long after the first AT+CNMI that asks for new-message indications
};

struct ScriptedCommand {
    Trigger trigger{Trigger::Start};
    std::chrono::milliseconds delay{0};
    std::string command; // one line of the control language
};

struct Scenario {
    Settings settings;
    Faults faults;
    std::vector<ScriptedCommand> script;
};

} // namespace modemsim
