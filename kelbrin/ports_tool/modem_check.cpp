#include "modem_check.h"

#include "at_parsers.h"
#include "at_text.h"
#include "byte_trace.h"
#include "check_send.h"
#include "modem_handshake.h"
#include "modem_identity.h"
#include "port_diagnostics.h"
#include "port_map.h"
#include "service_options.h"
#include "signal_level.h"
#include "wake_signal.h"

#include <algorithm>
#include <filesystem>
#include <thread>

#include <unistd.h>

namespace kelbrin {
namespace {

// The questions of a check are answered at once by a working modem; the budget bounds a modem
// that keeps saying "SIM busy".
constexpr Milliseconds kQuestionTimeout{3000};
constexpr Milliseconds kReadBudget{20000};
constexpr Milliseconds kRegistrationWait{10000};
const char* const kNotTold = "\xE2\x80\x94"; // "—": the modem does not tell

std::string orNotTold(const std::string& text) {
    return text.empty() ? kNotTold : text;
}

/// A step's name: the same in the text and the JSON, where it stays English.
OperatorText step(TextFormat name) {
    return OperatorText(name);
}

/// Where @p target leads, as the library would open it, or why it leads nowhere.
struct Target {
    SessionSettings settings;
    OperatorText where; ///< "COM3 is /dev/ttyUSB2 (from ~/.config/kelbrin/ports line 3)"
    OperatorText error;
};

Target resolveTarget(const std::string& argument, int32_t baud) {
    Target target;
    const auto port = parseComName(argument);
    if (!port) {
        std::error_code error;
        target.settings.port.path =
            std::filesystem::absolute(argument, error).lexically_normal().string();
        target.settings.port.baud = baud;
        target.where = OperatorText::verbatim(target.settings.port.path);
        return target;
    }
    StartArguments arguments;
    arguments.port = *port;
    arguments.baud = baud;
    arguments.dataBits = 8;
    SettingsResult resolved = sessionSettingsFor(arguments, processEnvironment);
    target.settings = resolved.settings;
    target.error = resolved.error;
    const PortSettings& settings = target.settings.port;
    target.where =
        settings.origin.empty()
            ? OperatorText(KELBRIN_TEXT("%1$s is %2$s (the default: no port map names it)"),
                           argument, settings.path)
            : OperatorText(KELBRIN_TEXT("%1$s is %2$s (from %3$s)"), argument, settings.path,
                           settings.origin);
    return target;
}

std::unique_ptr<SerialPort> checkDevice(const Target& target, ModemChecklist& check) {
    const PortSettings& port = target.settings.port;
    if (!target.error.empty()) {
        check.add(step(KELBRIN_TEXT("device")), Verdict::Fail, target.error,
                  OperatorText(KELBRIN_TEXT("correct that line, or map the port again with "
                                            "'kelbrin-ports assign'")));
        return nullptr;
    }
    std::error_code error;
    if (!std::filesystem::exists(port.path, error)) {
        check.add(step(KELBRIN_TEXT("device")), Verdict::Fail,
                  OperatorText(KELBRIN_TEXT("%1$s, which does not exist"), target.where),
                  describeMissingDevice(port, listSerialDevices()));
        return nullptr;
    }
    if (::access(port.path.c_str(), R_OK | W_OK) != 0) {
        check.add(step(KELBRIN_TEXT("device")), Verdict::Fail,
                  OperatorText(KELBRIN_TEXT("%1$s, which this user may not open"), target.where),
                  describePermissionProblem(port.path));
        return nullptr;
    }
    if (OperatorText holders = describeHolders(port.path); !holders.empty()) {
        check.add(
            step(KELBRIN_TEXT("device")), Verdict::Fail,
            OperatorText(KELBRIN_TEXT("%1$s, in use by %2$s"), target.where, std::move(holders)),
            OperatorText(KELBRIN_TEXT("close that program; ModemManager: 'sudo systemctl "
                                      "stop ModemManager', or a udev rule with "
                                      "ENV{ID_MM_DEVICE_IGNORE}=\"1\" for this modem")));
        return nullptr;
    }
    PortOpenResult opened = openSerialPort(port);
    if (!opened.port) {
        check.add(step(KELBRIN_TEXT("device")), Verdict::Fail, opened.error);
        return nullptr;
    }
    check.add(step(KELBRIN_TEXT("device")), Verdict::Ok,
              OperatorText(KELBRIN_TEXT("%1$s, readable, writable and free"), target.where));
    return std::move(opened.port);
}

/// The questions after the modem answered, on one channel.
class ModemQuestions {
public:
    ModemQuestions(AtChannel& channel, ModemHandshake& handshake, ModemChecklist& check)
        : m_channel(channel), m_handshake(handshake), m_check(check),
          m_deadline(Clock::now() + kReadBudget) {}

