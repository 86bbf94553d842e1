#include "modem_handshake.h"

#include "at_parsers.h"
#include "at_text.h"
#include "modem_error_text.h"
#include "port_diagnostics.h"
#include "registration.h"

#include <algorithm>
#include <array>
#include <utility>

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
const std::string kPduMode = "AT+CMGF=0";

// +CNMI=<mode>,<mt>,<bm>,<ds>,<bfr>: store and notify (+CMTI), no cell broadcast, status reports
// stored (+CDSI) or else inline (+CDS). Stored first: a stored report survives indications sent
// to another port (Quectel "urcport", Huawei's extra ports) and needs no +CNMA under +CSMS
// service 1 (Novatel hangs without it, oFono build_cnmi_string). Then the fallbacks real modems
// need: MSM, Huawei, ZTE, SIMCom and Quectel refuse mode 2 (oFono), Qualcomm refuses ds=1 though
// it advertises it (ModemManager); the last two give up status reports rather than receiving.
// After the first, these are tried one by one only where AT+CNMI=? is refused; a modem that
// answers it is offered what its ranges allow (indicationSettingsOffered).
constexpr std::array<const char*, 6> kIndicationSettings{"2,1,0,2,0", "1,1,0,2,0", "2,1,0,1,0",
                                                         "1,1,0,1,0", "2,1,0,0,0", "1,1,0,0,0"};

} // namespace

// Best first, in the order of kIndicationSettings: reports stored, inline, none; mode 2 (buffer
// while the link is busy), then 1; mt 1 (store and notify) only; no cell broadcast where that may
// be chosen; <bfr> 0 (hand over the codes buffered meanwhile) where allowed, else what is
// (Cinterion MC75i takes only 1, gammu issue 1206). oFono's build_cnmi_string likewise picks
// each value from the ranges by preference.
std::vector<std::string> indicationSettingsOffered(const std::vector<std::vector<int>>& offered) {
    const auto allows = [&offered](std::size_t place, int value) {
        return place >= offered.size() || std::find(offered[place].begin(), offered[place].end(),
                                                    value) != offered[place].end();
    };
    const auto preferred = [&](std::size_t place, int value) {
        if (place >= offered.size() || offered[place].empty() || allows(place, value)) {
            return value;
        }
        return offered[place].front();
    };
    std::vector<std::string> settings;
    if (!allows(1, 1)) {
        return settings; // no +CMTI: nothing to choose
    }
    const std::string bm = std::to_string(preferred(2, 0));
    const std::string bfr = offered.size() >= 5 ? "," + std::to_string(preferred(4, 0)) : "";
    for (int ds : {2, 1, 0}) {
        for (int mode : {2, 1}) {
            if (allows(0, mode) && allows(3, ds)) {
                settings.push_back(std::to_string(mode) + ",1," + bm + "," + std::to_string(ds) +
                                   bfr);
            }
        }
    }
    return settings;
}

namespace {

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

bool isPlainError(const AtReply& reply) {
    return reply.outcome == AtOutcome::Final && reply.final == FinalKind::Error;
}

/// What an SMS command answers while the modem's SMS stack is still starting: 302 operation not
/// allowed, 500 unknown error (SIM800, EC25), 512 (SIMCom's "SMS not ready").
bool smsStackStarting(const AtReply& reply) {
    const auto code = reply.errorCode.value_or(-1);
    return reply.outcome == AtOutcome::Final && reply.final == FinalKind::CmsError &&
           (code == 302 || code == 500 || code == 512);
}

bool isSmsReadyUrc(const AtEvent& urc) {
    return isSmsReadySign(urc.line);
}

} // namespace

ModemHandshake::ModemHandshake(AtChannel& channel, const SessionSettings& settings)
    : m_channel(channel), m_settings(settings) {}

