// kelbrin-ports: the map edit of `assign`, the by-id preference, and `--probe` run as the program
// against the modemsim program, silent pseudo-terminals and one held by another process.
#include "port_assignment.h"
#include "serial_devices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kelbrin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TemporaryFolder {
public:
    TemporaryFolder() : m_path(::mkdtemp(m_template)) {}
    ~TemporaryFolder() { fs::remove_all(m_path); }
    const std::string& path() const { return m_path; }

private:
    char m_template[32] = "/tmp/kelbrin-ports-XXXXXX";
    std::string m_path;
};

// A pseudo-terminal nobody answers on: its master is held here and never read.
class SilentPty {
public:
    SilentPty() : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_path = ::ptsname(m_master);
    }
    ~SilentPty() { ::close(m_master); }
    SilentPty(const SilentPty&) = delete;
    SilentPty& operator=(const SilentPty&) = delete;
    const std::string& path() const { return m_path; }

private:
    int m_master;
    std::string m_path;
};

// A child process running @p program with @p arguments, killed at the end.
class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> arguments) : m_pid(::fork()) {
        if (m_pid == 0) {
            std::vector<char*> argv;
            for (auto& argument : arguments) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~ChildProcess() {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid;
};

TEST(AssignPort, RewritesOnlyThePortsLine) {
    struct Row {
        const char* name;
        std::string before;
        std::string after;
    };
    const std::vector<Row> rows = {
        {"replaced in place, comments kept",
         "# modems of desk 4\nCOM1 = /dev/ttyACM0\n\ncom3=/dev/ttyUSB0   # old stick\n# end\n",
         "# modems of desk 4\nCOM1 = /dev/ttyACM0\n\nCOM3 = /dev/serial/by-id/usb-X  # old "
         "stick\n# end\n"},
        {"added at the end", "# only comments\nCOM13 = /dev/ttyUSB4",
         "# only comments\nCOM13 = /dev/ttyUSB4\nCOM3 = /dev/serial/by-id/usb-X\n"},
        {"empty map", "", "COM3 = /dev/serial/by-id/usb-X\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(assignPort(row.before, 3, "/dev/serial/by-id/usb-X"), row.after) << row.name;
    }
}

TEST(ByIdLink, FindsTheLinkToTheSameDevice) {
    const TemporaryFolder byId;
    const SilentPty modem;
    const SilentPty other;
    fs::create_symlink(modem.path(), byId.path() + "/usb-Quectel_EG25-if02-port0");
    EXPECT_EQ(byIdLinkFor(modem.path(), byId.path()), byId.path() + "/usb-Quectel_EG25-if02-port0");
    EXPECT_EQ(byIdLinkFor(other.path(), byId.path()), "");
    EXPECT_EQ(byIdLinkFor(modem.path(), byId.path() + "/none"), "") << "no by-id folder";
}

std::string lineWith(const std::string& text, const std::string& needle) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(needle + " ") != std::string::npos) {
            return line;
        }
    }
    return {};
}

// COM1..COM30 silent, COM31 the modemsim program, COM32 held open by another process.
TEST(KelbrinPortsProgram, ProbeNamesTheModemAndPassesSilentAndHeldPortsQuickly) {
    const TemporaryFolder folder;
    const std::string link = folder.path() + "/modem";
    const ChildProcess simulator({MODEMSIM_PROGRAM, "--link", link});
    const std::vector<SilentPty> silent(30);
    const SilentPty held;
    const ChildProcess holder({"/bin/sh", "-c", "exec sleep 60 <" + held.path()});
    for (int wait = 0; wait < 250 && !(fs::exists(link) && fs::exists(held.path())); ++wait) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(fs::exists(link)) << "modemsim did not publish " << link;

    fs::create_directories(folder.path() + "/kelbrin");
    std::ofstream map(folder.path() + "/kelbrin/ports");
    map << "# a bench of silent lines\n";
    for (std::size_t i = 0; i < silent.size(); ++i) {
        map << "COM" << i + 1 << " = " << silent[i].path() << "\n";
    }
    map << "COM31 = " << link << "\nCOM32 = " << held.path() << "\n";
    map.close();
    std::this_thread::sleep_for(100ms); // the holder's shell has exec'd sleep with the pty open

    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    const auto before = std::chrono::steady_clock::now();
    FILE* program = ::popen(KELBRIN_PORTS_PROGRAM " --probe", "r");
    ASSERT_NE(program, nullptr);
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, program)) > 0;) {
        output.append(buffer, n);
    }
    EXPECT_EQ(::pclose(program), 0) << output;
    const auto took = std::chrono::steady_clock::now() - before;
    EXPECT_LT(took, 5s) << "31 ports probed at once";

    const std::string modem = lineWith(output, link);
    EXPECT_NE(modem.find(" COM31 "), std::string::npos) << output;
    EXPECT_NE(modem.find("Vantrel modemsim, IMEI 356938035643809, SIM READY, registered"),
              std::string::npos)
        << output;
    EXPECT_NE(lineWith(output, silent.front().path()).find(" COM1 "), std::string::npos) << output;
    EXPECT_NE(lineWith(output, silent.front().path()).find("no answer"), std::string::npos)
        << output;
    EXPECT_NE(lineWith(output, held.path())
                  .find("not probed: in use by process " + std::to_string(holder.pid())),
              std::string::npos)
        << output;
}

} // namespace
} // namespace kelbrin
