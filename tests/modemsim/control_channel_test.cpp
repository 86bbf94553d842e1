// The control socket, the published symlink and the modemsim program itself.

#include "sim_session.h"

#include <modemsim/scenario_file.h>
#include <modemsim/simulator.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::string temporaryPath(const char* name) {
    return "/tmp/modemsim-test-" + std::to_string(::getpid()) + "-" + name;
}

class ControlClient {
public:
    explicit ControlClient(const std::string& path) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        m_connected =
            ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~ControlClient() { ::close(m_fd); }
    bool connected() const { return m_connected; }

    // Sends one line and reads the reply up to its final "OK\n" or "ERROR...\n" line.
    std::string ask(const std::string& line) {
        std::string request = line + "\n";
        EXPECT_EQ(::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
        std::string reply;
        for (;;) {
            auto lastLine = reply.rfind('\n', reply.size() >= 2 ? reply.size() - 2 : 0);
            std::string last = reply.substr(lastLine == std::string::npos ? 0 : lastLine + 1);
            if (last == "OK\n" || (last.rfind("ERROR", 0) == 0 && last.back() == '\n')) {
                return reply;
            }
            pollfd fd{m_fd, POLLIN, 0};
            char buffer[512];
            if (::poll(&fd, 1, 2000) <= 0) {
                return reply + "<timeout>";
            }
            ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return reply + "<closed>";
            }
            reply.append(buffer, static_cast<std::size_t>(n));
        }
    }

private:
    int m_fd{-1};
    bool m_connected{false};
};

TEST(ControlChannel, SocketCommandsDriveTheModem) {
    modemsim::SimulatorOptions options;
    options.controlPath = temporaryPath("control");
    modemsim::Simulator sim(options);
    PtyClient client(sim.terminalPath());
    client.command("AT+CNMI=2,1,0,1,0");

    ControlClient control(options.controlPath);
    ASSERT_TRUE(control.connected());
    EXPECT_EQ(control.ask("deliver from=+4912345 text=\"over the socket\""), "OK\n");
    EXPECT_NE(client.readUntil("+CMTI: \"SM\",1\r\n").find("+CMTI"), std::string::npos);
    std::string list = control.ask("list");
    EXPECT_EQ(list.rfind("SM 1 0 ", 0), 0u) << list;
    EXPECT_NE(control.ask("status").find("received 1\n"), std::string::npos);
    EXPECT_EQ(control.ask("teleport"), "ERROR: unknown command 'teleport'\n");
    EXPECT_EQ(control.ask("set signal 7"), "OK\n");
    EXPECT_EQ(client.command("AT+CSQ"), "AT+CSQ\r\r\n+CSQ: 7,99\r\n\r\nOK\r\n");
    EXPECT_EQ(control.ask("at 20 deliver from=+4912345 text=later"), "OK\n");
    EXPECT_NE(client.readUntil("+CMTI: \"SM\",2\r\n").find("+CMTI"), std::string::npos);
    EXPECT_EQ(control.ask("hangup"), "OK\n");
    EXPECT_TRUE(client.waitForHangUp(ms(1000)));
}

TEST(ControlChannel, OnCnmiScriptWaitsForTheServiceToOpen) {
    auto loaded = modemsim::parseScenario("on-cnmi 10 deliver from=Welcome text=hello\n");
    ASSERT_TRUE(std::holds_alternative<modemsim::Scenario>(loaded));
    SimSession session(std::get<modemsim::Scenario>(loaded));
    EXPECT_EQ(session.client.readFor(ms(60)), "") << "nothing before AT+CNMI";
    session.openService();
    EXPECT_NE(session.client.readUntil("+CMTI: \"SM\",1\r\n").find("+CMTI"), std::string::npos);
}