HandshakeResult ModemHandshake::run(Clock::time_point deadline) {
    HandshakeResult result;
    result.failure = syncWithModem(deadline).text();
    if (result.failure.empty()) {
        result.failure = checkSim(deadline).text();
    }
    if (result.failure.empty()) {
        result.failure = setUpMessaging(deadline, result);
    }
    if (result.failure.empty()) {
        result.failure = checkServiceCentre(deadline).text();
    }
    if (result.failure.empty()) {
        result.failure = checkRegistration(deadline).text();
    }
    if (!result.failure.empty() && m_deadlineCutCommand) {
        // Out of time: say why the time ran out, not what the command cut short looked like.
        if (m_lastOutOfStep) {
            result.failure = describeOutOfStep().text();
        } else if (m_answered > 0) {
            result.failure = describeSlowModem();
        }
    }
    return result;
}

OperatorText ModemHandshake::describeSlowModem() const {
    const auto perReply = std::chrono::duration_cast<Milliseconds>(m_answerTime / m_answered);
    return OperatorText(KELBRIN_TEXT("the modem on %1$s answers slowly (about %2$s ms per reply): "
                                     "start-up ran out of time after %3$s answered commands. "
                                     "Start again; if it stays this slow, check the baud rate, "
                                     "and switch off USB power saving for the modem "
                                     "(autosuspend)"),
                        describePort(m_settings.port), perReply.count(), m_answered);
}

HandshakeResult ModemHandshake::restoreSettings(Clock::time_point deadline) {
    HandshakeResult result;
    const AtReply basic = commandRetrying(kBasicSettings, deadline);
    if (basic.outcome != AtOutcome::Final) {
        result.failure = describeFailure(
            OperatorText(KELBRIN_TEXT("setting up the restarted modem (%1$s)"), kBasicSettings),
            basic, m_channel.lostReason());
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
        commandRetrying(line, deadline);
    }
}

AtReply ModemHandshake::command(const std::string& line, Milliseconds timeout,
                                Clock::time_point deadline, bool finalMayBeMissing) {
    AtCommand command{line, timeout, finalMayBeMissing};
    command.notAfter = deadline;
    const auto sent = Clock::now();
    AtReply reply = m_channel.execute(command);
    m_lastOutOfStep = reply.outcome == AtOutcome::OutOfStep ||
                      (m_lastOutOfStep && reply.outcome != AtOutcome::Final);
    if (reply.outcome == AtOutcome::Final) {
        ++m_answered;
        m_answerTime += Clock::now() - sent;
    } else if (reply.outcome == AtOutcome::Timeout && Clock::now() >= deadline) {
        m_deadlineCutCommand = true;
    }
    return reply;
}

AtReply ModemHandshake::commandRetrying(const std::string& line, Clock::time_point deadline,
                                        bool finalMayBeMissing) {
    Milliseconds busyBackoff = kBusyBackoffStep;
    for (;;) {
        AtReply reply = command(line, m_settings.timings.command, deadline, finalMayBeMissing);
        Milliseconds wait{0};
        AtChannel::UrcPredicate endsEarly;
        if (isBusy(reply)) {
            // python-gsmmodem grows the delay by 0.2 s per retry; so do we, within the deadline.
            wait = busyBackoff;
            busyBackoff += kBusyBackoffStep;
        } else if (reply.outcome == AtOutcome::Restarted) {
            wait = kBusyBackoffStep; // the modem rebooted under the command: ask again
        } else if (smsStackStarting(reply) || (line == kPduMode && isPlainError(reply))) {
            // SIMCom A7670E answers a plain ERROR to AT+CMGF until its SMS stack is up, 3.5 s
            // after power-up (LilyGO-Modem-Series issue 247); every PDU modem knows AT+CMGF=0.
            wait = kSmsStackRetry;
            endsEarly = isSmsReadyUrc;
        } else if (reply.outcome == AtOutcome::OutOfStep) {
            // The channel gets back in step before it asks again.
        } else {
            return reply;
        }
        if (Clock::now() + wait >= deadline) {
            return reply;
        }
        m_channel.pause(wait, endsEarly);
    }
}

