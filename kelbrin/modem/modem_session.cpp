#include "modem_session.h"

#include "at_parsers.h"
#include "at_text.h"
#include "modem_error_text.h"
#include "submit_builder.h"
#include "wake_signal.h"

#include <sms/data_coding.h>
#include <sms/hex.h>
#include <sms/pdu.h>
#include <sms/timestamp.h>

#include <algorithm>
#include <array>
#include <thread>
#include <variant>

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

const AtEvent* firstResponse(const AtReply& reply) {
    return reply.responses.empty() ? nullptr : &reply.responses.front();
}

std::string textOf(const sms::Deliver& deliver) {
    if (sms::alphabetOf(deliver.dataCoding) == sms::Alphabet::Data8) {
        // 8-bit data is not text in any encoding; show its octets rather than invalid UTF-8.
        const std::string& raw = deliver.userData.text;
        return "[8-bit data] " + sms::toHex(sms::Bytes(raw.begin(), raw.end()));
    }
    return deliver.userData.text;
}

std::string deliveredKey(const sms::Deliver& deliver) {
    const auto& t = deliver.serviceCentreTime;
    std::string key = deliver.originator.text + '\x1F' + std::to_string(deliver.originator.type);
    for (int field :
         {t.year, t.month, t.day, t.hour, t.minute, t.second, t.utcOffsetQuarterHours}) {
        key += '\x1F' + std::to_string(field);
    }
    if (const auto& concat = deliver.userData.concatenation) {
        key += '\x1F' + std::to_string(concat->reference) + '/' + std::to_string(concat->total) +
               '/' + std::to_string(concat->sequence);
    }
    return key + '\x1F' + std::to_string(deliver.dataCoding) + '\x1F' + deliver.userData.text;
}

} // namespace

ModemSession::ModemSession(AtChannel& channel, WakeSignal& wake, ServiceSink& sink,
                           SessionMemory& memory, SessionSettings settings)
    : m_channel(channel), m_wake(wake), m_sink(sink), m_memory(memory),
      m_settings(std::move(settings)) {}

AtReply ModemSession::command(const std::string& line, const std::string& prefix,
                              Milliseconds timeout, bool finalMayBeMissing) {
    return m_channel.execute(AtCommand{line, prefix, timeout, finalMayBeMissing});
}

AtReply ModemSession::commandRetryingBusy(const std::string& line, const std::string& prefix,
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

std::string ModemSession::portName() const {
    return "COM" + std::to_string(m_settings.port.portNumber) + " (" + m_settings.port.path + ")";
}

std::string ModemSession::start(Clock::time_point deadline) {
    if (auto failure = syncWithModem(deadline); !failure.empty()) {
        return failure;
    }
    const auto answered = [&](const AtReply& reply) { return reply.outcome == AtOutcome::Final; };
    // Echo off first, so that every later line is an answer; then numeric errors, which ATZ or
    // a power cycle may have reset (python-gsmmodem sends it again for that reason).
    if (!answered(commandRetryingBusy("ATE0", "", deadline)) ||
        !answered(commandRetryingBusy("AT+CMEE=1", "", deadline))) {
        return "the modem on " + portName() + " stopped answering during start-up";
    }
    for (auto step : {&ModemSession::checkSim, &ModemSession::selectStorage,
                      &ModemSession::selectMessageService, &ModemSession::enableIndications,
                      &ModemSession::checkServiceCentre, &ModemSession::checkRegistration}) {
        if (auto failure = (this->*step)(deadline); !failure.empty()) {
            return failure;
        }
    }
    return {};
}

std::string ModemSession::syncWithModem(Clock::time_point deadline) {
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
            return "the connection to " + portName() + " was lost (" + m_channel.lostReason() + ")";
        }
        if (reply.outcome == AtOutcome::Stopped) {
            return "start-up was cancelled";
        }
    }
    return "no answer from a modem on " + portName() + " at " +
           std::to_string(m_settings.port.baud) +
           " bit/s: check that the modem is connected and powered, that this is the right port "
           "and that the modem runs at this baud rate";
}

