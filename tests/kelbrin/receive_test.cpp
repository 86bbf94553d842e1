// Receiving through the C interface against the simulator: indications, the stored backlog,
// reassembly, exactly-once delivery, and the record fields.
#include "simulated_modem_test.h"

#include <regex>
#include <set>
#include <thread>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelbrin::testing {
namespace {

using ReceiveTest = SimulatedModemTest;

struct Received {
    std::string sender;
    std::string timestamp;
    std::string text;
};

// Takes messages until @p count have come (continuation records joined) or nothing more comes.
std::vector<Received> takeMessages(const KelbrinLibrary& lib, std::size_t count,
                                   std::chrono::milliseconds timeout = 3s) {
    std::vector<Received> messages;
    bool continuing = false;
    while (messages.size() < count || continuing) {
        const auto record = lib.waitMessage(timeout);
        if (!record) {
            break;
        }
        const std::string text = fieldText(record->text);
        if (continuing) {
            messages.back().text += text;
        } else {
            messages.push_back({fieldText(record->sender), fieldText(record->timestamp), text});
        }
        // A record filled to the last byte before its NUL may continue in the next one.
        continuing = text.size() >= sizeof(record->text) - 4;
    }
    return messages;
}

bool isValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if ((lead & 0xC0) == 0x80 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

TEST_F(ReceiveTest, IndicatedMessageIsReadQueuedAndDeletedOnceTaken) {
    struct Row {
        const char* name;
        const char* deliver; // the arguments after the sender
        const char* text;
    };
    for (const Row& row : {Row{"whole", "text=\"hello there\"", "hello there"},
                           Row{"user data cut inside a character (UCS2)",
                               "text=\"你好，世界\" truncate=5", "你好 [truncated]"}}) {
        SCOPED_TRACE(row.name);
        auto& sim = startService();
        ASSERT_EQ(sim.control(std::string("deliver from=+4912345678 ") + row.deliver), "OK\n");
        std::this_thread::sleep_for(300ms); // read by now
        EXPECT_EQ(sim.storedMessages().size(), 1u) << "stays on the modem until it is taken";
        const auto record = lib.waitMessage(3s);
        ASSERT_TRUE(record);
        EXPECT_EQ(fieldText(record->sender), "+4912345678");
        EXPECT_TRUE(std::regex_match(fieldText(record->timestamp),
                                     std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
            << fieldText(record->timestamp);
        EXPECT_EQ(fieldText(record->text), row.text);
        EXPECT_TRUE(eventually([&] { return sim.storedMessages().empty(); }))
            << "deleted after it was taken";
        EXPECT_FALSE(lib.waitMessage(200ms)) << "delivered once";
        lib.reset();
    }
}

TEST_F(ReceiveTest, StoredBacklogIsDeliveredOnceAtStart) {
    modemsim::Scenario scenario;
    auto& sim = startSimulator(scenario);
    const std::string longText(300, 'L'); // two parts
    ASSERT_EQ(sim.control("store from=+111 text=\"first\""), "OK\n");
    ASSERT_EQ(sim.control("store to=+4915259911630 text=\"a draft\" stat=2"), "OK\n");
    ASSERT_EQ(sim.control("store from=+222 text=\"" + longText + "\""), "OK\n");
    ASSERT_EQ(sim.control("store to=+4915259911630 text=\"sent before\" stat=3"), "OK\n");
    ASSERT_EQ(sim.control("store from=Operator text=\"third\""), "OK\n");
    // The user's own messages (stored unsent and sent) are not the service's to take or delete.
    const auto onlyTheUsersOwnLeft = [&] {
        std::multiset<int> stats;
        for (const auto& message : sim.storedMessages()) {
            stats.insert(static_cast<int>(message.stat));
        }
        return stats == std::multiset<int>{2, 3};
    };
    ASSERT_EQ(lib.startCom1(), 1) << lib.lastErrorText();

    const auto messages = takeMessages(lib, 3);
    std::multiset<std::string> texts;
    for (const auto& message : messages) {
        texts.insert(message.sender + ":" + message.text);
    }
    EXPECT_EQ(texts,
              (std::multiset<std::string>{"+111:first", "+222:" + longText, "Operator:third"}));
    EXPECT_FALSE(lib.waitMessage(300ms)) << "nothing twice";
    EXPECT_TRUE(eventually(onlyTheUsersOwnLeft));
    lib.stop();
    EXPECT_TRUE(onlyTheUsersOwnLeft()) << "nor at the stop";
}

// Stores 15 messages "backlog 1" ... "backlog 15", the console's worst case: a backlog it takes
// one message of before it closes.
std::set<std::string> storeBacklog(modemsim::Simulator& sim) {
    std::set<std::string> texts;
    for (int i = 1; i <= 15; ++i) {
        texts.insert("backlog " + std::to_string(i));
        EXPECT_EQ(sim.control("store from=+111 text=\"backlog " + std::to_string(i) + "\""),
                  "OK\n");
    }
    return texts;
}

// Runs the lifecycle probe in a take mode and returns the text it took; a "take-hold" probe is
// killed once it has taken its message.
std::string probeTakesOne(const std::string& how) {
    int out[2];
    if (::pipe(out) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        ::execl(KELBRIN_LIFECYCLE_PROBE, KELBRIN_LIFECYCLE_PROBE, KELBRIN_LIBRARY_FILE, how.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    char byte = 0;
    pollfd fd{out[0], POLLIN, 0};
    while (::poll(&fd, 1, 10000) > 0 && ::read(out[0], &byte, 1) == 1 && byte != '\n') {
        line.push_back(byte);
    }
    if (how == "take-hold") {
        ::kill(child, SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(out[0]);
    return line;
}

// Takes every message that comes, until none has come for 1.5 s.
std::multiset<std::string> takeAllTexts(const KelbrinLibrary& lib) {
    std::multiset<std::string> texts;
    while (const auto record = lib.waitMessage(1500ms)) {
        texts.insert(fieldText(record->text));
    }
    return texts;
}

TEST_F(ReceiveTest, BacklogNotTakenComesOnceInTheNextProcess) {
    struct Row {
        const char* name;
        const char* probe;
    };
    for (const Row& row : {Row{"stopped, then the process exits", "take-stop"},
                           Row{"the process is killed", "take-hold"}}) {
        SCOPED_TRACE(row.name);
        auto& sim = startSimulator();
        const std::set<std::string> backlog = storeBacklog(sim);
        const std::string taken = probeTakesOne(row.probe);
        ASSERT_EQ(backlog.count(taken), 1u) << "the probe took \"" << taken << "\"";
        if (std::string(row.probe) == "take-stop") {
            EXPECT_EQ(sim.storedMessages().size(), 14u) << "the one taken left at the stop";
        }
        ASSERT_EQ(lib.startCom1(), 1) << lib.lastErrorText();
        const auto received = takeAllTexts(lib);
        std::set<std::string> all(received.begin(), received.end());
        EXPECT_EQ(all.size(), received.size()) << "none twice";
        all.insert(taken);
        EXPECT_EQ(all, backlog) << "none lost";
        EXPECT_GE(received.size(), 14u);
        EXPECT_TRUE(eventually([&] { return sim.storedMessages().empty(); }));
        lib.stop();
    }
}

TEST_F(ReceiveTest, StopAndStartInOneProcessDeliverEachMessageOnce) {
    auto& sim = startSimulator();
    const std::set<std::string> backlog = storeBacklog(sim);
    ASSERT_EQ(lib.startCom1(), 1) << lib.lastErrorText();
    const auto first = lib.waitMessage(3s);
    ASSERT_TRUE(first);
    EXPECT_GT(sim.storedMessages().size(), 1u) << "read ahead, not deleted ahead";
    lib.stop();
    EXPECT_EQ(sim.storedMessages().size(), 14u) << "the one taken left within the stop";
    ASSERT_EQ(lib.startCom1(), 1) << lib.lastErrorText();
    auto received = takeAllTexts(lib);
    received.insert(fieldText(first->text));
    EXPECT_EQ(received, std::multiset<std::string>(backlog.begin(), backlog.end()));
    EXPECT_TRUE(eventually([&] { return sim.storedMessages().empty(); }));
}

TEST_F(ReceiveTest, LongMultibyteTextContinuesInRecordsCutOnCharacterBoundaries) {
    auto& sim = startService();
    std::string text;
    for (int i = 0; i < 60; ++i) {
        text += "短信😀"; // 3 + 4 bytes: cuts at 255 would fall inside a character
    }
    ASSERT_EQ(sim.control("deliver from=+8613800000000 text=\"" + text + "\""), "OK\n");
    std::string joined;
    int records = 0;
    while (joined.size() < text.size()) {
        const auto record = lib.waitMessage(3s);
        ASSERT_TRUE(record);
        ++records;
        const std::size_t length = ::strnlen(record->text, sizeof record->text);
        ASSERT_LT(length, sizeof record->text) << "NUL within the field";
        const std::string piece(record->text, length);
        EXPECT_TRUE(isValidUtf8(piece)) << "record " << records;
        EXPECT_EQ(fieldText(record->sender), "+8613800000000") << "headers repeat";
        joined += piece;
    }
    EXPECT_EQ(joined, text);
    EXPECT_EQ(records, 3) << "600 bytes in fields of 255";
}

TEST_F(ReceiveTest, Ucs2ChineseAndEmojiSurviveTheRoundTrip) {
    modemsim::Scenario scenario;
    scenario.settings.loopbackNumber = "+15550100";
    scenario.settings.loopbackDelay = 10ms;
    startService(scenario);
    const std::vector<std::string> texts = {"你好，世界", "emoji 😀👍🏽 mixed",
                                            "Ωμέγα € [~]"};
    for (const auto& text : texts) {
        lib.sendText(text, "+15550100");
    }
    const auto messages = takeMessages(lib, texts.size());
    ASSERT_EQ(messages.size(), texts.size());
    std::multiset<std::string> received;
    for (const auto& message : messages) {
        received.insert(message.text);
    }
    EXPECT_EQ(received, std::multiset<std::string>(texts.begin(), texts.end()));
}

TEST_F(ReceiveTest, ModemThatRestartsWhileRunningIsSetUpAgainWithoutTheOperator) {
    struct Row {
        const char* name;
        const char* bootUrcs;
        const char* smsReadyUrc;
        const char* smsReadyMs;
    };
    // The restart is noticed by its boot codes, or, with none, by the echo coming back.
    for (const Row& row :
         std::vector<Row>{{"RDY, SMS Ready 1 s later", "RDY", "SMS Ready", "1000"},
                          {"Quectel style", "RDY\n+CFUN: 1\n+CPIN: READY", "+QIND: SMS DONE", "0"},
                          {"silent boot, echo back on", "", "", "0"}}) {
        SCOPED_TRACE(row.name);
        auto& sim = startService();
        for (const std::string& setting : {std::string("boot_urcs \"") + row.bootUrcs + "\"",
                                           std::string("sms_ready_urc \"") + row.smsReadyUrc + "\"",
                                           std::string("sms_ready_ms ") + row.smsReadyMs}) {
            ASSERT_EQ(sim.control("set " + setting), "OK\n");
        }
        std::this_thread::sleep_for(300ms); // the listing after the start is over
        ASSERT_EQ(sim.control("reset 300"), "OK\n");
        if (*row.bootUrcs == '\0') {
            // Nothing announces it: the next command the library sends comes back as echo.
            std::this_thread::sleep_for(500ms);
            lib.sendText("after a silent restart", "+4915259911630");
            ASSERT_TRUE(lib.waitReport(8s));
        }
        std::this_thread::sleep_for(2500ms); // set up again by now; the next listing is 30 s off
        ASSERT_EQ(sim.control("deliver from=+4912345678 text=\"after the restart\""), "OK\n");
        const auto record = lib.waitMessage(3s);
        ASSERT_TRUE(record) << "indicated again";
        EXPECT_EQ(fieldText(record->text), "after the restart");
        const int32_t index = lib.sendText("still sending", "+4915259911630");
        const auto report = lib.waitReport(3s);
        ASSERT_TRUE(report);
        EXPECT_EQ(report->index, index);
        EXPECT_EQ(report->status, 1) << lib.lastErrorText();
        lib.reset();
    }
}

} // namespace
} // namespace kelbrin::testing
