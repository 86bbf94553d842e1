#include "modem_session.h"

#include "at_parsers.h"
#include "at_text.h"
#include "modem_error_text.h"
#include "modem_handshake.h"
#include "send_outcome.h"
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

// How many received messages may wait for the caller before the session stops reading more:
// the rest stays on the modem, where a stop or a crash cannot lose it.
constexpr std::size_t kReadAhead = 8;
// Status reports stored by +CNMI ds=2 (27.005 §3.4.1); they are read whatever the caller does.
constexpr const char* kReportStorage = "SR";

std::string textOf(const sms::Deliver& deliver) {
    std::string text = deliver.userData.text;
    if (sms::alphabetOf(deliver.dataCoding) == sms::Alphabet::Data8) {
        // 8-bit data is not text in any encoding; show its octets rather than invalid UTF-8.
        text = "[8-bit data] " + sms::toHex(sms::Bytes(text.begin(), text.end()));
    }
    // What arrived of a cut message, as other SMS software shows it, rather than nothing.
    return deliver.userData.truncated ? text + " [truncated]" : text;
}

std::string hexByte(unsigned value) {
    return sms::toHex(sms::Bytes{static_cast<std::uint8_t>(value)});
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
      m_settings(std::move(settings)), m_device(channel.port().deviceInstance()) {}

AtReply ModemSession::command(const std::string& line, Milliseconds timeout) {
    return m_channel.execute(AtCommand{line, timeout});
}

void ModemSession::takeSettings(const HandshakeResult& result) {
    m_messageServiceSettled = false;
    m_indications = result.indications;
    m_indicationsJustSet = true;
    m_storedMessages = result.storedMessages;
    m_memories = result.memories;
    m_receiveCapacity = result.receiveCapacity;
    m_firstListing = true;
    if (!m_memories.empty()) {
        m_currentStorage = m_memories.front(); // the last AT+CPMS selected it
    }
    if (!result.storageFull.empty()) {
        m_sink.problem(result.storageFull);
    }
}

OperatorText ModemSession::start(Clock::time_point deadline) {
    if (m_memory.devicesOutOfStep.count(m_device) != 0) {
        m_channel.assumeOutOfStep();
    }
    const HandshakeResult result = ModemHandshake(m_channel, m_settings).run(deadline);
    rememberOutOfStep();
    m_currentStorage = m_settings.storage;
    if (result.failure.empty()) {
        takeSettings(result);
    }
    // Boot codes and echo that came while starting are the start-up itself, not a restart.
    m_channel.dropUrcs([](const AtEvent& urc) { return isBootSign(urc.line); });
    m_channel.takeCommandEcho();
    return result.failure;
}

OperatorText ModemSession::run() {
    // The listing comes first. Deletes a stop or a lost port cut short are owed from the last
    // session, but the slot may hold another message by now (the delete went through and only
    // its answer was lost, or another program emptied the slot, and a new message took it): the
    // listing deletes a slot only when it still holds the message handed over.
    m_nextList = Clock::now();
    while (!m_wake.stopRequested() && !m_wake.finishRequested()) {
        if (!m_messageServiceSettled) {
            // Before any routed message is handled: it decides whether those need an AT+CNMA.
            m_acknowledgeRouted =
                ModemHandshake(m_channel, m_settings)
                    .routedNeedAcknowledging(Clock::now() + m_settings.timings.restore);
            m_messageServiceSettled = true;
            m_channel.takeCommandEcho(); // part of the set-up, as in restoreSettings()
        }
        handleUrcs();
        if (m_channel.portLost()) {
            return OperatorText(KELBRIN_TEXT("lost the connection to the modem on %1$s (%2$s)"),
                                describePort(m_settings.port), m_channel.lostReason());
        }
        takeHandedOver();
        deliverExpired();
        if (m_restarted) {
            restoreSettings();
        } else if (!m_toDelete.empty()) {
            const MessageSlot slot = m_toDelete.front();
            m_toDelete.pop_front();
            deleteStored(slot);
        } else if (const auto slot = nextReadable()) {
            readStored(*slot);
        } else if (auto job = m_sink.takeSendJob()) {
            send(*job);
        } else if (Clock::now() >= m_nextList) {
            listStored();
            m_nextList = Clock::now() + m_settings.timings.listPoll;
        } else {
            m_channel.waitForActivity(idleWait());
        }
    }
    // Stopping: what the caller took leaves the modem now, within the stop's time; what it did
    // not take, and the parts of long messages still incomplete, stay for the next start.
    takeHandedOver();
    while (!m_toDelete.empty() && !m_wake.stopRequested() && !m_channel.portLost()) {
        const MessageSlot slot = m_toDelete.front();
        m_toDelete.pop_front();
        deleteStored(slot);
    }
    rememberOutOfStep();
    return {};
}

void ModemSession::rememberOutOfStep() {
    if (m_channel.outOfStep()) {
        m_memory.devicesOutOfStep.insert(m_device);
    } else {
        m_memory.devicesOutOfStep.erase(m_device);
    }
}

Milliseconds ModemSession::idleWait() const {
    auto until = m_nextList;
    if (const auto oldest = m_memory.reassembler.oldestFirstSeen()) {
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
            // A memory a +CDSI names (27.005 §3.4.1, "SR" mostly) is listed from then on, so
            // reports whose indication went elsewhere are found too.
            if (startsWith(urc.line, "+CDSI:") && std::find(m_memories.begin(), m_memories.end(),
                                                            stored->storage) == m_memories.end()) {
                m_reportMemory = stored->storage;
            }
            queueRead(MessageSlot{stored->storage, stored->index});
        } else if (!urc.pdu.empty() &&
                   (startsWith(urc.line, "+CMT:") || startsWith(urc.line, "+CDS:"))) {
            // Routed +CMT and inline +CDS: nothing to delete; with +CSMS service 0 the modem
            // acknowledges them itself (27.005 §3.4.1, Telit ME910C1). A late +CMGR or +CMGL
            // answer is no routed message: the next listing reads it from its slot.
            takePdu(urc.pdu, parsePduUrcLength(urc.line), std::nullopt);
            if (m_acknowledgeRouted) {
                command("AT+CNMA", m_settings.timings.command);
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
    m_currentStorage.clear();    // unknown: the next listing selects its memory again
    if (!result.failure.empty()) {
        if (!m_wake.stopRequested()) {
            // Each listing still switches indications on; the next restart sign runs this again.
            m_sink.problem(result.failure);
        }
        return;
    }
    takeSettings(result);
    m_channel.note("the restarted modem is set up again");
    // What arrived while it was down is in the memory now.
    m_nextList = Clock::now();
}

void ModemSession::takeHandedOver() {
    for (const MessageSlot& slot : m_sink.takeHandedOverSlots()) {
        m_memory.delivered.handedOver(slot);
        queueDelete(slot);
    }
}

void ModemSession::queueRead(const MessageSlot& slot) {
    if (std::find(m_toRead.begin(), m_toRead.end(), slot) == m_toRead.end()) {
        m_toRead.push_back(slot);
    }
}

void ModemSession::queueDelete(const MessageSlot& slot) {
    if (std::find(m_toDelete.begin(), m_toDelete.end(), slot) == m_toDelete.end()) {
        m_toDelete.push_back(slot);
    }
}

bool ModemSession::haveRoom() {
    return m_sink.messagesWaiting() < kReadAhead;
}

std::optional<MessageSlot> ModemSession::nextReadable() {
    const bool room = haveRoom();
    const auto readable = std::find_if(m_toRead.begin(), m_toRead.end(), [&](const auto& slot) {
        return room || slot.storage == kReportStorage;
    });
    if (readable == m_toRead.end()) {
        return std::nullopt;
    }
    MessageSlot slot = *readable;
    m_toRead.erase(readable);
    return slot;
}

bool ModemSession::useStorage(const std::string& storage) {
    if (storage == m_currentStorage) {
        return true;
    }
    // Status reports may sit in "SR" (27.005 §3.1); reading them needs mem1 switched there.
    const AtReply reply = command("AT+CPMS=\"" + storage + "\"", m_settings.timings.command);
    if (!reply.ok()) {
        m_sink.problem(describeFailure(
            OperatorText(KELBRIN_TEXT("switching to message storage %1$s"), storage), reply,
            m_channel.lostReason()));
        return false;
    }
    m_currentStorage = storage;
    return true;
}

void ModemSession::listStored() {
    // A modem that restarted unnoticed has indications off again: each listing switches them
    // back on (the listing exists for modems that lose indications).
    if (!m_indicationsJustSet && !m_indications.empty()) {
        command("AT+CNMI=" + m_indications, m_settings.timings.command);
    }
    m_indicationsJustSet = false;
    if (m_firstListing && m_reportMemory.empty()) {
        // Stored reports (+CNMI ds=2) sit in "SR" on most modems (27.005 §3.1); a modem that
        // takes the memory has it, and its reports are found even when no +CDSI comes here.
        const AtReply probe =
            command("AT+CPMS=\"" + std::string(kReportStorage) + "\"", m_settings.timings.command);
        if (probe.ok()) {
            m_currentStorage = kReportStorage;
            m_reportMemory = kReportStorage;
        }
    }
    int unannounced = 0;
    std::vector<std::string> memories = m_memories;
    if (!m_reportMemory.empty()) {
        memories.push_back(m_reportMemory);
    }
    for (const std::string& memory : memories) {
        unannounced += listMemory(memory, memory == memories.front());
    }
    if (unannounced > 0 && !m_firstListing && !m_toldIndicationsElsewhere) {
        // The backlog of a start is found by the first listing; later ones should find nothing
        // that no +CMTI named.
        m_channel.note(std::to_string(unannounced) +
                       " new message(s) found by the periodic listing that no indication "
                       "announced: the modem sends its indications to another port (Quectel "
                       "AT+QURCCFG=\"urcport\", Huawei's extra ports); messages still arrive, "
                       "up to one listing (KELBRIN_POLL_MS) late");
        m_toldIndicationsElsewhere = true;
    }
    m_firstListing = false;
}

int ModemSession::listMemory(const std::string& memory, bool receiving) {
    if (!useStorage(memory)) {
        return 0;
    }
    // A full SIM takes its time to list (Quectel MC60, esp-protocols issue 305).
    const AtReply reply =
        command("AT+CMGL=4", m_settings.timings.readMessage +
                                 m_settings.timings.listPerMessage * m_storedMessages);
    if (!reply.ok()) {
        if (reply.outcome != AtOutcome::Stopped) {
            m_sink.problem(describeFailure(
                OperatorText(KELBRIN_TEXT("listing the stored messages in %1$s (AT+CMGL=4)"),
                             memory),
                reply, m_channel.lostReason()));
        }
        return 0;
    }
    const int stored = static_cast<int>(reply.responses.size());
    if (receiving) {
        m_storedMessages = stored;
        if (m_receiveCapacity > 0 && stored >= m_receiveCapacity) {
            const OperatorText full(KELBRIN_TEXT("message storage full (%1$s/%2$s): no message can "
                                                 "be received until the waiting ones are taken or "
                                                 "deleted"),
                                    stored, m_receiveCapacity);
            m_channel.note(full.english());
            m_sink.problem(full);
        }
    }
    int unannounced = 0;
    for (const AtEvent& entry : reply.responses) {
        const auto header = parseCmglHeader(entry.line);
        // Stat 2 and 3 are messages stored for sending (27.005 §3.1): not ours to take.
        if (!header || header->status == 2 || header->status == 3 || entry.pdu.empty()) {
            continue;
        }
        const MessageSlot slot{memory, header->index};
        // Unread and not named by a +CMTI (those are read at once, or wait in m_toRead).
        if (header->status == 0 &&
            std::find(m_toRead.begin(), m_toRead.end(), slot) == m_toRead.end()) {
            ++unannounced;
        }
        takePdu(entry.pdu, header->length, slot);
    }
    return unannounced;
}

void ModemSession::readStored(const MessageSlot& slot) {
    if (!useStorage(slot.storage)) {
        return;
    }
    const AtReply reply =
        command("AT+CMGR=" + std::to_string(slot.index), m_settings.timings.readMessage);
    const AtEvent* line = reply.firstResponse();
    if (reply.ok() && line != nullptr && !line->pdu.empty()) {
        const auto status = parseInt(responseFields(line->line).front());
        if (status != 2 && status != 3) { // a draft or a sent message is not ours to take
            takePdu(line->pdu, parseCmgrLength(line->line), slot);
        }
    } else if (!reply.ok() && reply.outcome != AtOutcome::Stopped &&
               !(reply.final == FinalKind::CmsError && reply.errorCode == 321)) {
        // 321 = the slot is empty (already taken). Anything else: the next listing retries.
        m_sink.problem(
            describeFailure(OperatorText(KELBRIN_TEXT("reading stored message %1$s"), slot.index),
                            reply, m_channel.lostReason()));
    }
}

void ModemSession::deleteStored(const MessageSlot& slot) {
    if (!useStorage(slot.storage)) {
        return;
    }
    const AtReply reply =
        command("AT+CMGD=" + std::to_string(slot.index), m_settings.timings.command);
    if (reply.ok()) {
        m_memory.delivered.slotFreed(slot);
    } else if (reply.outcome != AtOutcome::Stopped) {
        // The slot stays remembered as handed over: the next listing finds the stored copy
        // again and deletes it without delivering it twice.
        m_sink.problem(
            describeFailure(OperatorText(KELBRIN_TEXT("deleting stored message %1$s"), slot.index),
                            reply, m_channel.lostReason()));
    }
}

bool ModemSession::isNew(const std::string& key, const std::optional<MessageSlot>& slot) {
    const auto now = Clock::now();
    return slot ? m_memory.delivered.takeStored(*slot, key, now)
                : m_memory.delivered.takeRouted(key, now);
}

void ModemSession::takePdu(const std::string& hex, std::optional<int> tpduLength,
                           const std::optional<MessageSlot>& slot) {
    std::optional<std::size_t> length;
    if (tpduLength && *tpduLength > 0) {
        length = static_cast<std::size_t>(*tpduLength);
    }
    const auto decoded = sms::decodePdu(hex, length);
    const auto* report = decoded ? std::get_if<sms::StatusReport>(&decoded->tpdu) : nullptr;
    if (report != nullptr) {
        takeReport(*report, slot);
        return;
    }
    // A message the caller is still to take stays on the modem until the caller catches up; a
    // slot owed a delete is settled now.
    if (slot && !haveRoom() && !m_memory.delivered.awaitsDelete(*slot)) {
        queueRead(*slot);
        return;
    }
    if (!decoded) {
        // Nothing that reached the library is dropped: the operator sees the raw PDU.
        if (isNew("undecodable\x1F" + hex, slot)) {
            m_sink.messageReceived(ReceivedMessage{
                "?", "",
                "[undecodable message: " + std::string(sms::describe(decoded.error())) + "] " + hex,
                slot ? std::vector<MessageSlot>{*slot} : std::vector<MessageSlot>{}});
        }
    } else if (const auto* deliver = std::get_if<sms::Deliver>(&decoded->tpdu)) {
        takeDeliver(*deliver, slot);
    }
    // A copy taken before (its delete failed, or it is the twin of a routed copy) goes now.
    if (slot && m_memory.delivered.awaitsDelete(*slot)) {
        queueDelete(*slot);
    }
}

void ModemSession::takeReport(const sms::StatusReport& report,
                              const std::optional<MessageSlot>& slot) {
    const auto verdict = m_memory.tracker.reportReceived(
        report.messageReference, report.recipient.text, report.status, Clock::now());
    if (!verdict.matched) {
        m_channel.note("status report for reference " + std::to_string(report.messageReference) +
                       " to \"" + report.recipient.text + "\" (status 0x" + hexByte(report.status) +
                       ") matches no message sent in this run; ignored");
    }
    if (verdict.decided) {
        m_sink.deliveryKnown(verdict.decided->first, verdict.decided->second);
    }
    if (slot) {
        queueDelete(*slot); // applied or traced: its work is done
    }
}

void ModemSession::takeDeliver(const sms::Deliver& deliver,
                               const std::optional<MessageSlot>& slot) {
    if (!isNew(deliveredKey(deliver), slot)) {
        return;
    }
    const std::string timestamp = sms::formatTimestamp(deliver.serviceCentreTime);
    const auto& concat = deliver.userData.concatenation;
    if (!concat || concat->total <= 1) {
        m_sink.messageReceived(
            ReceivedMessage{deliver.originator.text, timestamp, textOf(deliver),
                            slot ? std::vector<MessageSlot>{*slot} : std::vector<MessageSlot>{}});
        return;
    }
    if (auto whole = m_memory.reassembler.addPart(
            deliver.originator.text, timestamp, concat->reference, concat->total, concat->sequence,
            textOf(deliver), slot, Clock::now())) {
        m_sink.messageReceived(std::move(*whole));
    }
}

void ModemSession::deliverExpired() {
    for (auto& message :
         m_memory.reassembler.takeExpired(Clock::now(), m_settings.timings.reassembly)) {
        m_sink.messageReceived(std::move(message));
    }
}

void ModemSession::send(const SendJob& job) {
    // A message the loss of the port interrupted goes on with the reference its first parts
    // carry, so the recipient's phone still joins them.
    const uint8_t concat = job.concatReference ? *job.concatReference : m_memory.concatReference++;
    const SubmitPlan plan = buildSubmitParts(job.text, job.number, concat);
    if (!plan.error.empty()) {
        m_sink.sendFinished(
            job.index, SendOutcome::Failed,
            OperatorText(KELBRIN_TEXT("message %1$s: %2$s"), job.index, plan.error));
        return;
    }
    const int total = static_cast<int>(plan.parts.size());
    for (int i = job.partsSent; i < total; ++i) {
        const OperatorText what =
            total > 1
                ? OperatorText(KELBRIN_TEXT("sending message %1$s to %2$s (part %3$s of %4$s)"),
                               job.index, job.number, i + 1, total)
                : OperatorText(KELBRIN_TEXT("sending message %1$s to %2$s"), job.index, job.number);
        const AtReply reply = sendPart(what, plan.parts[static_cast<std::size_t>(i)]);
        if (reply.outcome == AtOutcome::PortLost && !reply.prompted) {
            // Nothing of this part went out: it goes when the modem is back.
            SendJob rest = job;
            rest.partsSent = i;
            rest.concatReference = concat;
            m_channel.note(what.english() +
                           ": the port was lost before the part went out; it waits for the modem "
                           "to come back");
            m_sink.sendInterrupted(std::move(rest));
            return;
        }
        const SendOutcome outcome = sendOutcomeOf(reply);
        if (outcome != SendOutcome::Sent) {
            // The last error is soon overwritten (a lost port says so next): the trace keeps it.
            const OperatorText failure =
                outcome == SendOutcome::Undetermined
                    ? describeUnknownOutcome(what, reply, m_channel.lostReason(),
                                             m_settings.timings.sendResult)
                    : describeFailure(what, reply, m_channel.lostReason());
            m_channel.note(failure.english());
            m_sink.sendFinished(job.index, outcome, failure);
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
    m_sink.sendFinished(job.index, SendOutcome::Sent, {});
}

AtReply ModemSession::sendPart(const OperatorText& what, const SubmitPart& part) {
    constexpr int kRetries = 2;
    constexpr Milliseconds kFirstBackoff{1000};
    Milliseconds backoff = kFirstBackoff;
    for (int attempt = 0;; ++attempt) {
        const AtReply reply = m_channel.sendPdu(
            part.tpduLength, part.hex, m_settings.timings.prompt, m_settings.timings.sendResult);
        // Only a refusal that left the part unsent is retried: when the outcome is undetermined
        // the message may have gone, and a retry would send it twice.
        if (attempt == kRetries || !isTemporaryRefusal(reply) || m_wake.stopRequested()) {
            return reply;
        }
        m_channel.note(describeFailure(what, reply, m_channel.lostReason()).english() +
                       ": trying again in " + std::to_string(backoff.count()) + " ms");
        m_channel.pause(backoff);
        backoff *= 2;
    }
}

} // namespace kelbrin
