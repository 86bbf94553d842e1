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
constexpr char kEscape = '\x1B';

// +CNMI=<mode>,<mt>,<bm>,<ds>,<bfr>: store and notify (+CMTI), no cell broadcast, status reports
// inline (+CDS) or stored (+CDSI). Fallbacks in the order real modems need them: Qualcomm refuses
// ds=1 though it advertises it (ModemManager), MSM/Huawei/ZTE/SIMCom/Quectel refuse mode 2
// (oFono build_cnmi_string); the last two give up status reports rather than receiving.
constexpr std::array<const char*, 6> kIndicationSettings{"2,1,0,1,0", "2,1,0,2,0", "1,1,0,1,0",
                                                         "1,1,0,2,0", "2,1,0,0,0", "1,1,0,0,0"};

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

} // namespace

ModemHandshake::ModemHandshake(AtChannel& channel, const SessionSettings& settings)
    : m_channel(channel), m_settings(settings) {}

HandshakeResult ModemHandshake::run(Clock::time_point deadline) {
    HandshakeResult result;
    result.failure = syncWithModem(deadline);
    if (!result.failure.empty()) {
        return result;
    }
    const auto answered = [&](const AtReply& reply) { return reply.outcome == AtOutcome::Final; };
    // Echo off first, so that every later line is an answer; then numeric errors, which ATZ or
    // a power cycle may have reset (python-gsmmodem sends it again for that reason).
    if (!answered(commandRetryingBusy("ATE0", "", deadline)) ||
        !answered(commandRetryingBusy("AT+CMEE=1", "", deadline))) {
        result.failure =
            "the modem on " + describePort(m_settings.port) + " stopped answering during start-up";
        return result;
    }
    for (auto step : {&ModemHandshake::checkSim, &ModemHandshake::selectStorage,
                      &ModemHandshake::selectMessageService, &ModemHandshake::enableIndications,
                      &ModemHandshake::checkServiceCentre, &ModemHandshake::checkRegistration}) {
        result.failure = (this->*step)(deadline);
        if (!result.failure.empty()) {
            return result;
        }
    }
    result.acknowledgeRouted = m_acknowledgeRouted;
    return result;
}

AtReply ModemHandshake::command(const std::string& line, const std::string& prefix,
                                Milliseconds timeout, bool finalMayBeMissing) {
    return m_channel.execute(AtCommand{line, prefix, timeout, finalMayBeMissing});
}

AtReply ModemHandshake::commandRetryingBusy(const std::string& line, const std::string& prefix,
                                            Clock::time_point deadline, bool finalMayBeMissing) {
    Milliseconds backoff = kBusyBackoffStep;
    for (;;) {
        const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now());
        AtReply reply =
            command(line, prefix, std::clamp(left, Milliseconds(1), m_settings.timings.command),
                    finalMayBeMissing);
        // python-gsmmodem grows the delay by 0.2 s per retry; so do we, within the deadline.
        if (!isBusy(reply) || Clock::now() + backoff >= deadline) {
            return reply;
        }
        m_channel.waitForActivity(backoff);
        backoff += kBusyBackoffStep;
    }
}

