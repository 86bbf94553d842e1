// The trace read back and cut into the replay's timed answers, on a clock of the test's own.

#include "byte_trace.h"
#include "trace_file.h"
#include "trace_replay.h"

#include <gtest/gtest.h>

namespace modemsim {
namespace {

using std::chrono::milliseconds;

std::string joined(const std::vector<std::string>& chunks) {
    std::string text;
    for (const std::string& chunk : chunks) {
        text += chunk;
    }
    return text;
}

TEST(TraceFile, EveryByteComesBackAsItWasWritten) {
    std::string everyByte;
    for (int byte = 0; byte < 256; ++byte) {
        everyByte.push_back(static_cast<char>(byte));
    }
    auto parsed = parseTrace("12:00:00.000 +7 >> " + ByteTrace::escape(everyByte) + "\n");
    ASSERT_TRUE(std::holds_alternative<std::vector<TraceSession>>(parsed))
        << std::get<std::string>(parsed);
    const auto& sessions = std::get<std::vector<TraceSession>>(parsed);
    ASSERT_EQ(sessions.size(), 1u);
    ASSERT_EQ(sessions[0].records.size(), 1u);
    EXPECT_EQ(sessions[0].records[0].bytes, everyByte);
    EXPECT_EQ(sessions[0].records[0].offset, milliseconds(7));

    EXPECT_EQ(std::get<std::string>(parseTrace("12:00:00.000 +1 -- ok\n"
                                               "12:00:00.000 +2 << \\q\n")),
              "line 2: a backslash that is not \\r, \\n, \\\\ or \\xNN");
}

// One read may hold several lines and the start of the next: each line is timed by the read
// that completed it, the prompt by the read that brought it.
TEST(TraceReplay, LinesOfOneReadAndALineCutAcrossReadsKeepTheirTimes) {
    auto parsed = parseTrace("12:00:00.000 +0 == a modem\n"
                             "12:00:00.100 +100 >> AT+CMGL=4\\r\n"
                             "12:00:00.150 +150 << \\r\\n+CMGL: 1,0,,5\\r\\n0011\\r\\n\\r\\n+CM\n"
                             "12:00:00.400 +400 << TI: \"SM\",2\\r\\n\\r\\nOK\\r\\n\n"
                             "12:00:00.500 +500 >> AT+CMGS=5\\r\n"
                             "12:00:00.520 +520 << \\r\\n> \n");
    const auto& session = std::get<std::vector<TraceSession>>(parsed).at(0);
    const auto start = LinePeer::Clock::now();
    TraceReplay replay(session, start, [](const std::string& complaint) { FAIL() << complaint; });
    replay.receive("AT+CMGL=4\r", start);
    EXPECT_EQ(joined(replay.takeOutput(start + milliseconds(50))),
              "\r\n+CMGL: 1,0,,5\r\n0011\r\n\r\n");
    EXPECT_EQ(joined(replay.takeOutput(start + milliseconds(299))), "");
    EXPECT_EQ(joined(replay.takeOutput(start + milliseconds(300))),
              "+CMTI: \"SM\",2\r\n\r\nOK\r\n");
    replay.receive("AT+CMGS=9\r", start + milliseconds(400));
    EXPECT_EQ(replay.nextDeadline(), start + milliseconds(420));
    EXPECT_EQ(joined(replay.takeOutput(start + milliseconds(420))), "\r\n> ");
}

} // namespace
} // namespace modemsim