TEST(ControlChannel, LinkPointsAtTheTerminalWhileRunning) {
    std::string link = temporaryPath("link");
    {
        modemsim::SimulatorOptions options;
        options.linkPath = link;
        modemsim::Simulator sim(options);
        char target[256] = {};
        ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(sim.terminalPath(), target);
        PtyClient client(link);
        EXPECT_EQ(client.command("AT"), "AT\r\r\nOK\r\n");
    }
    EXPECT_NE(::access(link.c_str(), F_OK), 0) << "removed on stop";
}

TEST(ControlChannel, ReplugBringsANewTerminalBehindTheLinkWithTheStorageKept) {
    modemsim::SimulatorOptions options;
    options.linkPath = temporaryPath("link");
    modemsim::Simulator sim(options);
    const auto linkTarget = [&] {
        char target[256] = {};
        const ssize_t length = ::readlink(options.linkPath.c_str(), target, sizeof target - 1);
        return std::string(target, length > 0 ? static_cast<std::size_t>(length) : 0);
    };
    ASSERT_EQ(sim.control("store from=+4912345 text=kept"), "OK\n");
    {
        PtyClient client(options.linkPath);
        EXPECT_EQ(sim.control("replug 100 490154203237518"), "OK\n");
        EXPECT_TRUE(client.waitForHangUp(ms(1000)));
    }
    EXPECT_EQ(linkTarget(), "") << "away for 100 ms, and the link with it, as udev removes it";
    std::this_thread::sleep_for(ms(200));
    // The kernel may give the new terminal the old number, as it often does a new ttyUSB.
    EXPECT_EQ(linkTarget(), sim.terminalPath());
    PtyClient client(options.linkPath);
    EXPECT_NE(client.command("AT+CGSN").find("AT+CGSN\r\r\n490154203237518\r\n\r\nOK\r\n"),
              std::string::npos)
        << "another modem in the same socket, booted with echo on";
    EXPECT_EQ(sim.storedMessages().size(), 1u);
    EXPECT_EQ(sim.control("replug"), "ERROR: usage: replug <milliseconds away> [<imei of the modem "
                                     "plugged in>]\n");
}

TEST(ControlChannel, TraceRecordsEveryByteAsTheLibraryDoes) {
    std::string trace = temporaryPath("trace");
    {
        modemsim::SimulatorOptions options;
        options.tracePath = trace;
        modemsim::Simulator sim(options);
        PtyClient client(sim.terminalPath());
        EXPECT_EQ(client.command("AT"), "AT\r\r\nOK\r\n");
    }
    std::FILE* file = std::fopen(trace.c_str(), "r");
    ASSERT_NE(file, nullptr);
    std::string text;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) {
        text += buffer;
    }
    std::fclose(file);
    ::unlink(trace.c_str());
    // The library's format and arrows: ">>" towards the modem, "<<" from it.
    EXPECT_TRUE(std::regex_search(
        text,
        std::regex(R"(^\d\d:\d\d:\d\d\.\d{3} \+0 == modemsim /dev/pts/\d+, pid \d+: started\n)")))
        << text;
    EXPECT_TRUE(std::regex_search(text, std::regex(R"(\n\d\d:\d\d:\d\d\.\d{3} \+\d+ >> AT\\r\n)")))
        << text;
    EXPECT_NE(text.find(" << \\r\\nOK\\r\\n\n"), std::string::npos) << text;
}

