#include "modem_session.h"

#include "at_parsers.h"
#include "modem_error_text.h"
#include "modem_handshake.h"
#include "submit_builder.h"
#include "wake_signal.h"

#include <sms/data_coding.h>
#include <sms/hex.h>
#include <sms/pdu.h>
#include <sms/timestamp.h>

#include <algorithm>
#include <variant>

namespace kelbrin {
namespace {

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

/// +CMS ERROR numbers of a network that may take the message a moment later: network out of
/// order, temporary failure ("the mobile station may wish to try another short message transfer
/// attempt almost immediately", 24.011 annex E), congestion, resources unavailable, no network
/// service (27.005 §3.2.5), and SIMCom's 512/514. Not 332 (network timeout: the message may
/// have gone), nor 500 or 513.
bool isTemporaryNetworkError(const AtReply& reply) {
    if (reply.outcome != AtOutcome::Final || reply.final != FinalKind::CmsError) {
        return false;
    }
    switch (reply.errorCode.value_or(-1)) {
    case 38:
    case 41:
    case 42:
    case 47:
    case 331:
    case 512:
    case 514:
        return true;
    default:
        return false;
    }
}

} // namespace

ModemSession::ModemSession(AtChannel& channel, WakeSignal& wake, ServiceSink& sink,
                           SessionMemory& memory, SessionSettings settings)
    : m_channel(channel), m_wake(wake), m_sink(sink), m_memory(memory),
      m_settings(std::move(settings)) {}

AtReply ModemSession::command(const std::string& line, const std::string& prefix,
                              Milliseconds timeout) {
    return m_channel.execute(AtCommand{line, prefix, timeout, false});
}

std::string ModemSession::start(Clock::time_point deadline) {
    if (m_memory.modemOutOfStep) {
        m_channel.assumeOutOfStep();
    }
    const HandshakeResult result = ModemHandshake(m_channel, m_settings).run(deadline);
    m_memory.modemOutOfStep = m_channel.outOfStep();
    m_acknowledgeRouted = result.acknowledgeRouted;
    m_indications = result.indications;
    m_indicationsJustSet = true;
    m_storedMessages = result.storedMessages;
    m_currentStorage = m_settings.storage;
    // Boot codes and echo that came while starting are the start-up itself, not a restart.
    m_channel.dropUrcs([](const AtEvent& urc) { return isBootSign(urc.line); });
    m_channel.takeCommandEcho();
    return result.failure;
}

std::string ModemSession::run() {
    m_nextList = Clock::now();
    while (!m_wake.stopRequested()) {
        handleUrcs();
        if (m_channel.portLost()) {
            return "lost the connection to the modem on " + describePort(m_settings.port) + " (" +
                   m_channel.lostReason() +
                   "): check the cable and the power, then start the service again";
        }
        deliverExpired(false);
        if (m_restarted) {
            restoreSettings();
        } else if (!m_toDelete.empty()) {
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
    m_memory.modemOutOfStep = m_channel.outOfStep();
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
    if (m_channel.takeCommandEcho()) {
        m_restarted = true;
        m_channel.note("the modem echoes commands again: it has restarted");
    }
    for (const AtEvent& urc : m_channel.takeUrcs()) {
        if (isBootSign(urc.line)) {
            // A brown-out or firmware crash: echo on, +CNMI back to 0 (TinyGSM issue 608).
            m_restarted = true;
            m_channel.note("the modem has restarted (" + urc.line + ")");
        } else if (auto stored = parseCmtiUrc(urc.line)) {
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

void ModemSession::restoreSettings() {
    m_restarted = false;
    m_channel.note("setting up the restarted modem again");
    const HandshakeResult result = ModemHandshake(m_channel, m_settings)
                                       .restoreSettings(Clock::now() + m_settings.timings.restore);
    m_channel.takeCommandEcho(); // the echo of the commands that switched it off
    m_currentStorage = m_settings.storage;
    if (!result.failure.empty()) {
        if (!m_wake.stopRequested()) {
            // Each listing still switches indications on; the next restart sign runs this again.
            m_sink.problem(result.failure);
        }
        return;
    }
    m_indications = result.indications;
    m_indicationsJustSet = true;
    m_acknowledgeRouted = result.acknowledgeRouted;
    m_storedMessages = result.storedMessages;
    m_channel.note("the restarted modem is set up again");
    // What arrived while it was down is in the memory now.
    m_nextList = Clock::now();
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
    // A modem that restarted unnoticed has indications off again: each listing switches them
    // back on (the listing exists for modems that lose indications).
    if (!m_indicationsJustSet && !m_indications.empty()) {
        command("AT+CNMI=" + m_indications, "", m_settings.timings.command);
    }
    m_indicationsJustSet = false;
    // A full SIM takes its time to list (Quectel MC60, esp-protocols issue 305).
    const AtReply reply = command("AT+CMGL=4", "+CMGL:",
                                  m_settings.timings.readMessage +
                                      m_settings.timings.listPerMessage * m_storedMessages);
    if (!reply.ok()) {
        if (reply.outcome != AtOutcome::Stopped) {
            m_sink.problem(describeFailure("listing the stored messages (AT+CMGL=4)", reply,
                                           m_channel.lostReason()));
        }
        return;
    }
    m_storedMessages = static_cast<int>(reply.responses.size());
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
    const AtEvent* line = reply.firstResponse();
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
        std::string what = "sending message " + std::to_string(job.index) + " to " + job.number;
        if (total > 1) {
            what += " (part " + std::to_string(i + 1) + " of " + std::to_string(total) + ")";
        }
        const AtReply reply = sendPart(what, plan.parts[static_cast<std::size_t>(i)]);
        if (!reply.ok()) {
            m_sink.sendFinished(job.index, false,
                                describeUnknownOutcome(what, reply, m_channel.lostReason(),
                                                       m_settings.timings.sendResult));
            return;
        }
        // The modem picks the reference (smstools3: "the modem did not use it"); without a
        // +CMGS line the part is accepted but its report cannot be matched.
        const AtEvent* line = reply.firstResponse();
        if (const auto reference = line ? parseCmgsResponse(line->line) : std::nullopt) {
            m_memory.tracker.partSent(job.index, total, static_cast<uint8_t>(*reference),
                                      job.number, Clock::now());
        }
    }
    m_sink.sendFinished(job.index, true, {});
}

AtReply ModemSession::sendPart(const std::string& what, const SubmitPart& part) {
    constexpr int kRetries = 2;
    constexpr Milliseconds kFirstBackoff{1000};
    Milliseconds backoff = kFirstBackoff;
    for (int attempt = 0;; ++attempt) {
        const AtReply reply = m_channel.sendPdu(
            part.tpduLength, part.hex, m_settings.timings.prompt, m_settings.timings.sendResult);
        // Only an error result is retried: after a timeout the message may have gone, and a
        // retry would send it twice.
        if (attempt == kRetries || !isTemporaryNetworkError(reply) || m_wake.stopRequested()) {
            return reply;
        }
        m_channel.note(describeFailure(what, reply, m_channel.lostReason()) + ": trying again in " +
                       std::to_string(backoff.count()) + " ms");
        m_channel.pause(backoff);
        backoff *= 2;
    }
}

} // namespace kelbrin