    void identity() {
        const auto ask = [this](const char* command) {
            return readIdentification(m_channel, command, kQuestionTimeout);
        };
        const std::string maker = ask("AT+CGMI");
        const std::string model = ask("AT+CGMM");
        const std::string revision = ask("AT+CGMR");
        m_check.add(step(KELBRIN_TEXT("identity")), Verdict::Ok,
                    OperatorText(KELBRIN_TEXT("%1$s %2$s, revision %3$s, IMEI %4$s"),
                                 orNotTold(maker), orNotTold(model), orNotTold(revision),
                                 orNotTold(readSerialNumber(m_channel, kQuestionTimeout))));
    }

    /// True when the SIM is ready.
    bool sim() {
        const StepFailure failure = m_handshake.checkSim(m_deadline);
        OperatorText found;
        if (!failure.failed()) {
            const std::string imsi = readIdentification(m_channel, "AT+CIMI", kQuestionTimeout);
            const AtReply own = ask("AT+CNUM");
            const AtEvent* line = own.ok() ? own.firstResponse() : nullptr;
            found = OperatorText(KELBRIN_TEXT("ready, IMSI %1$s, own number %2$s"), orNotTold(imsi),
                                 orNotTold(line ? parseCnumNumber(line->line).value_or("") : ""));
        }
        m_check.add(step(KELBRIN_TEXT("SIM")), failure, std::move(found));
        return !failure.failed();
    }

    void signal() {
        const AtReply reply = ask("AT+CSQ");
        const AtEvent* line = reply.ok() ? reply.firstResponse() : nullptr;
        const auto rssi = line ? parseCsqRssi(line->line) : std::nullopt;
        const auto level = rssi ? signalLevel(*rssi) : std::nullopt;
        if (!level) {
            m_check.add(step(KELBRIN_TEXT("signal")), Verdict::Fail,
                        rssi ? OperatorText(KELBRIN_TEXT("not known (+CSQ: 99)"))
                             : OperatorText(KELBRIN_TEXT("the modem did not say (AT+CSQ)")),
                        OperatorText(KELBRIN_TEXT("check the antenna and that the radio is on "
                                                  "(AT+CFUN? answers 1); move the modem where a "
                                                  "phone has signal")));
            return;
        }
        OperatorText found(KELBRIN_TEXT("%1$s dBm, %2$s of 5 bars (+CSQ: %3$s)"), level->dbm,
                           level->bars, *rssi);
        if (level->weak) {
            m_check.add(step(KELBRIN_TEXT("signal")), Verdict::Warn, std::move(found),
                        OperatorText(KELBRIN_TEXT("weak: sending may fail; fit a better antenna "
                                                  "or move the modem")));
        } else {
            m_check.add(step(KELBRIN_TEXT("signal")), Verdict::Ok, std::move(found));
        }
    }

    void network() {
        OperatorText failure;
        // A modem that has just started registers within seconds: wait for it as Start does.
        const Registration registration = m_handshake.awaitRegistration(
            m_deadline, std::min(m_deadline, Clock::now() + kRegistrationWait), true, failure);
        if (!failure.empty()) {
            m_check.add(step(KELBRIN_TEXT("network")), Verdict::Fail, std::move(failure));
            return;
        }
        const auto status = [](std::optional<int> stat) {
            return stat ? describeRegistrationStatus(*stat) : OperatorText::verbatim(kNotTold);
        };
        const AtReply cops = ask("AT+COPS?");
        const AtEvent* line = cops.ok() ? cops.firstResponse() : nullptr;
        OperatorText found(KELBRIN_TEXT("CS %1$s, GPRS %2$s, EPS %3$s; operator %4$s"),
                           status(registration.circuit), status(registration.packet),
                           status(registration.eps),
                           orNotTold(line ? parseCopsOperator(line->line).value_or("") : ""));
        const StepFailure problem = registrationProblem(registration);
        if (problem.failed()) {
            m_check.add(
                step(KELBRIN_TEXT("network")), Verdict::Fail,
                OperatorText(KELBRIN_TEXT("%1$s (%2$s)"), problem.problem, std::move(found)),
                problem.fix);
        } else {
            m_check.add(step(KELBRIN_TEXT("network")), Verdict::Ok, std::move(found));
        }
    }

