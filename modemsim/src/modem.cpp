#include "modem.h"

#include "control_command.h"
#include "scenario_settings.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <utility>

namespace modemsim {

namespace {

std::string crlf(const std::string& line) {
    return "\r\n" + line + "\r\n";
}

// Verbose texts for AT+CMEE=2 (3GPP TS 27.007 §9.2, TS 27.005 §3.2.5).
std::string errorText(bool sms, int code) {
    static const std::map<int, std::string> cme = {{3, "operation not allowed"},
                                                   {4, "operation not supported"},
                                                   {10, "SIM not inserted"},
                                                   {11, "SIM PIN required"},
                                                   {14, "SIM busy"},
                                                   {100, "unknown"}};
    static const std::map<int, std::string> cms = {{302, "operation not allowed"},
                                                   {303, "operation not supported"},
                                                   {304, "invalid PDU mode parameter"},
                                                   {310, "SIM not inserted"},
                                                   {311, "SIM PIN required"},
                                                   {321, "invalid memory index"},
                                                   {322, "memory full"},
                                                   {330, "SMSC address unknown"},
                                                   {331, "no network service"},
                                                   {340, "no +CNMA acknowledgement expected"},
                                                   {500, "unknown error"}};
    const auto& table = sms ? cms : cme;
    auto found = table.find(code);
    return found == table.end() ? std::to_string(code) : found->second;
}

} // namespace

Modem::Modem(const Scenario& scenario, Clock::time_point now)
    : m_settings(scenario.settings), m_faults(scenario.faults),
      m_store(scenario.settings.capacitySm, scenario.settings.capacityMe,
              scenario.settings.capacitySr),
      m_now(now), m_nextReference(static_cast<std::uint8_t>(scenario.settings.firstReference)) {
    m_lateRepliesLeft = scenario.settings.laggingReplies;
    if (scenario.settings.powerUpSilence.count() > 0) {
        // Opened while it boots (SIMCom A7670E): deaf at first, then the boot URCs.
        reboot(scenario.settings.powerUpSilence);
    } else {
        // Powered up just now: the SMS stack announces itself only when it is not ready at once.
        startSmsStack(now, scenario.settings.smsReadyDelay.count() > 0);
    }
    setResultMode(scenario.settings.resultMode);
    for (const ScriptedCommand& scripted : scenario.script) {
        if (scripted.trigger == Trigger::Start) {
            scheduleScript(scripted, now);
        } else {
            m_onCnmi.push_back(scripted);
        }
    }
    armFloodTimer();
}

void Modem::receive(std::string_view bytes, Clock::time_point now) {
    m_now = now;
    if (booting()) {
        return; // the UART is not listening yet
    }
    if (m_faults.sleepyFirstReply.count() > 0 &&
        (!m_lastTraffic || now - *m_lastTraffic >= m_faults.sleepyIdle)) {
        // The USB link was suspended; the modem wakes on this input and answers late.
        m_wakingUp = true;
    }
    m_lastTraffic = std::max(m_lastTraffic.value_or(now), now);
    std::string echo;
    for (char byte : bytes) {
        // A real modem echoes the PDU after the prompt too, while echo is on.
        if (m_echo) {
            echo.push_back(byte);
        }
        auto event = m_reader.feed(byte);
        if (!event) {
            continue;
        }
        if (event->kind != AtLineReader::EventKind::CommandLine && !echo.empty()) {
            echo.pop_back(); // the Ctrl-Z or ESC that closed the prompt is not echoed
        }
        write(std::exchange(echo, {}), m_now);
        switch (event->kind) {
        case AtLineReader::EventKind::CommandLine:
            handleLine(event->text);
            break;
        case AtLineReader::EventKind::PduSubmitted:
            handlePdu(event->text);
            break;
        case AtLineReader::EventKind::PduCancelled:
            // TS 27.005 §3.5.1: ESC quits without sending; Quectel and Telit answer OK.
            m_prompt.reset();
            answer(Reply{});
            flushDeferredUrcs();
            break;
        }
    }
    write(echo, m_now);
}

void Modem::runDue(Clock::time_point now) {
    m_now = now;
    m_timers.runDue(now);
}

std::optional<Modem::Clock::time_point> Modem::nextDeadline() const {
    auto timer = m_timers.next();
    auto output = m_output.next();
    if (timer && output) {
        return std::min(*timer, *output);
    }
    return timer ? timer : output;
}

std::vector<std::string> Modem::takeOutput(Clock::time_point now) {
    return m_output.takeDue(now);
}

bool Modem::takeHangUpRequest() {
    return std::exchange(m_hangUpRequested, false);
}

std::optional<std::chrono::milliseconds> Modem::takeReplugRequest() {
    return std::exchange(m_replugRequest, std::nullopt);
}

void Modem::write(const std::string& bytes, Clock::time_point due) {
    if (!m_faults.silent && !bytes.empty()) {
        m_output.push(bytes, due, m_faults.splitBytes);
        m_lastTraffic = std::max(m_lastTraffic.value_or(due), due);
    }
}

void Modem::setResultMode(ResultMode mode) {
    m_verboseResults = mode != ResultMode::Numeric;
    m_quietResults = mode == ResultMode::Quiet;
}

// V.250 §5.7.1: verbose information text is framed by CR LF on both sides; with V0 it only ends
// in CR LF, and a result code is its number and a CR (OK 0, ERROR 4).
std::string Modem::informationText(const std::vector<std::string>& lines) const {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += (m_verboseResults && i == 0 ? "\r\n" : "") + lines[i] + "\r\n";
    }
    return text;
}

