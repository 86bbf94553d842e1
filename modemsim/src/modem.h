#pragma once

#include "at_command.h"
#include "at_line_reader.h"
#include "line_peer.h"
#include "message_store.h"
#include "modemsim/counters.h"
#include "modemsim/scenario.h"
#include "modemsim/stored_message.h"
#include "output_queue.h"
#include "pdu_factory.h"
#include "timers.h"

#include <sms/pdu.h>
#include <sms/tpdu.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

// The modem and the network behind it, without any I/O: bytes from the terminal go in, timed
// chunks for the line come out, timers move the network on. Not thread-safe; the simulator
// serialises every call.
class Modem : public LinePeer {
public:
    Modem(const Scenario& scenario, Clock::time_point now);

    void receive(std::string_view bytes, Clock::time_point now) override;
    void runDue(Clock::time_point now) override;
    std::optional<Clock::time_point> nextDeadline() const override;
    std::vector<std::string> takeOutput(Clock::time_point now) override;

    // One line of the control language; the reply ends in "OK" or "ERROR: <reason>" and a LF.
    std::string control(std::string_view line, Clock::time_point now);
    // True once after a hang-up was asked for.
    bool takeHangUpRequest();
    // Once after a replug was asked for: how long the terminal stays away.
    std::optional<std::chrono::milliseconds> takeReplugRequest();

    Counters counters() const { return m_counters; }
    std::vector<StoredMessage> storedMessages() const { return m_store.all(); }
    Faults faults() const { return m_faults; }
    void setFaults(const Faults& faults, Clock::time_point now);

private:
    struct Reply {
        std::vector<std::string> lines;
        std::optional<std::string> final{"OK"};
        std::chrono::milliseconds extraDelay{0};
        std::string prompt;      // non-empty: a PDU follows
        bool refusedSend{false}; // AT+CMGS=<n> refused: the prompt_after_refusal habit may follow
        std::string earlier;     // the information text of the commands before it on the line
    };
    static Reply info(std::vector<std::string> lines) {
        Reply reply;
        reply.lines = std::move(lines);
        return reply;
    }
    static Reply finalResult(std::string text) {
        Reply reply;
        reply.final = std::move(text);
        return reply;
    }
    // Refused: the prompt a SIM800L opens after refusing AT+CMGS; Ctrl-Z answers `refusal`.
    enum class PromptFor { Send, Write, Refused };
    struct OpenPrompt {
        PromptFor purpose{PromptFor::Send};
        std::size_t length{0};
        MessageStat stat{MessageStat::StoredUnsent};
        std::string refusal;
    };
    struct PlannedReport {
        std::chrono::milliseconds after;
        std::uint8_t status;
    };
    // A message (+CMT) or a status report (+CDS) routed to the terminal.
    struct Routed {
        bool report{false};
        sms::OutgoingPdu pdu;
    };

    // Dialogue.
    void handleLine(const std::string& line);
    // The commands of one line in turn ("AT+CMEE=1;+CREG=2"), up to the first that fails.
    Reply runCommandLine(std::string_view body);
    std::string wireForm(const Reply& reply, bool urcFirst) const;
    // Whether the urc_flood's code goes in front of the reply being given now (urcInReply).
    bool urcInThisReply();
    std::string informationText(const std::vector<std::string>& lines) const;
    void setResultMode(ResultMode mode);
    void handlePdu(const std::string& hex);
    void answer(const Reply& reply);
    // The answer held back by the lagging_replies habit goes out now (the next command came).
    void releaseLateReply();
    void write(const std::string& bytes, Clock::time_point due);
    void emitUrc(const std::string& wire);
    void flushDeferredUrcs();
    Reply cmeError(int code) const;
    Reply cmsError(int code) const;
    // A value outside the narrow ranges a Cinterion MC75i offers: "+CMS ERROR:538".
    Reply outOfRange() const;
    std::optional<Reply> simGate(const AtCommand& command, bool smsCommand);

    // Commands.
    Reply basicCommands(std::string_view body);
    Reply extendedCommand(const AtCommand& command);
    Reply cpin(const AtCommand& command);
    Reply cpms(const AtCommand& command);
    Reply cnmi(const AtCommand& command);
    Reply narrowCnmi(const std::vector<std::string>& args);
    Reply applyCnmi(const std::array<int, 5>& chosen);
    Reply cmgl(const AtCommand& command);
    Reply cmgr(const AtCommand& command);
    Reply cmgd(const AtCommand& command);
    Reply openPrompt(const AtCommand& command, PromptFor purpose);
    std::string promptText() const;
    // The "> " that follows a refused AT+CMGS a moment later (Faults::promptAfterRefusal).
    void scheduleLatePrompt(const std::string& refusal);
    Reply submit(const sms::ReceivedPdu& pdu);
    // What AT+CMGS answers for a message the network took (Faults::sendResult).
    Reply sendResult(std::uint8_t reference) const;
    Reply writeToMemory(const std::string& hex, const OpenPrompt& prompt);
    void resetProfile();
    Reply cscs(const AtCommand& command);
    Reply huaweiSwitch(const AtCommand& command);
    // +COPS? (27.007 §7.3): automatic selection, the operator while registered.
    Reply cops(const AtCommand& command);
    Reply cnma(const AtCommand& command);
    // Commands every modem answers, the same on each (V.250 +IFC, 27.007 +CBC, +CLCK, +CLIP).
    Reply commonCommand(const AtCommand& command);