TEST(ModemsimProgram, RunsTheDemoOnALinkUntilTerminated) {
    std::string link = temporaryPath("program-link");
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::execl(MODEMSIM_PROGRAM, "modemsim", "--scenario", "demo", "--link", link.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    std::FILE* printed = ::fdopen(output[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, printed), nullptr);
    EXPECT_EQ(std::string(line).rfind("/dev/pts/", 0), 0u) << line;
    {
        PtyClient client(link);
        EXPECT_EQ(client.command("AT"), "AT\r\r\nOK\r\n");
        EXPECT_EQ(client.command("AT+CSQ"), "AT+CSQ\r\r\n+CSQ: 23,99\r\n\r\nOK\r\n")
            << "the demo's signal";
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::fclose(printed);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(::access(link.c_str(), F_OK), 0) << "link removed on SIGTERM";
}

// The modemsim program with `arguments`, stdout and stderr piped; the exit status once it ran
// `client` on the terminal it printed and was terminated, and what it wrote to stderr.
int runProgram(const std::vector<std::string>& arguments,
               const std::function<void(const std::string& terminal)>& client,
               std::string& errors) {
    int output[2];
    int error[2];
    if (::pipe(output) != 0 || ::pipe(error) != 0) {
        return -1;
    }
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(error[1], STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>("modemsim")};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(MODEMSIM_PROGRAM, argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    ::close(error[1]);
    std::FILE* printed = ::fdopen(output[0], "r");
    char line[256] = {};
    if (std::fgets(line, sizeof line, printed) != nullptr) {
        client(std::string(line, std::strcspn(line, "\n")));
        ::kill(child, SIGTERM);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    std::fclose(printed);
    char buffer[512];
    for (ssize_t n; (n = ::read(error[0], buffer, sizeof buffer)) > 0;) {
        errors.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(error[0]);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A client that does not do what the traced one did gets ERROR for each command the trace does
// not expect, with the trace line on stderr, and the replay goes on.
TEST(ModemsimProgram, ReplaysATraceToAClientThatDiverges) {
    std::string trace = temporaryPath("replayed-trace");
    std::ofstream(trace) << "09:59:59.000 +0 == an earlier session: not replayed\n"
                            "09:59:59.000 +5 >> AT+CGMM\\r\n"
                            "10:00:00.000 +0 == COM1 (/dev/ttyUSB0), 115200 bit/s, pid 7: opened\n"
                            "10:00:00.005 +5 -- a note with a line break\n"
                            "that goes on here\n"
                            "10:00:00.010 +10 >> \\x1B\n"
                            "10:00:00.020 +20 >> AT\\r\n"
                            "10:00:00.060 +60 << \\r\\nOK\\r\\n\n"
                            "10:00:00.070 +70 >> AT+CPMS?\\r\n"
                            "10:00:00.110 +110 << \\r\\n+CPMS: \"SM\",0,30\\r\\n\\r\\nOK\\r\\n\n"
                            "10:00:00.470 +470 << \\r\\n^RSSI:16\\r\\n\n"
                            "10:00:00.500 +500 -- service stopped\n";
    std::string errors;
    int status = runProgram(
        {"--replay", trace},
        [](const std::string& terminal) {
            PtyClient client(terminal);
            client.send("\x1B");
            EXPECT_EQ(client.command("AT"), "\r\nOK\r\n");
            EXPECT_EQ(client.command("AT+CSQ"), "\r\nERROR\r\n");
            EXPECT_EQ(client.command("AT+CPMS?"), "\r\n+CPMS: \"SM\",0,30\r\n\r\nOK\r\n");
            EXPECT_EQ(client.readFor(ms(200)), "") << "the unsolicited line keeps its 400 ms";
            EXPECT_EQ(client.readFor(ms(400)), "\r\n^RSSI:16\r\n");
            EXPECT_EQ(client.command("AT+CGMM"), "\r\nERROR\r\n") << "past the trace's end";
        },
        errors);
    EXPECT_EQ(status, 0) << errors;
    EXPECT_EQ(errors, "modemsim: replay: line 9 expected \"AT+CPMS?\", got \"AT+CSQ\"\n"
                      "modemsim: replay: the trace has no command after its last (line 9), got "
                      "\"AT+CGMM\"\n");
    EXPECT_EQ(runProgram({"--replay", trace, "--scenario", "demo"}, {}, errors), 2)
        << "--replay and --scenario exclude each other";
    ::unlink(trace.c_str());
}

} // namespace