std::string ModemHandshake::syncWithModem(Clock::time_point deadline) {
    // ESC cancels a "> " prompt a crashed run left open (gammu does the same); then plain AT
    // until OK, which also lets an autobauding modem (SIM800) find our speed.
    m_channel.writeRaw(std::string(1, kEscape));
    const auto syncDeadline = std::min(deadline, Clock::now() + m_settings.timings.syncBudget);
    while (Clock::now() < syncDeadline) {
        const auto left = std::chrono::duration_cast<Milliseconds>(syncDeadline - Clock::now());
        const AtReply reply =
            command("AT", "", std::clamp(left, Milliseconds(1), m_settings.timings.syncAttempt));
        if (reply.outcome == AtOutcome::Final) {
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
           describeMapping(m_settings.port);
}

std::string ModemHandshake::checkSim(Clock::time_point deadline) {
    for (;;) {
        // Wavecom answers +CPIN? without OK; the information line alone will do.
        const AtReply reply = commandRetryingBusy("AT+CPIN?", "+CPIN:", deadline, true);
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
            m_channel.waitForActivity(kBusyBackoffStep);
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
        return describeFailure("checking the SIM card (AT+CPIN?)", reply, m_channel.lostReason());
    }
}

std::string ModemHandshake::selectStorage(Clock::time_point deadline) {
    const AtReply pdu = commandRetryingBusy("AT+CMGF=0", "", deadline);
    if (!pdu.ok()) {
        return describeFailure("switching the modem to PDU mode (AT+CMGF=0)", pdu,
                               m_channel.lostReason());
    }
    const std::string& mem = m_settings.storage;
    const std::string quoted = "\"" + mem + "\"";
    AtReply storage =
        commandRetryingBusy("AT+CPMS=" + quoted + "," + quoted + "," + quoted, "+CPMS:", deadline);
    if (!storage.ok() && storage.outcome == AtOutcome::Final) {
        // Wavecom takes at most two memories.
        storage = commandRetryingBusy("AT+CPMS=" + quoted + "," + quoted, "+CPMS:", deadline);
    }
    if (!storage.ok()) {
        return describeFailure("selecting message storage " + mem + " (AT+CPMS)", storage,
                               m_channel.lostReason());
    }
    return {};
}

std::string ModemHandshake::selectMessageService(Clock::time_point deadline) {
    // Service 0 lets the modem acknowledge routed +CMT/+CDS itself (27.005 §3.2.1); under
    // service 1 the library owes an AT+CNMA for each, or the network stops routing.
    const AtReply query = commandRetryingBusy("AT+CSMS?", "+CSMS:", deadline);
    const AtEvent* line = query.firstResponse();
    const auto service =
        line && query.ok() ? parseInt(responseFields(line->line).front()) : std::nullopt;
    if (service == 1 && !commandRetryingBusy("AT+CSMS=0", "+CSMS:", deadline).ok()) {
        m_acknowledgeRouted = true;
    }
    return {};
}

std::string ModemHandshake::enableIndications(Clock::time_point deadline) {
    AtReply reply;
    for (const char* setting : kIndicationSettings) {
        reply = commandRetryingBusy(std::string("AT+CNMI=") + setting, "", deadline);
        if (reply.ok() || reply.outcome != AtOutcome::Final) {
            break;
        }
    }
    if (!reply.ok()) {
        return describeFailure("enabling new-message indications (AT+CNMI): this modem cannot "
                               "tell the library about incoming messages",
                               reply, m_channel.lostReason());
    }
    return {};
}

std::string ModemHandshake::checkServiceCentre(Clock::time_point deadline) {
    const AtReply reply = commandRetryingBusy("AT+CSCA?", "+CSCA:", deadline);
    const AtEvent* line = reply.firstResponse();
    const auto number = line ? parseCscaResponse(line->line) : std::nullopt;
    const bool missing = (reply.ok() && (!number || number->empty())) ||
                         (reply.final == FinalKind::CmsError && reply.errorCode == 330);
    if (missing) {
        return "the SIM card holds no service centre number, so no message could be sent: set "
               "it with AT+CSCA=\"+<number>\",145 (the network operator publishes it)";
    }
    if (reply.outcome == AtOutcome::PortLost || reply.outcome == AtOutcome::Stopped) {
        return describeFailure("reading the service centre number", reply, m_channel.lostReason());
    }
    // Any other answer: the query is a diagnostic; sending will tell.
    return {};
}

std::string ModemHandshake::checkRegistration(Clock::time_point deadline) {
    for (;;) {
        const AtReply reply = commandRetryingBusy("AT+CREG?", "+CREG:", deadline);
        const AtEvent* line = reply.firstResponse();
        const auto status = line && reply.ok() ? parseCregResponse(line->line) : std::nullopt;
        if (!status) {
            // No +CREG on this modem: registration cannot be checked, sending will tell.
            return reply.outcome == AtOutcome::PortLost || reply.outcome == AtOutcome::Stopped
                       ? describeFailure("checking network registration", reply,
                                         m_channel.lostReason())
                       : std::string();
        }
        switch (*status) {
        case 1: // home network
        case 5: // roaming
        case 4: // unknown: nothing says it is not registered
            return {};
        case 2:
            if (Clock::now() + kBusyBackoffStep < deadline) {
                m_channel.waitForActivity(kBusyBackoffStep);
                continue;
            }
            return "the modem is still searching for a network: check the antenna and the "
                   "signal, then start again";
        case 3:
            return "the network refused to register the SIM card (+CREG status 3): check that "
                   "the SIM is active";
        default:
            return "the modem is not registered on a network and not searching (+CREG status " +
                   std::to_string(*status) + "): check the SIM card and the antenna";
        }
    }
}

} // namespace kelbrin