    /// PDU mode, switched back to text mode afterwards when the modem was in it.
    void pduMode() {
        const AtReply mode = ask("AT+CMGF?");
        const AtEvent* line = mode.ok() ? mode.firstResponse() : nullptr;
        m_textModeBefore = line && parseInt(responseFields(line->line).front()).value_or(0) == 1;
        m_check.add(step(KELBRIN_TEXT("PDU mode")), m_handshake.switchToPduMode(m_deadline),
                    m_textModeBefore
                        ? OperatorText(KELBRIN_TEXT("taken (the modem was in text mode)"))
                        : OperatorText(KELBRIN_TEXT("on")));
    }

    void serviceCentre() {
        const StepFailure failure = m_handshake.checkServiceCentre(m_deadline);
        m_check.add(step(KELBRIN_TEXT("service centre")), failure,
                    OperatorText::verbatim(orNotTold(m_handshake.serviceCentre())));
    }

    void storage() {
        const AtReply reply = ask("AT+CPMS?");
        const AtEvent* line = reply.ok() ? reply.firstResponse() : nullptr;
        const auto fields = line ? responseFields(line->line) : std::vector<std::string>{};
        std::vector<std::string> memories;
        std::string found;
        std::pair<int, int> receiving{0, 0};
        for (std::size_t i = 0; i + 2 < fields.size(); i += 3) {
            const auto used = parseInt(fields[i + 1]);
            const auto total = parseInt(fields[i + 2]);
            if (!used || !total) {
                break;
            }
            memories.push_back(fields[i]);
            receiving = {*used, *total};
            const std::string entry = fields[i] + " " + fields[i + 1] + "/" + fields[i + 2];
            if (found.find(entry) == std::string::npos) {
                found += (found.empty() ? "" : ", ") + entry;
            }
        }
        if (memories.empty()) {
            m_check.add(step(KELBRIN_TEXT("storage")), Verdict::Warn,
                        OperatorText(KELBRIN_TEXT("the modem did not say (AT+CPMS?)")),
                        OperatorText(KELBRIN_TEXT("the service selects the storage itself; watch "
                                                  "its first Start")));
            return;
        }
        if (receiving.second == 0 || receiving.first < receiving.second) {
            m_check.add(step(KELBRIN_TEXT("storage")), Verdict::Ok, OperatorText::verbatim(found));
            return;
        }
        const std::string roomElsewhere = fallbackWithRoom(memories);
        if (roomElsewhere.empty()) {
            m_check.add(step(KELBRIN_TEXT("storage")), Verdict::Fail,
                        OperatorText(KELBRIN_TEXT("%1$s: full"), found),
                        OperatorText(KELBRIN_TEXT("no message can come in until the waiting ones "
                                                  "are taken or deleted: Start the service, "
                                                  "which takes them, or delete them with "
                                                  "AT+CMGD")));
        } else {
            m_check.add(step(KELBRIN_TEXT("storage")), Verdict::Warn,
                        OperatorText(KELBRIN_TEXT("%1$s: full; the service receives into %2$s"),
                                     found, roomElsewhere),
                        OperatorText(KELBRIN_TEXT("the messages waiting in %1$s stay there until "
                                                  "taken or deleted: Start the service, which "
                                                  "takes them, or delete them with AT+CMGD"),
                                     memories.back()));
        }
    }

    void indications() {
        const AtReply reply = ask("AT+CNMI=?");
        const AtEvent* line = reply.ok() ? reply.firstResponse() : nullptr;
        const auto offered = line ? parseTestRanges(line->line) : std::vector<std::vector<int>>{};
        if (offered.size() < 4) {
            m_check.add(step(KELBRIN_TEXT("indications")), Verdict::Ok,
                        OperatorText::verbatim(kNotTold));
            return;
        }
        const auto has = [&](std::size_t place, int value) {
            return std::find(offered[place].begin(), offered[place].end(), value) !=
                   offered[place].end();
        };
        OperatorText found(KELBRIN_TEXT("AT+CNMI=? offers %1$s"),
                           std::string(trim(line->line.substr(line->line.find(':') + 1))));
        if (!(has(0, 1) || has(0, 2)) || !has(1, 1)) {
            m_check.add(step(KELBRIN_TEXT("indications")), Verdict::Fail, std::move(found),
                        OperatorText(KELBRIN_TEXT("the modem cannot announce stored messages "
                                                  "(+CMTI): the service cannot learn of incoming "
                                                  "messages on this port; try the modem's other "
                                                  "ports")));
        } else if (!has(3, 1) && !has(3, 2)) {
            m_check.add(step(KELBRIN_TEXT("indications")), Verdict::Warn, std::move(found),
                        OperatorText(KELBRIN_TEXT("no status reports: sends stay without a "
                                                  "delivery outcome")));
        } else {
            m_check.add(step(KELBRIN_TEXT("indications")), Verdict::Ok, std::move(found));
        }
    }