bool Modem::urcInThisReply() {
    if (!m_faults.urcFlood) {
        return false;
    }
    switch (m_faults.urcInReply) {
    case UrcInReply::Never:
        return false;
    case UrcInReply::Always:
        return true;
    case UrcInReply::Sometimes:
        break;
    }
    // Counted rather than drawn, so that a test sees the same replies hit every run, and a short
    // session (a client's start-up) sees one.
    std::size_t reply = ++m_floodReplies;
    return reply >= 3 && (reply - 3) % 8 == 0;
}

std::string Modem::wireForm(const Reply& reply, bool urcFirst) const {
    std::string wire;
    if (urcFirst) {
        // Huawei's periodic ^RSSI lands between a command and its answer.
        wire += crlf("^RSSI:" + std::to_string(m_settings.signal));
    }
    wire += reply.earlier + informationText(reply.lines) + m_heldUrcs;
    if (reply.final && !m_quietResults) {
        const std::string& text = *reply.final;
        wire += m_verboseResults  ? crlf(text)
                : text == "OK"    ? "0\r"
                : text == "ERROR" ? "4\r"
                                  : text + "\r";
    }
    if (!reply.prompt.empty()) {
        if (m_faults.urcFlood && m_faults.urcInReply == UrcInReply::Always) {
            // ZTE interleaves its own indications before the prompt.
            wire += crlf("+ZPASR: \"UMTS\"");
        }
        wire += reply.prompt;
    }
    return wire;
}

void Modem::answer(const Reply& reply) {
    auto delay = m_faults.commandDelay + reply.extraDelay;
    if (std::exchange(m_wakingUp, false)) {
        delay += m_faults.sleepyFirstReply;
    }
    std::string wire = wireForm(reply, urcInThisReply());
    m_heldUrcs.clear();
    if (m_lateRepliesLeft > 0 && reply.prompt.empty()) {
        // u-blox SARA-G450 after a reset (TinyGSM issue 296): each answer waits for the next
        // command line, so AT+CPIN? gets the OK of the command before it.
        --m_lateRepliesLeft;
        m_lateReply = LateReply{std::move(wire), m_now + delay};
    } else {
        write(wire, m_now + delay);
    }
    if (std::exchange(m_rebootAfterReply, false)) {
        m_timers.schedule(m_now + delay,
                          [this](Clock::time_point) { reboot(std::chrono::seconds(1)); });
    }
}