StepFailure ModemHandshake::syncWithModem(Clock::time_point deadline) {
    // ESC cancels a "> " prompt a crashed run left open (gammu does the same).
    m_channel.writeRaw(std::string(1, kEscape));
    const ModemTimings& timings = m_settings.timings;
    auto syncDeadline = std::min(deadline, Clock::now() + timings.syncBudget);
    bool first = true;
    bool outOfStep = false;
    while (Clock::now() < syncDeadline) {
        const AtReply reply = command(
            kBasicSettings, first ? timings.syncFirstAttempt : timings.syncAttempt, syncDeadline);
        const bool firstAttempt = std::exchange(first, false);
        if (reply.outcome == AtOutcome::Final) {
            if (!reply.ok()) {
                applyBasicSettingsOneByOne(deadline);
            }
            // The sync line's answer is a bare OK, which an earlier line's late answer looks
            // like; after a retry the marker queries tell the two apart.
            const AtOutcome confirmed =
                firstAttempt ? AtOutcome::Final : m_channel.proveInStep(syncDeadline);
            if (confirmed == AtOutcome::Final) {
                return {};
            }
            if (confirmed != AtOutcome::OutOfStep) {
                continue;
            }
            outOfStep = true;
            syncDeadline = deadline;
            continue;
        }
        if (reply.outcome == AtOutcome::PortLost) {
            return {OperatorText(KELBRIN_TEXT("the connection to %1$s was lost (%2$s)"),
                                 describePort(m_settings.port), m_channel.lostReason()),
                    {}};
        }
        if (reply.outcome == AtOutcome::Stopped) {
            return {OperatorText(KELBRIN_TEXT("start-up was cancelled")), {}};
        }
        if (reply.outcome == AtOutcome::OutOfStep || reply.outcome == AtOutcome::Restarted) {
            // A modem is there, booting or answering late: it gets the whole start-up's time.
            outOfStep = outOfStep || reply.outcome == AtOutcome::OutOfStep;
            syncDeadline = deadline;
        }
    }
    if (outOfStep) {
        return describeOutOfStep();
    }
    return {OperatorText(KELBRIN_TEXT("no answer from a modem on %1$s at %2$s bit/s"),
                         describePort(m_settings.port), m_settings.port.baud),
            OperatorText(KELBRIN_TEXT("check that the modem is connected and powered, that this "
                                      "is the right port and that the modem runs at this baud "
                                      "rate. %1$s"),
                         describeMapping(m_settings.port))};
}

StepFailure ModemHandshake::checkSim(Clock::time_point deadline) {
    for (;;) {
        // Wavecom answers +CPIN? without OK; the information line alone will do.
        const AtReply reply = commandRetrying("AT+CPIN?", deadline, true);
        const AtEvent* line = reply.firstResponse();
        const auto state = line ? parseCpinResponse(line->line) : std::nullopt;
        if (state && *state == "READY") {
            return {};
        }
        if (state && state->find("PUK") != std::string::npos) {
            return {
                OperatorText(KELBRIN_TEXT("the SIM card is blocked and asks for its PUK (%1$s)"),
                             *state),
                OperatorText(KELBRIN_TEXT("unblock it in a phone, then start again"))};
        }
        if (state && state->find("PIN") != std::string::npos) {
            return {OperatorText(KELBRIN_TEXT("the SIM card asks for its PIN (%1$s)"), *state),
                    OperatorText(KELBRIN_TEXT("enter it with AT+CPIN=\"<pin>\" or switch the PIN "
                                              "request off in a phone"))};
        }
        const bool notReady = state && *state == "NOT READY";
        if ((notReady || isBusy(reply)) && Clock::now() + kBusyBackoffStep < deadline) {
            m_channel.pause(kBusyBackoffStep);
            continue;
        }
        if (reply.outcome == AtOutcome::Final && reply.errorCode == 10) {
            return {OperatorText(KELBRIN_TEXT("no SIM card in the modem on %1$s"),
                                 describePort(m_settings.port)),
                    OperatorText(KELBRIN_TEXT("insert one and start again"))};
        }
        if (notReady || isBusy(reply)) {
            return {OperatorText(KELBRIN_TEXT("the SIM card was still busy when start-up ran out "
                                              "of time")),
                    OperatorText(KELBRIN_TEXT("wait a few seconds and start again"))};
        }
        return {describeFailure(OperatorText(KELBRIN_TEXT("checking the SIM card (AT+CPIN?)")),
                                reply, m_channel.lostReason()),
                {}};
    }
}

