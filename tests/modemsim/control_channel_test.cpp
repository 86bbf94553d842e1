// The control socket, the published symlink and the modemsim program itself.

#include "sim_session.h"

#include <modemsim/scenario_file.h>
#include <modemsim/simulator.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

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

} // namespace