    // Power: boot, SMS stack readiness, radio and registration (modem_power.cpp).
    void reboot(std::chrono::milliseconds silence);
    void startSmsStack(Clock::time_point bootedAt, bool announce);
    bool smsStackReady() const { return m_now >= m_smsReadyAt; }
    bool booting() const { return m_now < m_bootedAt; }
    void writeUnsolicited(const std::string& wire);
    Reply cfun(const AtCommand& command);
    // +CREG, +CGREG and +CEREG: one shape, each with its own <n>.
    Reply registrationCommand(const AtCommand& command, int& mode, int configuredStat);
    int visibleStat(int configuredStat) const;
    bool registeredForSms() const;

    // Network.
    std::vector<PlannedReport> plannedReports() const;
    void showStatusReport(const sms::OutgoingPdu& pdu);
    void offerIncoming(const sms::OutgoingPdu& pdu);
    // Routing under +CSMS service 1 (27.005 §3.4.4): one +CMT or +CDS at a time, each to be
    // acknowledged with AT+CNMA within acknowledgeTimeout.
    bool acknowledgementsOwed() const;
    std::string routedWire(const Routed& routed) const;
    void route(const Routed& routed);
    void acknowledgementMissed();
    // The network hands a routed message or report over again; it is not counted twice.
    void deliverAgain(const Routed& routed);
    // ,"MMS PUSH"[,<parts>,<part>] after the +CMTI index (Faults::mmsPushIndication).
    static std::string mmsPushFields(const sms::OutgoingPdu& pdu);
    void retryWaiting();
    // After the current command's reply, as the network only learns of free room later.
    void retryWaitingSoon();
    bool memoryFull(const std::string& memory) const;
    std::optional<std::string> deliverMessage(const IncomingMessage& message);
    void scheduleScript(const ScriptedCommand& scripted, Clock::time_point base);
    void armFloodTimer();

    // Control.
    std::string applyControl(std::string_view line);
    // Puts a message's parts into `memory` without an indication; the control reply.
    std::string storeParts(const std::string& memory, const PartsOrError& parts, MessageStat stat);

    Settings m_settings;
    Faults m_faults;
    MessageStore m_store;
    Timers m_timers;
    OutputQueue m_output;
    AtLineReader m_reader;
    Counters m_counters;
    Clock::time_point m_now;

    bool m_echo{true};
    bool m_verboseResults{true}; // V1; V0 gives numeric result codes
    bool m_quietResults{false};  // Q1: no result codes at all
    int m_cmee{0};
    int m_csmsService{0};
    int m_cregMode{0};
    int m_cgregMode{0};
    int m_ceregMode{0};
    std::string m_charset{"IRA"};
    int m_copsFormat{0};                    // +COPS <format>: 0 long, 1 short, 2 numeric
    std::array<int, 2> m_flowControl{2, 2}; // +IFC, V.250 §6.2.12 default: RTS/CTS both ways
    int m_clip{0};                          // +CLIP <n>
    std::size_t m_floodReplies{0};          // replies given while urc_flood was on
    std::optional<Routed> m_unacknowledged; // shown, AT+CNMA still owed
    std::deque<Routed> m_routedWaiting;     // held until the one before is acknowledged
    int m_routedCount{0};                   // timers of an earlier routed one see it changed
    Clock::time_point m_bootedAt{};         // input before this is lost: the modem is rebooting
    Clock::time_point m_smsReadyAt{};       // SMS commands answer +CMS ERROR: 500 before this
    Clock::time_point m_registeredAt{};     // the radio finds the network at this time
    int m_boots{0};                         // timers of an earlier boot see it changed
    std::optional<Clock::time_point> m_lastTraffic; // for the sleepy first reply
    bool m_wakingUp{false};
    bool m_rebootAfterReply{false}; // AT+CFUN=...,1
    int m_lateRepliesLeft{0};       // Settings::laggingReplies still to come late
    struct LateReply {
        std::string wire;
        Clock::time_point due;
    };
    std::optional<LateReply> m_lateReply;
    std::array<int, 5> m_cnmi{0, 0, 0, 0, 0};
    std::array<std::string, 3> m_memories{"SM", "SM", "SM"};
    std::uint8_t m_nextReference{0};
    std::uint8_t m_nextConcatReference{1};
    std::optional<OpenPrompt> m_prompt;
    std::string m_deferredUrcs; // while a prompt is open (AT+CNMI mode 2 buffering)
    std::string m_heldUrcs;     // for the next reply, with the urc_inside_response quirk
    std::deque<sms::OutgoingPdu> m_waiting;
    std::vector<ScriptedCommand> m_onCnmi;
    bool m_cnmiSeen{false};
    bool m_floodArmed{false};
    bool m_hangUpRequested{false};
    std::optional<std::chrono::milliseconds> m_replugRequest;
};

} // namespace modemsim