std::string ModemSession::checkSim(Clock::time_point deadline) {
    for (;;) {
        // Wavecom answers +CPIN? without OK; the information line alone will do.
        const AtReply reply = commandRetryingBusy("AT+CPIN?", "+CPIN:", deadline, true);
        const AtEvent* line = firstResponse(reply);
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
            return "no SIM card in the modem on " + portName() + ": insert one and start again";
        }
        if (notReady || isBusy(reply)) {
            return "the SIM card was still busy when start-up ran out of time: wait a few "
                   "seconds and start again";
        }
        return describeFailure("checking the SIM card (AT+CPIN?)", reply, m_channel.lostReason());
    }
}

std::string ModemSession::selectStorage(Clock::time_point deadline) {
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
    m_currentStorage = mem;
    return {};
}

std::string ModemSession::selectMessageService(Clock::time_point deadline) {
    // Service 0 lets the modem acknowledge routed +CMT/+CDS itself (27.005 §3.2.1); under
    // service 1 the library owes an AT+CNMA for each, or the network stops routing.
    const AtReply query = commandRetryingBusy("AT+CSMS?", "+CSMS:", deadline);
    const AtEvent* line = firstResponse(query);
    const auto service =
        line && query.ok() ? parseInt(responseFields(line->line).front()) : std::nullopt;
    if (service == 1 && !commandRetryingBusy("AT+CSMS=0", "+CSMS:", deadline).ok()) {
        m_acknowledgeRouted = true;
    }
    return {};
}