OperatorText ModemHandshake::setUpMessaging(Clock::time_point deadline, HandshakeResult& result) {
    OperatorText failure = switchToPduMode(deadline).text();
    if (failure.empty()) {
        failure = selectStorage(deadline, result);
    }
    if (failure.empty()) {
        failure = enableIndications(deadline, result);
    }
    return failure;
}

OperatorText ModemHandshake::describeSettingFailure(OperatorText what, const AtReply& reply,
                                                    bool plainErrorRetried) const {
    if (smsStackStarting(reply) || (plainErrorRetried && isPlainError(reply))) {
        return OperatorText(KELBRIN_TEXT("%1$s: the modem still answered %2$s when start-up ran "
                                         "out of time: it may still be starting (or may not "
                                         "support this command); start again in a few seconds"),
                            std::move(what), reply.finalLine);
    }
    if (reply.outcome == AtOutcome::OutOfStep) {
        return OperatorText(KELBRIN_TEXT("%1$s: %2$s"), std::move(what),
                            describeOutOfStep().text());
    }
    return describeFailure(std::move(what), reply, m_channel.lostReason());
}

StepFailure ModemHandshake::describeOutOfStep() const {
    return {OperatorText(KELBRIN_TEXT("the modem on %1$s answers out of step (its answers come one "
                                      "command late) and did not get back in step before start-up "
                                      "ran out of time"),
                         describePort(m_settings.port)),
            OperatorText(KELBRIN_TEXT("start again; if it stays so, restart the modem (power or "
                                      "AT+CFUN=1,1)"))};
}

AtReply ModemHandshake::useMemory(const std::string& memory, Clock::time_point deadline) {
    const std::string quoted = "\"" + memory + "\"";
    AtReply reply = commandRetrying("AT+CPMS=" + quoted + "," + quoted + "," + quoted, deadline);
    if (!reply.ok() && reply.outcome == AtOutcome::Final && !smsStackStarting(reply)) {
        // Wavecom takes at most two memories.
        reply = commandRetrying("AT+CPMS=" + quoted + "," + quoted, deadline);
    }
    return reply;
}

StepFailure ModemHandshake::switchToPduMode(Clock::time_point deadline) {
    const AtReply pdu = commandRetrying(kPduMode, deadline);
    if (pdu.ok()) {
        return {};
    }
    return {
        describeSettingFailure(
            OperatorText(KELBRIN_TEXT("switching the modem to PDU mode (AT+CMGF=0)")), pdu, true),
        {}};
}