    /// What this check changed, set back.
    void restore() {
        if (m_textModeBefore) {
            ask("AT+CMGF=1");
        }
    }

private:
    AtReply ask(const std::string& command) {
        return m_channel.execute(AtCommand{command, kQuestionTimeout});
    }

    /// The memory the service falls back to for receiving when the first is full (ME, then MT),
    /// if the modem offers one with room; the memories are set back as they were.
    std::string fallbackWithRoom(const std::vector<std::string>& memories) {
        const AtReply test = ask("AT+CPMS=?");
        const AtEvent* offer = test.ok() ? test.firstResponse() : nullptr;
        const auto places =
            offer ? parseCpmsTestResponse(offer->line) : std::vector<std::vector<std::string>>{};
        const auto receivesInto = [&places](const std::string& memory) {
            return places.size() >= 3 &&
                   std::find(places[2].begin(), places[2].end(), memory) != places[2].end();
        };
        std::string withRoom;
        for (const std::string fallback : {"ME", "MT"}) {
            if (fallback == memories.back() || !withRoom.empty() || !receivesInto(fallback)) {
                continue;
            }
            const AtReply reply = m_handshake.useMemory(fallback, m_deadline);
            const AtEvent* line = reply.ok() ? reply.firstResponse() : nullptr;
            const auto counts = line ? parseCpmsCounts(line->line) : std::vector<int>{};
            if (counts.size() >= 2 && counts[counts.size() - 2] < counts.back()) {
                withRoom = fallback;
            }
            if (reply.ok()) {
                std::string original;
                for (const std::string& memory : memories) {
                    original += (original.empty() ? "\"" : ",\"") + memory + "\"";
                }
                ask("AT+CPMS=" + original);
            }
        }
        return withRoom;
    }

    AtChannel& m_channel;
    ModemHandshake& m_handshake;
    ModemChecklist& m_check;
    Clock::time_point m_deadline;
    bool m_textModeBefore = false;
};

ByteTrace openTrace(const std::string& path, const PortSettings& port) {
    if (path.empty()) {
        return ByteTrace();
    }
    ByteTrace trace(std::fopen(path.c_str(), "ae"), true);
    trace.beginSession(describePort(port) + ", " + std::to_string(port.baud) + " bit/s, pid " +
                       std::to_string(::getpid()) + ": opened by kelbrin-ports check");
    return trace;
}

} // namespace

ModemChecklist checkModem(const std::string& target, const CheckOptions& options) {
    ModemChecklist check{target, {}};
    const Target resolved = resolveTarget(target, options.baud);
    const std::unique_ptr<SerialPort> port = checkDevice(resolved, check);
    if (!port) {
        return check;
    }
    WakeSignal wake;
    ByteTrace trace = openTrace(options.tracePath, resolved.settings.port);
    AtChannel channel(*port, wake, trace);
    ModemHandshake handshake(channel, resolved.settings);
    const StepFailure answer = handshake.syncWithModem(Clock::now() + kReadBudget);
    check.add(step(KELBRIN_TEXT("modem")), answer,
              OperatorText(KELBRIN_TEXT("answers at %1$s bit/s"), resolved.settings.port.baud));
    if (answer.failed()) {
        return check;
    }
    ModemQuestions modem(channel, handshake, check);
    modem.identity();
    const bool simReady = modem.sim();
    modem.signal();
    modem.network();
    if (simReady) {
        modem.pduMode();
        modem.serviceCentre();
        modem.storage();
        modem.indications();
    } else {
        check.add(step(KELBRIN_TEXT("messages")), Verdict::Warn,
                  OperatorText(KELBRIN_TEXT("not checked: the message settings need a ready SIM")),
                  OperatorText(KELBRIN_TEXT("make the SIM ready, then check again")));
    }
    if (!options.sendTo.empty() && check.failed()) {
        check.add(step(KELBRIN_TEXT("send")), Verdict::Warn,
                  OperatorText(KELBRIN_TEXT("not sent: a step above failed")),
                  OperatorText(KELBRIN_TEXT("fix that step first, then check again")));
    } else if (!options.sendTo.empty()) {
        sendThereAndBack(channel, options.sendTo, check);
    }
    modem.restore();
    return check;
}

std::vector<ModemChecklist> checkModems(const std::vector<std::string>& targets,
                                        const CheckOptions& options) {
    std::vector<ModemChecklist> checklists(targets.size());
    std::vector<std::thread> checks;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        checks.emplace_back([&, i] { checklists[i] = checkModem(targets[i], options); });
    }
    for (std::thread& running : checks) {
        running.join();
    }
    return checklists;
}

} // namespace kelbrin
