// The library as a shared object: its exported symbols, unloading and exiting with the service
// open, and the byte trace.
#include "simulated_modem_test.h"

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace kelbrin::testing {
namespace {

std::set<std::string> definedDynamicSymbols(const std::string& file) {
    std::set<std::string> symbols;
    FILE* nm = ::popen(("nm -D --defined-only " + file).c_str(), "r");
    if (nm == nullptr) {
        return symbols;
    }
    char line[512];
    while (std::fgets(line, sizeof line, nm) != nullptr) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) {
            symbols.insert(name);
        }
    }
    ::pclose(nm);
    return symbols;
}

TEST(LibraryFile, ExportsExactlyTheSevenEntryPoints) {
    EXPECT_EQ(
        definedDynamicSymbols(KELBRIN_LIBRARY_FILE),
        (std::set<std::string>{"SMSGetLastError", "SMSGetNextMessage", "SMSQuery", "SMSReport",
                               "SMSSendMessage", "SMSStartService", "SMSStopSerice"}));
}

// Runs the lifecycle probe against a simulator in this process; its exit status, or -1 when it
// had to be killed after @p limit (a worker that never stops).
int runProbe(const char* how, std::chrono::milliseconds limit) {
    modemsim::Simulator sim;
    ::setenv("KELBRIN_COM1", sim.terminalPath().c_str(), 1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(KELBRIN_LIFECYCLE_PROBE, KELBRIN_LIFECYCLE_PROBE, KELBRIN_LIBRARY_FILE, how,
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

TEST(LibraryFile, UnloadingWithTheServiceOpenStopsTheWorker) {
    EXPECT_EQ(runProbe("unload", 5s), 0);
}

TEST(LibraryFile, ExitingWithTheServiceOpenEndsTheProcess) {
    EXPECT_EQ(runProbe("exit", 5s), 0);
}

using TraceTest = SimulatedModemTest;

TEST_F(TraceTest, TraceFileHoldsEveryByteWithTimeAndDirection) {
    char path[] = "/tmp/kelbrin-trace-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ::setenv("KELBRIN_TRACE", path, 1);
    startService();
    lib.sendText("traced", "+111");
    ASSERT_TRUE(lib.waitReport(2s));
    lib.stop();
    ::unsetenv("KELBRIN_TRACE");
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    ::unlink(path);
    const std::string trace = text.str();
    EXPECT_TRUE(std::regex_search(
        trace,
        std::regex(R"(\d\d:\d\d:\d\d\.\d{3} \+0 == COM1 \(\S+\), 115200 bit/s, pid \d+: opened)")))
        << "the session mark, where the milliseconds start";
    EXPECT_TRUE(
        std::regex_search(trace, std::regex(R"(\d\d:\d\d:\d\d\.\d{3} \+\d+ >> AT\+CMGS=\d+\\r)")))
        << trace;
    EXPECT_TRUE(std::regex_search(trace, std::regex(R"(<< [^\n]*\\r\\n> )"))) << "the prompt";
    EXPECT_TRUE(std::regex_search(trace, std::regex(R"(>> 00[0-9A-F]+\\x1A)"))) << "the PDU";
    EXPECT_NE(trace.find("<< \\r\\n+CMGS: "), std::string::npos);
}

} // namespace
} // namespace kelbrin::testing