void Modem::releaseLateReply() {
    if (m_lateReply) {
        write(m_lateReply->wire, std::max(m_lateReply->due, m_now));
        m_lateReply.reset();
    }
}

void Modem::emitUrc(const std::string& wire) {
    if (m_cnmi[0] == 0 || m_faults.indicationsElsewhere) {
        // Mode 0 keeps indications in the modem's own buffer, which we never flush; the other
        // fault sends them to a port nobody here reads.
        return;
    }
    if (m_prompt) {
        m_deferredUrcs += wire;
    } else if (m_faults.urcInsideResponse) {
        m_heldUrcs += wire;
    } else {
        write(wire, m_now);
    }
}

void Modem::flushDeferredUrcs() {
    std::string deferred = std::exchange(m_deferredUrcs, {});
    if (!deferred.empty()) {
        write(deferred, m_now);
    }
}

Modem::Reply Modem::cmeError(int code) const {
    Reply reply;
    reply.final = m_cmee == 0   ? "ERROR"
                  : m_cmee == 1 ? "+CME ERROR: " + std::to_string(code)
                                : "+CME ERROR: " + errorText(false, code);
    return reply;
}

Modem::Reply Modem::outOfRange() const {
    // Cinterion MC75i (gammu issue 1206): "+CMS ERROR:538", no blank after the colon.
    return finalResult(m_cmee == 0 ? "ERROR" : "+CMS ERROR:538");
}

Modem::Reply Modem::cmsError(int code) const {
    Reply reply;
    reply.final = m_cmee == 0   ? "ERROR"
                  : m_cmee == 1 ? "+CMS ERROR: " + std::to_string(code)
                                : "+CMS ERROR: " + errorText(true, code);
    return reply;
}

void Modem::handleLine(const std::string& rawLine) {
    std::string line = rawLine;
    line.erase(0, std::min(line.find_first_not_of(' '), line.size()));
    line.erase(line.find_last_not_of(' ') + 1);
    if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'A' ||
        std::toupper(static_cast<unsigned char>(line[1])) != 'T') {
        // Not a command line; a modem stays quiet.
        return;
    }
    ++m_counters.commandLines;
    releaseLateReply();
    Reply reply = runCommandLine(std::string_view(line).substr(2));
    answer(reply);
    if (!reply.prompt.empty()) {
        m_reader.expectPdu();
    } else if (reply.refusedSend && m_faults.promptAfterRefusal) {
        scheduleLatePrompt(*reply.final);
    }
}

void Modem::scheduleLatePrompt(const std::string& refusal) {
    // SIM800L (jakhax/raspberry-pi-sim800l-gsm-module issue 4): "+CMS ERROR: invalid input
    // value", then "> " in a read of its own, and what follows is taken as the message text.
    constexpr std::chrono::milliseconds kAfterRefusal{80};
    m_timers.schedule(
        m_now + m_faults.commandDelay + kAfterRefusal,
        [this, refusal, boot = m_boots](Clock::time_point) {
            if (boot != m_boots || m_prompt) {
                return;
            }
            m_prompt = OpenPrompt{PromptFor::Refused, 0, MessageStat::StoredUnsent, refusal};
            m_reader.expectPdu();
            write(promptText(), m_now);
        });
}

