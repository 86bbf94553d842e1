// The modem session against a scripted peer on a pseudo-terminal, for modem behaviour the
// simulator has no switch for: a delete that fails, a part whose sibling never comes, an answer
// out of step.
#include "byte_trace.h"
#include "modem_session.h"
#include "wake_signal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace kelbrin {
namespace {

using namespace std::chrono_literals;

// V9 (python-gsmmodem): "Hello raspberry pi" from +27748577604, listed as "+CMGL: 0,0,,35".
const std::string kPduV9 =
    "07917248014000F3240B917247587706F400003110824115248012C8329BFD06C9C373B8B82C97E741F034";
// V19 (ModemManager test_pdu_multipart): part 1 of 2, reference 0x4C.
const std::string kPduV19 =
    "07912160130320F5440B916171056429F5000021405291650569A00500034C0201A9E8F41C949E83C2207B599E"
    "07B1DFEE33885E9ED341E4F23C7D7697C920FA1B54C697E5E3F4BC0C6AD7D9F434081E96D341E3303C2C4EB3D3"
    "F4BC0B94A483E6E8779D4D06CDD1EF3BA80E0785E7A0B7BB0C6A97E7F3F0B9CC02B9DF7450780EA2DFDF2C5078"
    "0EA2A3CBA0BA9B5C96B3F369F71954768FDFE4B4FB0C9297E1F2F2BCECA6CF41";

class RecordingSink : public ServiceSink {
public:
    std::optional<SendJob> takeSendJob() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_job, std::nullopt);
    }
    void sendFinished(int32_t, SendOutcome outcome, const OperatorText&) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_accepted.push_back(outcome == SendOutcome::Sent);
    }
    void deliveryKnown(int32_t, DeliveryOutcome) override {}
    // The caller takes every message at once.
    void messageReceived(ReceivedMessage message) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handedOver.insert(m_handedOver.end(), message.slots.begin(), message.slots.end());
        m_messages.push_back(std::move(message));
    }
    std::size_t messagesWaiting() override { return 0; }
    std::vector<MessageSlot> takeHandedOverSlots() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_handedOver, {});
    }
    void problem(const OperatorText&) override { ++problems; }
    void sendInterrupted(SendJob) override {}
    void connectionLost(const OperatorText&) override {}
    void connectionBack() override {}
    void failSendsCalledBefore(std::chrono::steady_clock::time_point,
                               const OperatorText&) override {}

    std::vector<ReceivedMessage> messages() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_messages;
    }
    void queueSend(SendJob job) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_job = std::move(job);
    }
    std::vector<bool> sendsAccepted() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_accepted;
    }

    std::atomic<int> problems{0};

private:
    std::mutex m_mutex;
    std::optional<SendJob> m_job;
    std::vector<bool> m_accepted;
    std::vector<ReceivedMessage> m_messages;
    std::vector<MessageSlot> m_handedOver;
};

// Plays the modem on the master side of a pty: each command line gets the answer the script
// gives for it (the handshake's answers are built in). A PDU ends at its Ctrl-Z, which it keeps.
class ScriptedModem {
public:
    using Script = std::function<std::optional<std::string>(const std::string& command)>;

    explicit ScriptedModem(Script script) : m_script(std::move(script)) {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_path = ::ptsname(m_master);
        m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedModem() {
        m_stop = true;
        m_thread.join();
        ::close(m_master);
    }
    const std::string& path() const { return m_path; }
    // The test thread and the answering thread both write; on a non-blocking tty a write that
    // meets another one fails with EAGAIN, so writes take turns and retry.
    void send(const std::string& bytes) {
        std::lock_guard<std::mutex> lock(m_writeMutex);
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (errno == EAGAIN || errno == EINTR) {
                std::this_thread::sleep_for(1ms);
            } else {
                return;
            }
        }
    }
    int count(const std::string& command) {
        const auto got = commands();
        return static_cast<int>(std::count(got.begin(), got.end(), command));
    }
    /// Every line received up to a CR, in order, each once it was answered.
    std::vector<std::string> commands() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_commands;
    }