OperatorText ModemHandshake::selectStorage(Clock::time_point deadline, HandshakeResult& result) {
    const std::string& wanted = m_settings.storage;
    AtReply storage = useMemory(wanted, deadline);
    if (!storage.ok() && (storage.outcome != AtOutcome::Final || smsStackStarting(storage))) {
        return describeSettingFailure(
            OperatorText(KELBRIN_TEXT("selecting message storage %1$s (AT+CPMS)"), wanted),
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
        const AtReply test = commandRetrying("AT+CPMS=?", deadline);
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
        return describeSettingFailure(
            OperatorText(KELBRIN_TEXT("selecting message storage %1$s (AT+CPMS)"), wanted),
            storage);
    }
    const auto counts = receiving(storage);
    if (isFull(counts)) {
        result.storageFull = OperatorText(KELBRIN_TEXT("message storage full (%1$s/%2$s): no "
                                                       "message can be received until the "
                                                       "waiting ones are taken or deleted"),
                                          counts.first, counts.second);
        m_channel.note(result.storageFull.english());
    }
    result.receiveCapacity = counts.second;
    const AtEvent* line = storage.firstResponse();
    result.storedMessages = line ? parseCpmsUsed(line->line).value_or(0) : 0;
    return {};
}

bool ModemHandshake::routedNeedAcknowledging(Clock::time_point deadline) {
    // Service 0 lets the modem acknowledge routed +CMT/+CDS itself (27.005 §3.2.1); under
    // service 1 the library owes an AT+CNMA for each, or the network stops routing.
    const AtReply query = commandRetrying("AT+CSMS?", deadline);
    const AtEvent* line = query.firstResponse();
    const auto service =
        line && query.ok() ? parseInt(responseFields(line->line).front()) : std::nullopt;
    return service == 1 && !commandRetrying("AT+CSMS=0", deadline).ok();
}

OperatorText ModemHandshake::enableIndications(Clock::time_point deadline,
                                               HandshakeResult& result) {
    std::vector<std::string> tried;
    AtReply reply;
    const auto taken = [&](const std::string& setting) {
        if (std::find(tried.begin(), tried.end(), setting) != tried.end()) {
            return false; // refused already
        }
        tried.push_back(setting);
        reply = commandRetrying("AT+CNMI=" + setting, deadline);
        if (reply.ok()) {
            result.indications = setting;
        }
        return reply.ok();
    };
    const auto refused = [&reply] {
        return reply.outcome == AtOutcome::Final && !smsStackStarting(reply);
    };
    if (taken(kIndicationSettings.front())) {
        return {};
    }
    if (refused()) {
        // What the modem offers decides the rest. Asked only now: most modems take the usual
        // setting, and every round trip counts against the start's deadline on a slow one.
        const AtReply test = commandRetrying("AT+CNMI=?", deadline);
        const AtEvent* line = test.ok() ? test.firstResponse() : nullptr;
        const auto offered = line ? parseTestRanges(line->line) : std::vector<std::vector<int>>{};
        const std::vector<std::string> settings =
            offered.size() >= 4
                ? indicationSettingsOffered(offered)
                : std::vector<std::string>(kIndicationSettings.begin(), kIndicationSettings.end());
        for (const std::string& setting : settings) {
            if (taken(setting)) {
                return {};
            }
            if (!refused()) {
                break;
            }
        }
    }
    return describeSettingFailure(
        OperatorText(KELBRIN_TEXT("enabling new-message indications (AT+CNMI): this modem cannot "
                                  "tell the library about incoming messages")),
        reply);
}

StepFailure ModemHandshake::checkServiceCentre(Clock::time_point deadline) {
    const AtReply reply = commandRetrying("AT+CSCA?", deadline);
    const AtEvent* line = reply.firstResponse();
    const auto number = line ? parseCscaResponse(line->line) : std::nullopt;
    m_serviceCentre = number.value_or("");
    const bool missing = (reply.ok() && (!number || number->empty())) ||
                         (reply.final == FinalKind::CmsError && reply.errorCode == 330);
    if (missing) {
        return {OperatorText(KELBRIN_TEXT("the SIM card holds no service centre number, so no "
                                          "message could be sent")),
                OperatorText(KELBRIN_TEXT("set it with AT+CSCA=\"+<number>\",145 (the network "
                                          "operator publishes it)"))};
    }
    if (reply.outcome != AtOutcome::Final) {
        return {describeFailure(OperatorText(KELBRIN_TEXT("reading the service centre number")),
                                reply, m_channel.lostReason()),
                {}};
    }
    // Any other answer: the query is a diagnostic; sending will tell.
    return {};
}

Registration ModemHandshake::readRegistration(Clock::time_point deadline, bool everyDomain,
                                              OperatorText& failure) {
    const auto status = [&](const char* line, bool mustAnswer) {
        const AtReply reply = commandRetrying(line, deadline);
        if (mustAnswer && reply.outcome != AtOutcome::Final && failure.empty()) {
            failure = describeFailure(OperatorText(KELBRIN_TEXT("checking network registration")),
                                      reply, m_channel.lostReason());
        }
        const AtEvent* response = reply.firstResponse();
        return response && reply.ok() ? parseRegistrationResponse(response->line) : std::nullopt;
    };
    Registration registration;
    registration.circuit = status("AT+CREG?", true);
    // 4 (unknown) on +CREG: nothing says it is not registered; no +CREG at all (an error):
    // sending will tell.
    const bool circuitSettles =
        !registration.circuit || isRegistered(registration.circuit) || *registration.circuit == 4;
    if (!failure.empty() || (circuitSettles && !everyDomain)) {
        return registration;
    }
    // An LTE module registers on +CEREG alone (asked first: it is the common case), a data-only
    // one on +CGREG. TinyGSM and ModemManager ask all three.
    registration.eps = status("AT+CEREG?", !everyDomain);
    if (everyDomain || !isRegistered(registration.eps)) {
        registration.packet = status("AT+CGREG?", !everyDomain);
    }
    return registration;
}

Registration ModemHandshake::awaitRegistration(Clock::time_point deadline,
                                               Clock::time_point searchUntil, bool everyDomain,
                                               OperatorText& failure) {
    Registration registration = readRegistration(deadline, everyDomain, failure);
    while (failure.empty() && registration.searching() && !registration.allowsSms() &&
           Clock::now() + kRegistrationPoll < searchUntil) {
        m_channel.pause(kRegistrationPoll);
        registration = readRegistration(deadline, everyDomain, failure);
    }
    return registration;
}

StepFailure ModemHandshake::checkRegistration(Clock::time_point deadline) {
    std::optional<int> radioWasOff;
    for (;;) {
        OperatorText failure;
        const Registration registration = awaitRegistration(deadline, deadline, false, failure);
        const auto circuit = registration.circuit;
        if (!failure.empty() || !circuit || *circuit == 4 || registration.allowsSms()) {
            return {failure, {}};
        }
        if (!registration.searching() && !radioWasOff && *circuit != 3) {
            // A modem kept in minimum (0) or flight mode (4) across boots (gammu issue 395,
            // ubxlib issue 158) registers nowhere until it gets full function, as ModemManager
            // sets it (mm-broadband-modem.c).
            const AtReply function = commandRetrying("AT+CFUN?", deadline);
            const AtEvent* line = function.firstResponse();
            const auto mode =
                line && function.ok() ? parseInt(responseFields(line->line).front()) : std::nullopt;
            if (mode && *mode != 1) {
                radioWasOff = *mode;
                m_channel.note("radio off (+CFUN: " + std::to_string(*mode) + "): AT+CFUN=1");
                command("AT+CFUN=1", m_settings.timings.command, deadline);
            }
        }
        if (radioWasOff && Clock::now() + kRegistrationPoll < deadline) {
            m_channel.pause(kRegistrationPoll);
            continue;
        }
        if (radioWasOff) {
            return {OperatorText(KELBRIN_TEXT("the modem's radio was off (+CFUN: %1$s) and has not "
                                              "registered yet"),
                                 *radioWasOff),
                    OperatorText(KELBRIN_TEXT("radio switched on: start again in a minute"))};
        }
        return registrationProblem(registration);
    }
}

} // namespace kelbrin
