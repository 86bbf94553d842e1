// The serial layer: port map, speeds, and the operator texts for each way opening can fail,
// checked on real pseudo-terminals.
#include "baud_rate.h"
#include "port_diagnostics.h"
#include "port_path.h"
#include "serial_port.h"

#include <gtest/gtest.h>

#include <map>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace kelbrin {
namespace {

// A pseudo-terminal whose slave side stands in for a serial device.
class Pty {
public:
    Pty() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(m_master);
        ::unlockpt(m_master);
        m_path = ::ptsname(m_master);
    }
    ~Pty() { ::close(m_master); }
    const std::string& path() const { return m_path; }
    int master() const { return m_master; }

private:
    int m_master = -1;
    std::string m_path;
};

TEST(BaudRate, MapsStandardSpeedsAndRejectsOthers) {
    const std::map<int32_t, std::optional<speed_t>> rows = {
        {9600, B9600},          {115200, B115200},     {921600, B921600},
        {4000000, B4000000},    {0, std::nullopt},     {-1, std::nullopt},
        {115201, std::nullopt}, {14400, std::nullopt}, // a Windows speed termios has no constant
                                                       // for
    };
    for (const auto& [baud, expected] : rows) {
        EXPECT_EQ(baudRateConstant(baud), expected) << baud;
    }
}

TEST(PortPath, MapsPortNumbersToDevices) {
    const EnvironmentLookup environment = [](const std::string& name) {
        return name == "KELBRIN_COM3" ? std::optional<std::string>("/dev/ttyUSB0") : std::nullopt;
    };
    EXPECT_EQ(resolvePortPath(1, environment), "/dev/ttyS0");
    EXPECT_EQ(resolvePortPath(2, environment), "/dev/ttyS1");
    EXPECT_EQ(resolvePortPath(3, environment), "/dev/ttyUSB0") << "variable overrides";
    EXPECT_EQ(resolvePortPath(0, environment), std::nullopt);
    EXPECT_EQ(resolvePortPath(-4, environment), std::nullopt);
}

PortSettings settingsFor(const std::string& path, int32_t baud = 115200) {
    return PortSettings{7, path, baud, false};
}

TEST(OpenSerialPort, OpensAPtyRawAndExclusive) {
    Pty pty;
    auto opened = openSerialPort(settingsFor(pty.path()));
    ASSERT_TRUE(opened.port) << opened.error;
    struct termios line {};
    ASSERT_EQ(::tcgetattr(opened.port->fd(), &line), 0);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u) << "raw";
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B115200));

    // A second open is refused and names the holder (this process).
    auto second = openSerialPort(settingsFor(pty.path()));
    EXPECT_FALSE(second.port);
    EXPECT_NE(second.error.find("in use by process " + std::to_string(::getpid())),
              std::string::npos)
        << second.error;
}

TEST(OpenSerialPort, RtsFlagSelectsHardwareFlowControl) {
    Pty pty;
    auto settings = settingsFor(pty.path());
    settings.rtsCts = true;
    auto opened = openSerialPort(settings);
    ASSERT_TRUE(opened.port) << opened.error;
    struct termios line {};
    ASSERT_EQ(::tcgetattr(opened.port->fd(), &line), 0);
    EXPECT_EQ(line.c_cflag & CRTSCTS, static_cast<tcflag_t>(CRTSCTS));
}

TEST(OpenSerialPort, NamesTheOtherProcessHoldingThePort) {
    Pty pty;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
        ::flock(fd, LOCK_EX);
        (void)!::write(ready[1], "x", 1);
        ::pause();
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    auto opened = openSerialPort(settingsFor(pty.path()));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_FALSE(opened.port);
    EXPECT_NE(opened.error.find("COM7 (" + pty.path() + ") is in use by process " +
                                std::to_string(child)),
              std::string::npos)
        << opened.error;
}

TEST(OpenSerialPort, EachFailureHasItsOwnText) {
    struct Row {
        const char* name;
        PortSettings settings;
        std::vector<std::string> mustContain;
    };
    const std::vector<Row> rows = {
        {"unknown baud", settingsFor("/dev/null", 12345), {"baud rate 12345", "115200"}},
        {"missing device",
         settingsFor("/dev/kelbrin-no-such-port"),
         {"/dev/kelbrin-no-such-port does not exist", "KELBRIN_COM7="}},
        {"not a tty", settingsFor("/dev/null"), {"is not a serial device"}},
    };
    for (const auto& row : rows) {
        auto opened = openSerialPort(row.settings);
        EXPECT_FALSE(opened.port) << row.name;
        for (const auto& text : row.mustContain) {
            EXPECT_NE(opened.error.find(text), std::string::npos)
                << row.name << ": " << opened.error;
        }
    }
}

TEST(OpenSerialPort, PermissionProblemNamesTheGroup) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to become another user";
    }
    Pty pty;
    ASSERT_EQ(::chmod(pty.path().c_str(), 0660), 0);
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // nobody/nogroup: not the owner, not in the device's group.
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(1);
        }
        const auto opened = openSerialPort(settingsFor(pty.path()));
        (void)!::write(result[1], opened.error.data(), opened.error.size());
        ::_exit(opened.port ? 2 : 0);
    }
    ::close(result[1]);
    std::string error;
    char buffer[512];
    for (ssize_t n; (n = ::read(result[0], buffer, sizeof buffer)) > 0;) {
        error.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(result[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << error;
    struct stat device {};
    ASSERT_EQ(::stat(pty.path().c_str(), &device), 0);
    const struct group* owner = ::getgrgid(device.st_gid);
    ASSERT_NE(owner, nullptr);
    EXPECT_NE(error.find("no permission to open " + pty.path()), std::string::npos) << error;
    EXPECT_NE(error.find("not in group " + std::string(owner->gr_name)), std::string::npos)
        << error;
}

TEST(PortDiagnostics, MissingDeviceListsWhatExists) {
    const std::string text =
        describeMissingDevice(2, "/dev/ttyS1", {"/dev/ttyUSB0", "/dev/ttyACM0"});
    EXPECT_NE(text.find("/dev/ttyUSB0, /dev/ttyACM0"), std::string::npos) << text;
    EXPECT_NE(text.find("KELBRIN_COM2=<device path>"), std::string::npos) << text;
    const std::string none = describeMissingDevice(2, "/dev/ttyS1", {});
    EXPECT_NE(none.find("No serial devices"), std::string::npos) << none;
}

TEST(PortDiagnostics, PermissionNamesTheGroupAndMembership) {
    char path[] = "/tmp/kelbrin-permission-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const gid_t foreign = 20; // dialout on Debian; a group this test process is not in
    ASSERT_EQ(::chown(path, ::getuid(), foreign), 0);
    ::chmod(path, 0660);
    const std::string text = describePermissionProblem(path);
    ::unlink(path);
    gid_t groups[64];
    const int count = ::getgroups(64, groups);
    const bool member =
        ::getegid() == foreign || std::find(groups, groups + count, foreign) != groups + count;
    EXPECT_NE(text.find("mode 660"), std::string::npos) << text;
    EXPECT_NE(text.find(member ? "is in group" : "is not in group"), std::string::npos) << text;
}

} // namespace
} // namespace kelbrin
