#include "modem_handshake.h"

#include "at_parsers.h"
#include "at_text.h"
#include "modem_error_text.h"
#include "port_diagnostics.h"

#include <algorithm>
#include <array>

namespace kelbrin {
namespace {

constexpr Milliseconds kBusyBackoffStep{200};
// oFono retries AT+CMGF ten times, one second apart, while the SMS stack starts
// (drivers/atmodem/sms.c); SIM800 answers +CMS ERROR until "SMS Ready" (Seeed GPRS_SIM900
// issue 39), SIMCom A76xx likewise (LilyGo-Modem-Series issue 247).
constexpr Milliseconds kSmsStackRetry{1000};
constexpr Milliseconds kRegistrationPoll{500};
constexpr char kEscape = '\x1B';
// Echo off, so that every later line is an answer; result codes on (Q0) and verbose (V1) for a
// modem another program left quiet or numeric (ModemManager sends E0 V1 at every init,
// mm-broadband-modem.c); numeric errors, which ATZ or a power cycle may have reset
// (python-gsmmodem sends +CMEE=1 again for that reason). One line (ITU-T V.250 §5.2.1 lets basic
// and extended commands share it) saves a round trip on slow modems. Any line starting with AT
// lets an autobauding modem (SIM800) find our speed.
const std::string kBasicSettings = "ATE0Q0V1+CMEE=1";

// +CNMI=<mode>,<mt>,<bm>,<ds>,<bfr>: store and notify (+CMTI), no cell broadcast, status reports
// stored (+CDSI) or else inline (+CDS). Stored first: a stored report survives indications sent
// to another port (Quectel "urcport", Huawei's extra ports) and needs no +CNMA under +CSMS
// service 1 (Novatel hangs without it, oFono build_cnmi_string). Then the fallbacks real modems
// need: MSM, Huawei, ZTE, SIMCom and Quectel refuse mode 2 (oFono), Qualcomm refuses ds=1 though
// it advertises it (ModemManager); the last two give up status reports rather than receiving.
constexpr std::array<const char*, 6> kIndicationSettings{"2,1,0,2,0", "1,1,0,2,0", "2,1,0,1,0",
                                                         "1,1,0,1,0", "2,1,0,0,0", "1,1,0,0,0"};

bool isBusy(const AtReply& reply) {
    if (reply.outcome != AtOutcome::Final) {
        return false;
    }
    const auto code = reply.errorCode.value_or(-1);
    switch (reply.final) {
    case FinalKind::CmeError:
        // 14 SIM busy (Qualcomm M6280 for ~10 s after boot), 515 device busy (Wavecom).
        return code == 14 || code == 515 ||
               (!reply.errorCode && reply.finalLine.find("busy") != std::string::npos);
    case FinalKind::CmsError:
        return code == 314 || code == 515;
    case FinalKind::Ok:
    case FinalKind::Error:
        return false;
    }
    return false;
}

/// What an SMS command answers while the modem's SMS stack is still starting: 302 operation not
/// allowed, 500 unknown error (SIM800, EC25), 512 (SIMCom's "SMS not ready").
bool smsStackStarting(const AtReply& reply) {
    const auto code = reply.errorCode.value_or(-1);
    return reply.outcome == AtOutcome::Final && reply.final == FinalKind::CmsError &&
           (code == 302 || code == 500 || code == 512);
}

/// 27.007 §7.2 <stat>: 1 home, 5 roaming, 6/7 "registered for SMS only" (LTE modules: botletics
/// SIM7000-LTE-Shield issue 50, LilyGo-Modem-Series issue 388), 9/10 "CSFB not preferred"
/// (ModemManager counts all of them as registered).
bool isRegistered(std::optional<int> status) {
    return status && (*status == 1 || *status == 5 || *status == 6 || *status == 7 ||
                      *status == 9 || *status == 10);
}

bool isSmsReadyUrc(const AtEvent& urc) {
    return isSmsReadySign(urc.line);
}

} // namespace

ModemHandshake::ModemHandshake(AtChannel& channel, const SessionSettings& settings)
    : m_channel(channel), m_settings(settings) {}

HandshakeResult ModemHandshake::run(Clock::time_point deadline) {
    HandshakeResult result;
    result.failure = syncWithModem(deadline);
    if (result.failure.empty()) {
        result.failure = checkSim(deadline);
    }
    if (result.failure.empty()) {
        result.failure = setUpMessaging(deadline, result);
    }
    if (result.failure.empty()) {
        result.failure = checkServiceCentre(deadline);
    }
    if (result.failure.empty()) {
        result.failure = checkRegistration(deadline);
    }
    if (!result.failure.empty() && m_deadlineCutCommand && m_answered > 0) {
        result.failure = describeSlowModem();
    }
    return result;
}

std::string ModemHandshake::describeSlowModem() const {
    const auto perReply = std::chrono::duration_cast<Milliseconds>(m_answerTime / m_answered);
    return "the modem on " + describePort(m_settings.port) + " answers slowly (about " +
           std::to_string(perReply.count()) + " ms per reply): start-up ran out of time after " +
           std::to_string(m_answered) +
           " answered commands. Start again; if it stays this slow, check the baud rate, and "
           "switch off USB power saving for the modem (autosuspend)";
}

HandshakeResult ModemHandshake::restoreSettings(Clock::time_point deadline) {
    HandshakeResult result;
    const AtReply basic = commandRetrying(kBasicSettings, "", deadline);
    if (basic.outcome != AtOutcome::Final) {
        result.failure = describeFailure(OperatorText::verbatim("setting up the restarted modem (" +
                                                                kBasicSettings + ")"),
                                         basic, m_channel.lostReason())
                             .english();
        return result;
    }
    if (!basic.ok()) {
        applyBasicSettingsOneByOne(deadline);
    }
    result.failure = setUpMessaging(deadline, result);
    return result;
}

void ModemHandshake::applyBasicSettingsOneByOne(Clock::time_point deadline) {
    // A modem that refuses the whole line still takes what it knows of it.
    for (const char* line : {"ATE0", "ATQ0V1", "AT+CMEE=1"}) {
        commandRetrying(line, "", deadline);
    }
}

AtReply ModemHandshake::command(const std::string& line, const std::string& prefix,
                                Milliseconds timeout, Clock::time_point deadline,
                                bool finalMayBeMissing) {
    AtCommand command{line, prefix, timeout, finalMayBeMissing};
    command.notAfter = deadline;
    const auto sent = Clock::now();
    AtReply reply = m_channel.execute(command);
    if (reply.outcome == AtOutcome::Final) {
        ++m_answered;
        m_answerTime += Clock::now() - sent;
    } else if (reply.outcome == AtOutcome::Timeout && Clock::now() >= deadline) {
        m_deadlineCutCommand = true;
    }
    return reply;
}

AtReply ModemHandshake::commandRetrying(const std::string& line, const std::string& prefix,
                                        Clock::time_point deadline, bool finalMayBeMissing) {
    Milliseconds busyBackoff = kBusyBackoffStep;
    for (;;) {
        AtReply reply =
            command(line, prefix, m_settings.timings.command, deadline, finalMayBeMissing);
        Milliseconds wait{0};
        AtChannel::UrcPredicate endsEarly;
        if (isBusy(reply)) {
            // python-gsmmodem grows the delay by 0.2 s per retry; so do we, within the deadline.
            wait = busyBackoff;
            busyBackoff += kBusyBackoffStep;
        } else if (reply.outcome == AtOutcome::Restarted) {
            wait = kBusyBackoffStep; // the modem rebooted under the command: ask again
        } else if (smsStackStarting(reply)) {
            wait = kSmsStackRetry;
            endsEarly = isSmsReadyUrc;
        } else {
            return reply;
        }
        if (Clock::now() + wait >= deadline) {
            return reply;
        }
        m_channel.pause(wait, endsEarly);
    }
}

std::string ModemHandshake::syncWithModem(Clock::time_point deadline) {
    // ESC cancels a "> " prompt a crashed run left open (gammu does the same).
    m_channel.writeRaw(std::string(1, kEscape));
    const ModemTimings& timings = m_settings.timings;
    const auto syncDeadline = std::min(deadline, Clock::now() + timings.syncBudget);
    bool first = true;
    while (Clock::now() < syncDeadline) {
        const AtReply reply =
            command(kBasicSettings, "", first ? timings.syncFirstAttempt : timings.syncAttempt,
                    syncDeadline);
        first = false;
        if (reply.outcome == AtOutcome::Final) {
            if (!reply.ok()) {
                applyBasicSettingsOneByOne(deadline);
            }
            return {};
        }
        if (reply.outcome == AtOutcome::PortLost) {
            return "the connection to " + describePort(m_settings.port) + " was lost (" +
                   m_channel.lostReason() + ")";
        }
        if (reply.outcome == AtOutcome::Stopped) {
            return "start-up was cancelled";
        }
    }
    return "no answer from a modem on " + describePort(m_settings.port) + " at " +
           std::to_string(m_settings.port.baud) +
           " bit/s: check that the modem is connected and powered, that this is the right port "
           "and that the modem runs at this baud rate. " +
           describeMapping(m_settings.port).english();
}

std::string ModemHandshake::checkSim(Clock::time_point deadline) {
    for (;;) {
        // Wavecom answers +CPIN? without OK; the information line alone will do.
        const AtReply reply = commandRetrying("AT+CPIN?", "+CPIN:", deadline, true);
        const AtEvent* line = reply.firstResponse();
        const auto state = line ? parseCpinResponse(line->line) : std::nullopt;
        if (state && *state == "READY") {
            return {};
        }
        if (state && state->find("PUK") != std::string::npos) {
            return "the SIM card is blocked and asks for its PUK (" + *state +
                   "): unblock it in a phone, then start again";
        }
        if (state && state->find("PIN") != std::string::npos) {
            return "the SIM card asks for its PIN (" + *state +
                   "): enter it with AT+CPIN=\"<pin>\" or switch the PIN request off in a phone";
        }
        const bool notReady = state && *state == "NOT READY";
        if ((notReady || isBusy(reply)) && Clock::now() + kBusyBackoffStep < deadline) {
            m_channel.pause(kBusyBackoffStep);
            continue;
        }
        if (reply.outcome == AtOutcome::Final && reply.errorCode == 10) {
            return "no SIM card in the modem on " + describePort(m_settings.port) +
                   ": insert one and start again";
        }
        if (notReady || isBusy(reply)) {
            return "the SIM card was still busy when start-up ran out of time: wait a few "
                   "seconds and start again";
        }
        return describeFailure(OperatorText::verbatim("checking the SIM card (AT+CPIN?)"), reply,
                               m_channel.lostReason())
            .english();
    }
}

std::string ModemHandshake::setUpMessaging(Clock::time_point deadline, HandshakeResult& result) {
    std::string failure = selectStorage(deadline, result);
    if (failure.empty()) {
        failure = enableIndications(deadline, result);
    }
    return failure;
}

std::string ModemHandshake::describeSettingFailure(const std::string& what,
                                                   const AtReply& reply) const {
    if (smsStackStarting(reply)) {
        return what + ": the modem answered " + reply.finalLine +
               ", the modem is still starting: start again in a few seconds";
    }
    return describeFailure(OperatorText::verbatim(what), reply, m_channel.lostReason()).english();
}

AtReply ModemHandshake::useMemory(const std::string& memory, Clock::time_point deadline) {
    const std::string quoted = "\"" + memory + "\"";
    AtReply reply =
        commandRetrying("AT+CPMS=" + quoted + "," + quoted + "," + quoted, "+CPMS:", deadline);
    if (!reply.ok() && reply.outcome == AtOutcome::Final && !smsStackStarting(reply)) {
        // Wavecom takes at most two memories.
        reply = commandRetrying("AT+CPMS=" + quoted + "," + quoted, "+CPMS:", deadline);
    }
    return reply;
}

std::string ModemHandshake::selectStorage(Clock::time_point deadline, HandshakeResult& result) {
    const AtReply pdu = commandRetrying("AT+CMGF=0", "", deadline);
    if (!pdu.ok()) {
        return describeSettingFailure("switching the modem to PDU mode (AT+CMGF=0)", pdu);
    }
    const std::string& wanted = m_settings.storage;
    AtReply storage = useMemory(wanted, deadline);
    if (!storage.ok() && (storage.outcome != AtOutcome::Final || smsStackStarting(storage))) {
        return describeSettingFailure("selecting message storage " + wanted + " (AT+CPMS)",
                                      storage);
    }
    const auto receiving = [](const AtReply& reply) {
        // The last pair is the receiving memory's: <used3>,<total3> (<used2>,<total2> on Wavecom).
        const AtEvent* line = reply.firstResponse();
        const auto counts = line ? parseCpmsCounts(line->line) : std::vector<int>{};
        return counts.size() >= 2 ? std::make_pair(counts[counts.size() - 2], counts.back())
                                  : std::make_pair(0, 0);
    };
    const auto isFull = [](std::pair<int, int> counts) {
        return counts.second > 0 && counts.first >= counts.second;
    };
    result.memories = {wanted};
    if (!storage.ok() || isFull(receiving(storage))) {
        // The memories each place may name (27.005 §3.2.2), asked only now: every round trip
        // counts against the start's deadline on a slow modem.
        const AtReply test = commandRetrying("AT+CPMS=?", "+CPMS:", deadline);
        const AtEvent* testLine = test.ok() ? test.firstResponse() : nullptr;
        const auto places = testLine ? parseCpmsTestResponse(testLine->line)
                                     : std::vector<std::vector<std::string>>{};
        const auto offers = [&places](std::size_t place, const std::string& memory) {
            return places.size() <= place || std::find(places[place].begin(), places[place].end(),
                                                       memory) != places[place].end();
        };
        // A SIM that refuses SMS storage, or a full one: the modem's own memory takes new
        // messages (ModemManager falls back from SM to ME the same way).
        const std::string why = storage.ok()
                                    ? "is full (" + std::to_string(receiving(storage).first) + "/" +
                                          std::to_string(receiving(storage).second) + ")"
                                    : "was refused (" + storage.finalLine + ")";
        for (const std::string fallback : {"ME", "MT"}) {
            if (fallback == wanted || !offers(2, fallback)) {
                continue;
            }
            const AtReply other = useMemory(fallback, deadline);
            if (other.ok()) {
                m_channel.note("message storage " + wanted + " " + why + ": receiving into " +
                               fallback + ", listing " +
                               (storage.ok() ? "both" : fallback + " only"));
                result.memories = storage.ok() ? std::vector<std::string>{fallback, wanted}
                                               : std::vector<std::string>{fallback};
                storage = other;
                break;
            }
        }
    }
    if (!storage.ok()) {
        return describeSettingFailure("selecting message storage " + wanted + " (AT+CPMS)",
                                      storage);
    }
    const auto counts = receiving(storage);
    if (isFull(counts)) {
        result.storageFull = "message storage full (" + std::to_string(counts.first) + "/" +
                             std::to_string(counts.second) +
                             "): no message can be received until the waiting ones are taken "
                             "or deleted";
        m_channel.note(result.storageFull);
    }
    result.receiveCapacity = counts.second;
    const AtEvent* line = storage.firstResponse();
    result.storedMessages = line ? parseCpmsUsed(line->line).value_or(0) : 0;
    return {};
}

bool ModemHandshake::routedNeedAcknowledging(Clock::time_point deadline) {
    // Service 0 lets the modem acknowledge routed +CMT/+CDS itself (27.005 §3.2.1); under
    // service 1 the library owes an AT+CNMA for each, or the network stops routing.
    const AtReply query = commandRetrying("AT+CSMS?", "+CSMS:", deadline);
    const AtEvent* line = query.firstResponse();
    const auto service =
        line && query.ok() ? parseInt(responseFields(line->line).front()) : std::nullopt;
    return service == 1 && !commandRetrying("AT+CSMS=0", "+CSMS:", deadline).ok();
}

std::string ModemHandshake::enableIndications(Clock::time_point deadline, HandshakeResult& result) {
    AtReply reply;
    for (const char* setting : kIndicationSettings) {
        reply = commandRetrying(std::string("AT+CNMI=") + setting, "", deadline);
        if (reply.ok()) {
            result.indications = setting;
            return {};
        }
        if (reply.outcome != AtOutcome::Final || smsStackStarting(reply)) {
            break;
        }
    }
    return describeSettingFailure("enabling new-message indications (AT+CNMI): this modem "
                                  "cannot tell the library about incoming messages",
                                  reply);
}

std::string ModemHandshake::checkServiceCentre(Clock::time_point deadline) {
    const AtReply reply = commandRetrying("AT+CSCA?", "+CSCA:", deadline);
    const AtEvent* line = reply.firstResponse();
    const auto number = line ? parseCscaResponse(line->line) : std::nullopt;
    const bool missing = (reply.ok() && (!number || number->empty())) ||
                         (reply.final == FinalKind::CmsError && reply.errorCode == 330);
    if (missing) {
        return "the SIM card holds no service centre number, so no message could be sent: set "
               "it with AT+CSCA=\"+<number>\",145 (the network operator publishes it)";
    }
    if (reply.outcome != AtOutcome::Final) {
        return describeFailure(OperatorText::verbatim("reading the service centre number"), reply,
                               m_channel.lostReason())
            .english();
    }
    // Any other answer: the query is a diagnostic; sending will tell.
    return {};
}

std::string ModemHandshake::checkRegistration(Clock::time_point deadline) {
    const auto status = [&](const char* line, const char* prefix, AtReply& reply) {
        reply = commandRetrying(line, prefix, deadline);
        const AtEvent* response = reply.firstResponse();
        return response && reply.ok() ? parseRegistrationResponse(response->line) : std::nullopt;
    };
    std::optional<int> radioWasOff;
    for (;;) {
        AtReply reply;
        const auto circuit = status("AT+CREG?", "+CREG:", reply);
        if (reply.outcome != AtOutcome::Final) {
            return describeFailure(OperatorText::verbatim("checking network registration"), reply,
                                   m_channel.lostReason())
                .english();
        }
        // 4 (unknown) on +CREG: nothing says it is not registered; no +CREG at all (an error):
        // sending will tell.
        if (!circuit || isRegistered(circuit) || *circuit == 4) {
            return {};
        }
        // Only when +CREG shows none: an LTE module registers on +CEREG alone (asked first: it
        // is the common case), a data-only one on +CGREG. TinyGSM and ModemManager ask all three.
        AtReply eps;
        AtReply packet;
        const auto epsStatus = status("AT+CEREG?", "+CEREG:", eps);
        const auto packetStatus =
            isRegistered(epsStatus) ? epsStatus : status("AT+CGREG?", "+CGREG:", packet);
        if (isRegistered(epsStatus) || isRegistered(packetStatus)) {
            return {};
        }
        for (const AtReply* asked : {&eps, &packet}) {
            if (asked->outcome != AtOutcome::Final) {
                return describeFailure(OperatorText::verbatim("checking network registration"),
                                       *asked, m_channel.lostReason())
                    .english();
            }
        }
        const bool searching = *circuit == 2 || packetStatus == 2 || epsStatus == 2;
        if (!searching && !radioWasOff && *circuit != 3) {
            // A modem kept in minimum (0) or flight mode (4) across boots (gammu issue 395,
            // ubxlib issue 158) registers nowhere until it gets full function, as ModemManager
            // sets it (mm-broadband-modem.c).
            const AtReply function = commandRetrying("AT+CFUN?", "+CFUN:", deadline);
            const AtEvent* line = function.firstResponse();
            const auto mode =
                line && function.ok() ? parseInt(responseFields(line->line).front()) : std::nullopt;
            if (mode && *mode != 1) {
                radioWasOff = *mode;
                m_channel.note("radio off (+CFUN: " + std::to_string(*mode) + "): AT+CFUN=1");
                command("AT+CFUN=1", "", m_settings.timings.command, deadline);
            }
        }
        if ((searching || radioWasOff) && Clock::now() + kRegistrationPoll < deadline) {
            m_channel.pause(kRegistrationPoll);
            continue;
        }
        if (radioWasOff) {
            return "the modem's radio was off (+CFUN: " + std::to_string(*radioWasOff) +
                   ") and has not registered yet: radio switched on: start again in a minute";
        }
        if (searching) {
            return "the modem is still searching for a network: check the antenna and the "
                   "signal, then start again";
        }
        if (*circuit == 3) {
            return "the network refused to register the SIM card (+CREG status 3): check that "
                   "the SIM is active";
        }
        return "the modem is not registered on a network and not searching (+CREG status " +
               std::to_string(*circuit) + "): check the SIM card and the antenna";
    }
}

} // namespace kelbrin