std::string ModemSession::enableIndications(Clock::time_point deadline) {
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

std::string ModemSession::checkServiceCentre(Clock::time_point deadline) {
    const AtReply reply = commandRetryingBusy("AT+CSCA?", "+CSCA:", deadline);
    const AtEvent* line = firstResponse(reply);
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

std::string ModemSession::checkRegistration(Clock::time_point deadline) {
    for (;;) {
        const AtReply reply = commandRetryingBusy("AT+CREG?", "+CREG:", deadline);
        const AtEvent* line = firstResponse(reply);
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

std::string ModemSession::run() {
    m_nextList = Clock::now();
    while (!m_wake.stopRequested()) {
        handleUrcs();
        if (m_channel.portLost()) {
            return "lost the connection to the modem on " + portName() + " (" +
                   m_channel.lostReason() +
                   "): check the cable and the power, then start the service again";
        }
        deliverExpired(false);
        if (!m_toDelete.empty()) {
            const StoredRef stored = m_toDelete.front();
            m_toDelete.pop_front();
            deleteStored(stored);
        } else if (!m_toRead.empty()) {
            const StoredRef stored = m_toRead.front();
            m_toRead.pop_front();
            readStored(stored);
        } else if (auto job = m_sink.takeSendJob()) {
            send(*job);
        } else if (Clock::now() >= m_nextList) {
            listStored();
            m_nextList = Clock::now() + m_settings.timings.listPoll;
        } else {
            m_channel.waitForActivity(idleWait());
        }
    }
    return {};
}

void ModemSession::flushIncomplete() {
    deliverExpired(true);
}

Milliseconds ModemSession::idleWait() const {
    auto until = m_nextList;
    if (const auto oldest = m_reassembler.oldestFirstSeen()) {
        until = std::min(until, *oldest + m_settings.timings.reassembly);
    }
    return std::max(Milliseconds(1),
                    std::chrono::duration_cast<Milliseconds>(until - Clock::now()));
}

void ModemSession::handleUrcs() {
    for (const AtEvent& urc : m_channel.takeUrcs()) {
        if (auto stored = parseCmtiUrc(urc.line)) {
            const bool queued = std::any_of(m_toRead.begin(), m_toRead.end(), [&](const auto& s) {
                return s.storage == stored->storage && s.index == stored->index;
            });
            if (!queued) {
                m_toRead.push_back(StoredRef{stored->storage, stored->index});
            }
        } else if (!urc.pdu.empty()) {
            // Routed +CMT and inline +CDS: nothing to delete; with +CSMS service 0 the modem
            // acknowledges them itself (27.005 §3.4.1, Telit ME910C1).
            takePdu(urc.pdu, parsePduUrcLength(urc.line), std::nullopt);
            if (m_acknowledgeRouted) {
                command("AT+CNMA", "", m_settings.timings.command);
            }
        }
    }
}

bool ModemSession::useStorage(const std::string& storage) {
    if (storage == m_currentStorage) {
        return true;
    }
    // Status reports may sit in "SR" (27.005 §3.1); reading them needs mem1 switched there.
    const AtReply reply =
        command("AT+CPMS=\"" + storage + "\"", "+CPMS:", m_settings.timings.command);
    if (!reply.ok()) {
        m_sink.problem(describeFailure("switching to message storage " + storage, reply,
                                       m_channel.lostReason()));
        return false;
    }
    m_currentStorage = storage;
    return true;
}

void ModemSession::listStored() {
    if (!useStorage(m_settings.storage)) {
        return;
    }
    const AtReply reply = command("AT+CMGL=4", "+CMGL:", m_settings.timings.readMessage);
    if (!reply.ok()) {
        if (reply.outcome != AtOutcome::Stopped) {
            m_sink.problem(describeFailure("listing the stored messages (AT+CMGL=4)", reply,
                                           m_channel.lostReason()));
        }
        return;
    }
    for (const AtEvent& entry : reply.responses) {
        const auto header = parseCmglHeader(entry.line);
        // Stat 2 and 3 are messages stored for sending (27.005 §3.1): not ours to take.
        if (!header || header->status == 2 || header->status == 3 || entry.pdu.empty()) {
            continue;
        }
        const StoredRef slot{m_settings.storage, header->index};
        takePdu(entry.pdu, header->length, slot);
        m_toDelete.push_back(slot);
    }
}

void ModemSession::readStored(const StoredRef& stored) {
    if (!useStorage(stored.storage)) {
        return;
    }
    const AtReply reply = command("AT+CMGR=" + std::to_string(stored.index),
                                  "+CMGR:", m_settings.timings.readMessage);
    const AtEvent* line = firstResponse(reply);
    if (reply.ok() && line != nullptr && !line->pdu.empty()) {
        takePdu(line->pdu, parseCmgrLength(line->line), stored);
        deleteStored(stored);
    } else if (!reply.ok() && reply.outcome != AtOutcome::Stopped &&
               !(reply.final == FinalKind::CmsError && reply.errorCode == 321)) {
        // 321 = the slot is empty (already taken). Anything else: the next listing retries.
        m_sink.problem(describeFailure("reading stored message " + std::to_string(stored.index),
                                       reply, m_channel.lostReason()));
    }
    useStorage(m_settings.storage);
}

void ModemSession::deleteStored(const StoredRef& stored) {
    if (!useStorage(stored.storage)) {
        return;
    }
    const AtReply reply =
        command("AT+CMGD=" + std::to_string(stored.index), "", m_settings.timings.command);
    if (reply.ok()) {
        m_memory.delivered.slotFreed(stored.storage, stored.index);
    } else if (reply.outcome != AtOutcome::Stopped) {
        // The message is already in the library's queue and its slot remembered: the next
        // listing finds the stored copy again and deletes it without delivering it twice.
        m_sink.problem(describeFailure("deleting stored message " + std::to_string(stored.index),
                                       reply, m_channel.lostReason()));
    }
}

bool ModemSession::isNew(const std::string& key, const std::optional<StoredRef>& slot) {
    const auto now = Clock::now();
    return slot ? m_memory.delivered.takeStored(slot->storage, slot->index, key, now)
                : m_memory.delivered.takeRouted(key, now);
}

void ModemSession::takePdu(const std::string& hex, std::optional<int> tpduLength,
                           const std::optional<StoredRef>& slot) {
    std::optional<std::size_t> length;
    if (tpduLength && *tpduLength > 0) {
        length = static_cast<std::size_t>(*tpduLength);
    }
    const auto decoded = sms::decodePdu(hex, length);
    if (!decoded) {
        // Nothing that reached the library is dropped: the operator sees the raw PDU.
        if (isNew("undecodable\x1F" + hex, slot)) {
            m_sink.messageReceived(ReceivedMessage{
                "?", "",
                "[undecodable message: " + std::string(sms::describe(decoded.error())) + "] " +
                    hex});
        }
        return;
    }
    if (const auto* deliver = std::get_if<sms::Deliver>(&decoded->tpdu)) {
        takeDeliver(*deliver, slot);
    } else if (const auto* report = std::get_if<sms::StatusReport>(&decoded->tpdu)) {
        if (auto outcome = m_memory.tracker.reportReceived(
                report->messageReference, report->recipient.text, report->status, Clock::now())) {
            m_sink.deliveryKnown(outcome->first, outcome->second);
        }
    }
}

void ModemSession::takeDeliver(const sms::Deliver& deliver, const std::optional<StoredRef>& slot) {
    if (!isNew(deliveredKey(deliver), slot)) {
        return;
    }
    const std::string timestamp = sms::formatTimestamp(deliver.serviceCentreTime);
    const auto& concat = deliver.userData.concatenation;
    if (!concat || concat->total <= 1) {
        m_sink.messageReceived(
            ReceivedMessage{deliver.originator.text, timestamp, textOf(deliver)});
        return;
    }
    if (auto whole =
            m_reassembler.addPart(deliver.originator.text, timestamp, concat->reference,
                                  concat->total, concat->sequence, textOf(deliver), Clock::now())) {
        m_sink.messageReceived(std::move(*whole));
    }
}

void ModemSession::deliverExpired(bool all) {
    auto expired = all ? m_reassembler.takeAll()
                       : m_reassembler.takeExpired(Clock::now(), m_settings.timings.reassembly);
    for (auto& message : expired) {
        m_sink.messageReceived(std::move(message));
    }
}

void ModemSession::send(const SendJob& job) {
    const SubmitPlan plan = buildSubmitParts(job.text, job.number, m_memory.concatReference++);
    if (!plan.error.empty()) {
        m_sink.sendFinished(job.index, false,
                            "message " + std::to_string(job.index) + ": " + plan.error);
        return;
    }
    const int total = static_cast<int>(plan.parts.size());
    for (int i = 0; i < total; ++i) {
        const SubmitPart& part = plan.parts[static_cast<std::size_t>(i)];
        const AtReply reply = m_channel.sendPdu(
            part.tpduLength, part.hex, m_settings.timings.prompt, m_settings.timings.sendResult);
        if (!reply.ok()) {
            std::string what = "sending message " + std::to_string(job.index) + " to " + job.number;
            if (total > 1) {
                what += " (part " + std::to_string(i + 1) + " of " + std::to_string(total) + ")";
            }
            m_sink.sendFinished(job.index, false,
                                describeFailure(what, reply, m_channel.lostReason()));
            return;
        }
        // The modem picks the reference (smstools3: "the modem did not use it"); without a
        // +CMGS line the part is accepted but its report cannot be matched.
        const AtEvent* line = firstResponse(reply);
        if (const auto reference = line ? parseCmgsResponse(line->line) : std::nullopt) {
            m_memory.tracker.partSent(job.index, total, static_cast<uint8_t>(*reference),
                                      job.number, Clock::now());
        }
    }
    m_sink.sendFinished(job.index, true, {});
}

} // namespace kelbrin