Modem::Reply Modem::runCommandLine(std::string_view body) {
    Reply done;
    for (const std::string& text : splitCommandLine(body)) {
        Reply reply;
        if (!isExtendedPrefix(text.front())) {
            reply = basicCommands(text);
        } else if (auto command = parseExtendedCommand(text)) {
            reply = extendedCommand(*command);
            reply.refusedSend = command->name == "+CMGS" && command->form == AtCommand::Form::Set &&
                                reply.prompt.empty() && reply.final && *reply.final != "OK";
        } else {
            reply = finalResult(m_faults.commandNotSupport ? "COMMAND NOT SUPPORT" : "ERROR");
        }
        reply.earlier = done.earlier;
        reply.extraDelay += done.extraDelay;
        if (reply.final != done.final || !reply.prompt.empty()) {
            // V.250 §5.2.1: the first error ends the line; the prompt waits for its PDU.
            return reply;
        }
        // Each command's information text keeps its own framing, one final result for all.
        done.earlier += informationText(reply.lines);
        done.extraDelay = reply.extraDelay;
    }
    return done;
}

void Modem::handlePdu(const std::string& hex) {
    OpenPrompt prompt = *m_prompt;
    m_prompt.reset();
    auto pdu = sms::decodePdu(hex, prompt.length);
    Reply reply;
    if (prompt.purpose == PromptFor::Refused) {
        // Assumed: the text goes nowhere and Ctrl-Z gets the refusal again.
        reply = finalResult(prompt.refusal);
    } else if (prompt.purpose == PromptFor::Send) {
        // TS 27.005 §3.5.1: <length> counts the TPDU only, the service-centre field apart.
        bool valid = pdu && pdu->tpduOctets == prompt.length &&
                     std::holds_alternative<sms::Submit>(pdu->tpdu) &&
                     hex.size() / 2 > prompt.length;
        reply = valid ? submit(*pdu) : cmsError(304);
    } else {
        bool valid = pdu && pdu->tpduOctets == prompt.length;
        reply = valid ? writeToMemory(hex, prompt) : cmsError(304);
    }
    answer(reply);
    flushDeferredUrcs();
}

void Modem::setFaults(const Faults& faults, Clock::time_point now) {
    m_now = now;
    m_faults = faults;
    armFloodTimer();
    retryWaiting();
}

void Modem::armFloodTimer() {
    if (!m_faults.urcFlood || m_floodArmed) {
        return;
    }
    m_floodArmed = true;
    m_timers.schedule(m_now + m_faults.urcFloodPeriod, [this](Clock::time_point) {
        m_floodArmed = false;
        if (!m_faults.urcFlood) {
            return;
        }
        if (!m_prompt) {
            write(crlf("^RSSI:" + std::to_string(m_settings.signal)), m_now);
        }
        armFloodTimer();
    });
}

void Modem::scheduleScript(const ScriptedCommand& scripted, Clock::time_point base) {
    m_timers.schedule(base + scripted.delay, [this, line = scripted.command](Clock::time_point) {
        std::string reply = applyControl(line);
        if (reply.rfind("ERROR", 0) == 0 || reply.find("\nERROR") != std::string::npos) {
            ++m_counters.scriptErrors;
        }
    });
}

std::string Modem::control(std::string_view line, Clock::time_point now) {
    m_now = now;
    return applyControl(line);
}

std::string Modem::storeParts(const std::string& memory, const PartsOrError& parts,
                              MessageStat stat) {
    if (const auto* error = std::get_if<std::string>(&parts)) {
        return "ERROR: " + *error + "\n";
    }
    for (const auto& pdu : std::get<std::vector<sms::OutgoingPdu>>(parts)) {
        if (!m_store.add(memory, pdu.hex, pdu.tpduLength, stat)) {
            return "ERROR: memory " + memory + " is full\n";
        }
    }
    return "OK\n";
}