private:
    void serve() {
        std::string line;
        while (!m_stop) {
            pollfd fd{m_master, POLLIN, 0};
            if (::poll(&fd, 1, 10) <= 0) {
                continue;
            }
            char byte = 0;
            while (::read(m_master, &byte, 1) == 1) {
                if (byte == '\r' || byte == '\x1A') {
                    answer(byte == '\r' ? line : line + byte);
                    line.clear();
                } else if (byte != '\n' && byte != '\x1B') {
                    line.push_back(byte);
                }
            }
        }
    }
    void answer(const std::string& command) {
        static const std::map<std::string, std::string> kHandshake = {
            {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
            {"AT+CSCA?", "\r\n+CSCA: \"+31624000000\",145\r\n\r\nOK\r\n"},
            {"AT+CREG?", "\r\n+CREG: 0,1\r\n\r\nOK\r\n"},
            {"AT+CMEE?", "\r\n+CMEE: 1\r\n\r\nOK\r\n"},
            {"AT+CPMS=\"SM\",\"SM\",\"SM\"", "\r\n+CPMS: 0,20,0,20,0,20\r\n\r\nOK\r\n"},
            {"AT+CPMS=\"SM\"", "\r\n+CPMS: 0,20,0,20,0,20\r\n\r\nOK\r\n"},
            {"AT+CSMS?", "\r\n+CSMS: 0,1,1,1\r\n\r\nOK\r\n"},
            {"AT+CGSN", "\r\n356938035643809\r\n\r\nOK\r\n"},
            // No status report memory: every listing is of SM alone.
            {"AT+CPMS=\"SR\"", "\r\n+CMS ERROR: 302\r\n"},
        };
        if (auto scripted = m_script(command)) {
            send(*scripted);
        } else if (auto found = kHandshake.find(command); found != kHandshake.end()) {
            send(found->second);
        } else {
            send("\r\nOK\r\n");
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_commands.push_back(command);
    }

    Script m_script;
    int m_master = -1;
    std::string m_path;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_commands;
    std::mutex m_writeMutex;
};

// A session on the scripted modem, run on its own thread while the test watches.
class SessionRun {
public:
    SessionRun(const std::string& path, ModemTimings timings, SessionMemory& memory) {
        SessionSettings settings;
        settings.port = PortSettings{1, path, 115200, false, {}, {}};
        settings.timings = timings;
        m_port = openSerialPort(settings.port).port;
        m_channel = std::make_unique<AtChannel>(*m_port, m_wake, m_trace);
        m_session = std::make_unique<ModemSession>(*m_channel, m_wake, sink, memory, settings);
        m_startFailure = m_session->start(Clock::now() + 2s).english();
        if (m_startFailure.empty()) {
            m_thread = std::thread([this] { m_session->run(); });
        }
    }
    ~SessionRun() {
        requestStop();
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    const std::string& startFailure() const { return m_startFailure; }
    void wake() { m_wake.wake(); }
    /// As the worker's stop: a command it cuts may wait 300 ms for its answer. Not joined here.
    void requestStop() {
        if (!m_wake.stopRequested()) {
            m_wake.requestStop(Clock::now() + 300ms);
        }
    }

    RecordingSink sink;

private:
    ByteTrace m_trace;
    WakeSignal m_wake;
    std::unique_ptr<SerialPort> m_port;
    std::unique_ptr<AtChannel> m_channel;
    std::unique_ptr<ModemSession> m_session;
    std::string m_startFailure;
    std::thread m_thread;
};

bool eventually(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(2ms);
    }
    return done();
}

TEST(ModemSession, HandshakeFailuresTheSimulatorCannotShow) {
    struct Row {
        const char* name;
        std::string command;
        std::string answer;
        const char* expected;
    };
    const std::vector<Row> rows = {
        {"SIM PUK", "AT+CPIN?", "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n", "asks for its PUK"},
        {"no PDU mode", "AT+CMGF=0", "\r\nERROR\r\n", "PDU mode (AT+CMGF=0)"},
        {"storage refused", "AT+CPMS", "\r\n+CMS ERROR: 303\r\n", "message storage SM"},
        {"no indications", "AT+CNMI", "\r\n+CMS ERROR: 303\r\n", "new-message indications"},
        {"service centre unknown", "AT+CSCA?", "\r\n+CMS ERROR: 330\r\n",
         "no service centre number"},
    };
    for (const auto& row : rows) {
        ScriptedModem modem([&](const std::string& command) -> std::optional<std::string> {
            if (command.rfind(row.command, 0) == 0) {
                return row.answer;
            }
            return std::nullopt;
        });
        SessionMemory memory;
        SessionRun run(modem.path(), ModemTimings{}, memory);
        EXPECT_NE(run.startFailure().find(row.expected), std::string::npos)
            << row.name << ": " << run.startFailure();
    }
}

TEST(ModemSession, AnswerOutOfStepIsNeverTakenForTheNextCommand) {
    // After the start's listing (and the send, if any) the modem prints what the row says, then
    // announces message 4: the session resynchronises (AT+CMEE?) before it reads it, and no PDU
    // went out.
    struct Row {
        const char* name;
        std::string command; ///< the start of the one command answered as the row says
        std::string answer;
        bool send;
        std::string printed;
    };
    const std::vector<Row> rows = {
        {"final result while idle", "", "", false, "\r\nOK\r\n"},
        {"read that timed out", "AT+CMGR=3", "", false, "\r\n+CMTI: \"SM\",3\r\n"},
        {"OK instead of the prompt", "AT+CMGS=", "\r\nOK\r\n", true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedModem modem([&](const std::string& command) -> std::optional<std::string> {
            if (!row.command.empty() && command.rfind(row.command, 0) == 0) {
                return row.answer;
            }
            return std::nullopt;
        });
        ModemTimings timings;
        timings.readMessage = 100ms;
        SessionMemory memory;
        SessionRun run(modem.path(), timings, memory);
        ASSERT_EQ(run.startFailure(), "");
        ASSERT_TRUE(eventually([&] { return modem.count("AT+CMGL=4") == 1; }));
        if (row.send) {
            run.sink.queueSend(SendJob{1, "hi", "+4915259911630", Clock::now(), 0, std::nullopt});
            run.wake();
            ASSERT_TRUE(eventually([&] { return !run.sink.sendsAccepted().empty(); }));
            EXPECT_EQ(run.sink.sendsAccepted(), std::vector<bool>{false}) << "not sent";
        }
        modem.send(row.printed + "\r\n+CMTI: \"SM\",4\r\n");
        EXPECT_TRUE(eventually([&] {
            const auto got = modem.commands();
            return got.size() >= 2 && got[got.size() - 2] == "AT+CMEE?" &&
                   got.back() == "AT+CMGR=4";
        })) << ::testing::PrintToString(modem.commands());
        const auto got = modem.commands();
        EXPECT_TRUE(std::none_of(got.begin(), got.end(), [](const std::string& line) {
            return line.find('\x1A') != std::string::npos;
        }));
    }
}

TEST(ModemSession, ASparseAnswerGivenInStepIsTheCommandsOwn) {
    // A bare OK to AT+CMGR of an empty slot, and an OK without "+CMGS: <mr>" after the message
    // (Huawei E1750, gammu issue 88): the read is asked once more once in step, then taken as
    // empty without a problem; the send is sent, the prompt having proved the dialogue in step.
    ScriptedModem modem([](const std::string& command) -> std::optional<std::string> {
        if (command.rfind("AT+CMGS=", 0) == 0) {
            return "\r\n> ";
        }
        return std::nullopt; // the PDU and AT+CMGR=4: a bare OK
    });
    SessionMemory memory;
    SessionRun run(modem.path(), ModemTimings{}, memory);
    ASSERT_EQ(run.startFailure(), "");
    ASSERT_TRUE(eventually([&] { return modem.count("AT+CMGL=4") == 1; }));
    modem.send("\r\n+CMTI: \"SM\",4\r\n");
    ASSERT_TRUE(eventually([&] { return modem.count("AT+CMGR=4") == 2; }));
    run.sink.queueSend(SendJob{1, "hi", "+4915259911630", Clock::now(), 0, std::nullopt});
    run.wake();
    ASSERT_TRUE(eventually([&] { return !run.sink.sendsAccepted().empty(); }));
    EXPECT_EQ(run.sink.sendsAccepted(), std::vector<bool>{true});
    EXPECT_EQ(modem.count("AT+CMGR=4"), 2);
    EXPECT_EQ(modem.count("AT+CMEE?"), 1) << ::testing::PrintToString(modem.commands());
    EXPECT_EQ(run.sink.problems, 0);
}

TEST(ModemSession, FailedDeleteNeverDeliversTheStoredCopyTwice) {
    std::atomic<int> deletes{0};
    ScriptedModem modem([&](const std::string& command) -> std::optional<std::string> {
        if (command == "AT+CMGL=4") {
            return deletes >= 2 ? "\r\nOK\r\n"
                                : "\r\n+CMGL: 1,0,,35\r\n" + kPduV9 + "\r\n\r\nOK\r\n";
        }
        if (command == "AT+CMGD=1") {
            return ++deletes == 1 ? "\r\n+CMS ERROR: 500\r\n" : "\r\nOK\r\n";
        }
        return std::nullopt;
    });
    ModemTimings timings;
    timings.listPoll = 30ms;
    SessionMemory memory;
    SessionRun run(modem.path(), timings, memory);
    ASSERT_EQ(run.startFailure(), "");
    ASSERT_TRUE(eventually([&] { return deletes >= 2; })) << "the delete is retried";
    std::this_thread::sleep_for(100ms); // more listings, now empty
    const auto messages = run.sink.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Hello raspberry pi");
    EXPECT_EQ(messages[0].sender, "+27748577604");
    EXPECT_GE(modem.count("AT+CMGL=4"), 2);
}

TEST(ModemSession, EveryListingSwitchesIndicationsBackOn) {
    // A modem that restarts without a sign (no "RDY", echo still off) has +CNMI back at 0; the
    // periodic listing is what still finds its messages, and it sets the indications again.
    std::atomic<int> indicationSettings{0};
    ScriptedModem modem([&](const std::string& command) -> std::optional<std::string> {
        if (command.rfind("AT+CNMI=", 0) == 0 && command != "AT+CNMI=?") {
            ++indicationSettings;
        }
        return std::nullopt;
    });
    ModemTimings timings;
    timings.listPoll = 30ms;
    SessionMemory memory;
    SessionRun run(modem.path(), timings, memory);
    ASSERT_EQ(run.startFailure(), "");
    EXPECT_TRUE(eventually([&] { return modem.count("AT+CMGL=4") >= 3; }));
    // The handshake's setting, then one before every listing after the first (read in this
    // order: each re-arm comes before its listing).
    const int listings = modem.count("AT+CMGL=4");
    EXPECT_GE(indicationSettings.load(), listings);
}

TEST(ModemSession, LonePartIsDeliveredMarkedAfterTheReassemblyTimeout) {
    ScriptedModem modem([](const std::string&) { return std::nullopt; });
    ModemTimings timings;
    timings.reassembly = 500ms;
    SessionMemory memory;
    SessionRun run(modem.path(), timings, memory);
    ASSERT_EQ(run.startFailure(), "");
    modem.send("\r\n+CMT: ," + std::to_string(kPduV19.size() / 2 - 8) + "\r\n" + kPduV19 + "\r\n");
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(run.sink.messages().empty()) << "waits for part 2 first";
    ASSERT_TRUE(eventually([&] { return !run.sink.messages().empty(); }));
    const auto message = run.sink.messages().front();
    EXPECT_EQ(message.sender, "+16175046925");
    EXPECT_EQ(message.text.rfind("This is a very long test", 0), 0u) << message.text;
    EXPECT_NE(message.text.find("[part 2 of 2 missing]"), std::string::npos) << message.text;
}

TEST(ModemSession, DamagedAndUnusualPdusReachTheOperator) {
    // ucs2_chinese (TS 23.040 vectors): "你好" from +8613814120678, 9 octets of service centre.
    const std::string chinese =
        "0891683108501955F1040D91683118140276F8000841011251018123044F60597D";
    const auto routed = [](const std::string& hex) {
        return "\r\n+CMT: ," + std::to_string(hex.size() / 2 - 9) + "\r\n" + hex + "\r\n";
    };
    struct Row {
        const char* name;
        std::string urc;
        const char* sender;
        const char* timestamp;
        std::string text;
    };
    const std::vector<Row> rows = {
        {"no such message type (TP-MTI 11)", "\r\n+CMT: ,4\r\n0043010C\r\n", "?", "",
         "[undecodable message: "},
        {"user data shorter than announced",
         routed(chinese.substr(0, chinese.size() - 10) + "0A4F60597D"), "+8613814120678",
         "2014-10-21 15:10:18", "你好 [truncated]"},
        {"class 0 (flash)", routed(chinese.substr(0, 40) + "18" + chinese.substr(42)),
         "+8613814120678", "2014-10-21 15:10:18", "你好"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedModem modem([](const std::string&) { return std::nullopt; });
        SessionMemory memory;
        SessionRun run(modem.path(), ModemTimings{}, memory);
        ASSERT_EQ(run.startFailure(), "");
        modem.send(row.urc);
        ASSERT_TRUE(eventually([&] { return !run.sink.messages().empty(); }));
        std::this_thread::sleep_for(50ms);
        const auto messages = run.sink.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].sender, row.sender);
        EXPECT_EQ(messages[0].timestamp, row.timestamp);
        EXPECT_EQ(messages[0].text.rfind(row.text, 0), 0u) << messages[0].text;
    }
}

TEST(ModemSession, RoutedCodesAreAcknowledgedOnlyWhenServiceOneSticks) {
    // V33: a status report, routed as +CDS.
    const std::string report = "0006D60B911326880736F4111011719551401110117195714000";
    for (const bool serviceSticks : {false, true}) {
        SCOPED_TRACE(serviceSticks ? "modem keeps +CSMS service 1" : "modem takes service 0");
        ScriptedModem modem([&](const std::string& command) -> std::optional<std::string> {
            if (command == "AT+CSMS?") {
                return "\r\n+CSMS: 1,1,1,1\r\n\r\nOK\r\n";
            }
            if (command == "AT+CSMS=0") {
                return serviceSticks ? "\r\n+CMS ERROR: 303\r\n" : "\r\n+CSMS: 1,1,1\r\n\r\nOK\r\n";
            }
            return std::nullopt;
        });
        SessionMemory memory;
        SessionRun run(modem.path(), ModemTimings{}, memory);
        ASSERT_EQ(run.startFailure(), "");
        // The indication after the report is handled after it: once its read comes, the
        // acknowledgement (if any) has been sent.
        modem.send("\r\n+CDS: 26\r\n" + report + "\r\n\r\n+CMTI: \"SM\",9\r\n");
        ASSERT_TRUE(eventually([&] { return modem.count("AT+CMGR=9") == 1; }));
        EXPECT_EQ(modem.count("AT+CNMA"), serviceSticks ? 1 : 0);
    }
}

TEST(ModemSession, MessageHandedOutBeforeAStopIsNotDeliveredAgainAfterTheNextStart) {
    // The delete never succeeds, as when a stop comes between queueing and deleting.
    ScriptedModem modem([](const std::string& command) -> std::optional<std::string> {
        if (command == "AT+CMGL=4") {
            return "\r\n+CMGL: 1,1,,35\r\n" + kPduV9 + "\r\n\r\nOK\r\n";
        }
        if (command == "AT+CMGD=1") {
            return "\r\n+CMS ERROR: 500\r\n";
        }
        return std::nullopt;
    });
    SessionMemory memory;
    std::size_t delivered = 0;
    for (int start = 1; start <= 2; ++start) {
        SessionRun run(modem.path(), ModemTimings{}, memory);
        ASSERT_EQ(run.startFailure(), "");
        ASSERT_TRUE(eventually([&] { return modem.count("AT+CMGD=1") >= start; }));
        delivered += run.sink.messages().size();
    }
    EXPECT_EQ(delivered, 1u);
}

TEST(ModemSession, StopCutsTheCommandInHandAndTheNextStartKnowsWhetherItsAnswerMayCome) {
    // The first listing's AT+CPMS="SR" is left unanswered, and the stop comes while it waits.
    struct Row {
        const char* name;
        bool answeredInTime; ///< within the stop's 300 ms
    };
    for (const Row& row :
         {Row{"answered 50 ms after the stop", true}, Row{"never answered", false}}) {
        SCOPED_TRACE(row.name);
        std::atomic<int> probes{0};
        ScriptedModem modem([&](const std::string& command) -> std::optional<std::string> {
            if (command == "AT+CPMS=\"SR\"" && probes++ == 0) {
                return std::string();
            }
            return std::nullopt;
        });
        SessionMemory memory;
        auto first = std::make_unique<SessionRun>(modem.path(), ModemTimings{}, memory);
        ASSERT_EQ(first->startFailure(), "");
        ASSERT_TRUE(eventually([&] { return probes == 1; }));
        first->requestStop();
        if (row.answeredInTime) {
            std::this_thread::sleep_for(50ms);
            modem.send("\r\n+CMS ERROR: 302\r\n");
        }
        first.reset();
        std::this_thread::sleep_for(100ms); // a command written at the stop has been read by now
        const auto heard = modem.commands();
        EXPECT_EQ(heard.back(), "AT+CPMS=\"SR\"") << "nothing after the stop\n"
                                                  << ::testing::PrintToString(heard);
        SessionRun second(modem.path(), ModemTimings{}, memory);
        ASSERT_EQ(second.startFailure(), "");
        const auto next = modem.commands();
        ASSERT_GT(next.size(), heard.size());
        EXPECT_EQ(next[heard.size()] == "AT+CMEE?", !row.answeredInTime)
            << "the next session resynchronises first only when the answer may still come\n"
            << ::testing::PrintToString(next);
    }
}

TEST(ModemSession, DeleteOwedFromTheLastStartSparesANewMessageInTheSameSlot) {
    // The first start's delete fails; before the next start the slot is emptied behind the
    // library's back (its delete went through unanswered, or another program took it) and a new
    // message lands in it. ucs2_chinese (TS 23.040 vectors): "你好" from +8613814120678.
    const std::string chinese =
        "0891683108501955F1040D91683118140276F8000841011251018123044F60597D";
    enum Phase { FirstMessage, NewMessage, Emptied };
    std::atomic<Phase> phase{FirstMessage};
    ScriptedModem modem([&](const std::string& command) -> std::optional<std::string> {
        if (command == "AT+CMGL=4") {
            switch (phase.load()) {
            case FirstMessage:
                return "\r\n+CMGL: 1,1,,35\r\n" + kPduV9 + "\r\n\r\nOK\r\n";
            case NewMessage:
                return "\r\n+CMGL: 1,0,,24\r\n" + chinese + "\r\n\r\nOK\r\n";
            case Emptied:
                return "\r\nOK\r\n";
            }
        }
        if (command == "AT+CMGD=1") {
            if (phase == FirstMessage) {
                return "\r\n+CMS ERROR: 500\r\n";
            }
            phase = Emptied;
        }
        return std::nullopt;
    });
    SessionMemory memory;
    {
        SessionRun run(modem.path(), ModemTimings{}, memory);
        ASSERT_EQ(run.startFailure(), "");
        ASSERT_TRUE(eventually([&] { return modem.count("AT+CMGD=1") >= 1; }));
        ASSERT_EQ(run.sink.messages().size(), 1u);
    }
    phase = NewMessage;
    SessionRun run(modem.path(), ModemTimings{}, memory);
    ASSERT_EQ(run.startFailure(), "");
    ASSERT_TRUE(eventually([&] { return phase == Emptied; }));
    const auto messages = run.sink.messages();
    ASSERT_EQ(messages.size(), 1u) << "the new message is handed over before its slot is emptied";
    EXPECT_EQ(messages[0].text, "你好");
}

} // namespace
} // namespace kelbrin