std::string Modem::applyControl(std::string_view line) {
    if (isCommentOrBlank(line)) {
        return "OK\n";
    }
    ParsedCommand parsed = parseControlLine(line);
    if (!parsed.ok()) {
        return "ERROR: " + parsed.error() + "\n";
    }
    const ControlCommand& command = parsed.command();
    if (auto* set = std::get_if<SetCommand>(&command)) {
        Settings settings = m_settings;
        Faults faults = m_faults;
        if (auto error = applySetting(settings, faults, set->name, set->value)) {
            return "ERROR: " + *error + "\n";
        }
        m_settings = settings;
        m_store.setCapacity("SM", settings.capacitySm);
        m_store.setCapacity("ME", settings.capacityMe);
        m_store.setCapacity("SR", settings.capacitySr);
        if (set->name == "first_reference") {
            m_nextReference = static_cast<std::uint8_t>(settings.firstReference);
        }
        if (set->name == "result_mode") {
            setResultMode(settings.resultMode);
        }
        if (set->name == "lagging_replies") {
            m_lateRepliesLeft = settings.laggingReplies; // from the next command line on
        }
        setFaults(faults, m_now);
        return "OK\n";
    }
    if (auto* deliver = std::get_if<DeliverCommand>(&command)) {
        auto error = deliverMessage(deliver->message);
        return error ? "ERROR: " + *error + "\n" : "OK\n";
    }
    if (auto* store = std::get_if<StoreCommand>(&command)) {
        return storeParts(m_memories[2],
                          deliverPdus(store->message, m_settings.smsc, m_nextConcatReference++,
                                      currentTimestamp()),
                          store->stat);
    }
    if (auto* store = std::get_if<StoreSubmitCommand>(&command)) {
        return storeParts(m_memories[1],
                          storedSubmitPdus(store->recipient, store->text, m_settings.smsc,
                                           m_nextConcatReference++),
                          store->stat);
    }
    if (auto* fail = std::get_if<FailNextSendCommand>(&command)) {
        m_faults.failSend = m_counters.sendAttempts + 1;
        m_faults.failSendCode = fail->code;
        return "OK\n";
    }
    if (std::holds_alternative<HangUpCommand>(command)) {
        m_hangUpRequested = true;
        return "OK\n";
    }
    if (auto* reset = std::get_if<ResetCommand>(&command)) {
        reboot(reset->silence);
        return "OK\n";
    }
    if (auto* replug = std::get_if<ReplugCommand>(&command)) {
        // Off while away, then a power-up like any other; the SIM keeps what it stores.
        reboot(replug->away);
        if (!replug->imei.empty()) {
            m_settings.imei = replug->imei;
        }
        m_replugRequest = replug->away;
        return "OK\n";
    }
    if (auto* raw = std::get_if<RawCommand>(&command)) {
        write(raw->bytes, m_now);
        return "OK\n";
    }
    if (std::holds_alternative<StatusCommand>(command)) {
        std::ostringstream status;
        status << "commands " << m_counters.commandLines << "\n"
               << "send_attempts " << m_counters.sendAttempts << "\n"
               << "accepted " << m_counters.messagesAccepted << "\n"
               << "last_reference " << m_counters.lastReference << "\n"
               << "reports_shown " << m_counters.reportsShown << "\n"
               << "reports_dropped " << m_counters.reportsDropped << "\n"
               << "received " << m_counters.messagesReceived << "\n"
               << "waiting " << m_counters.messagesWaiting << "\n"
               << "script_errors " << m_counters.scriptErrors << "\nOK\n";
        return status.str();
    }
    if (std::holds_alternative<ListCommand>(command)) {
        std::ostringstream list;
        for (const StoredMessage& message : m_store.all()) {
            list << message.memory << " " << message.index << " " << static_cast<int>(message.stat)
                 << " " << message.tpduLength << " " << message.pdu << "\n";
        }
        list << "OK\n";
        return list.str();
    }
    const auto& scheduled = std::get<ScheduleCommand>(command).scripted;
    if (scheduled.trigger == Trigger::Cnmi && !m_cnmiSeen) {
        m_onCnmi.push_back(scheduled);
    } else {
        scheduleScript(scheduled, m_now);
    }
    return "OK\n";
}

} // namespace modemsim
