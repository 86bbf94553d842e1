// The serial layer: port map, speeds, and the operator texts for each way opening can fail,
// checked on real pseudo-terminals.
#include "baud_rate.h"
#include "port_diagnostics.h"
#include "port_map.h"
#include "port_path.h"
#include "serial_port.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

// A folder with a user map and a system map, removed at the end.
class MapFolder {
public:
    MapFolder() : m_path(::mkdtemp(m_template)) {}
    ~MapFolder() { std::filesystem::remove_all(m_path); }
    std::string write(const std::string& name, const std::string& text) const {
        const std::string file = m_path + "/" + name;
        std::ofstream(file) << text;
        return file;
    }
    const std::string& path() const { return m_path; }

private:
    char m_template[32] = "/tmp/kelbrin-maps-XXXXXX";
    std::string m_path;
};

TEST(PortPath, ResolvesVariableThenUserMapThenSystemMapThenUart) {
    const MapFolder folder;
    const PortMapFiles maps{
        folder.write("user", "# my desk\n\nCOM2 = /dev/serial/by-id/usb-Quectel  # the EG25\n"
                             "com5=/dev/ttyACM0\n"),
        folder.write("system", "COM2 = /dev/ttyUSB9\nCOM3 = /dev/ttyUSB1\nCOM5 = /dev/ttyUSB5\n")};
    const EnvironmentLookup environment = [](const std::string& name) {
        return name == "KELBRIN_COM3" ? std::optional<std::string>("/dev/ttyUSB0") : std::nullopt;
    };
    struct Row {
        int32_t port;
        const char* path;
        std::string origin;
    };
    const std::vector<Row> rows = {
        {1, "/dev/ttyS0", ""},
        {2, "/dev/serial/by-id/usb-Quectel", maps.user + " line 3"},
        {3, "/dev/ttyUSB0", "KELBRIN_COM3"},
        {4, "/dev/ttyS3", ""},
        {5, "/dev/ttyACM0", maps.user + " line 4"},
    };
    for (const auto& row : rows) {
        const auto resolved = resolvePort(row.port, environment, maps);
        ASSERT_TRUE(resolved) << row.port;
        EXPECT_EQ(resolved->path, row.path) << row.port;
        EXPECT_EQ(resolved->origin.english(), row.origin) << row.port;
    }
    const auto systemOnly =
        resolvePort(3, processEnvironment, {folder.path() + "/none", maps.system});
    EXPECT_EQ(systemOnly->origin.english(), maps.system + " line 2") << "no user map: the system's";
    EXPECT_FALSE(resolvePort(0, environment, maps));
    EXPECT_FALSE(resolvePort(-4, environment, maps));
}

TEST(PortPath, UserMapFollowsXdgConfigHome) {
    const std::map<std::string, std::string> variables = {{"HOME", "/home/ann"}};
    auto withConfigHome = [&](std::optional<std::string> configHome) {
        return portMapFiles([&](const std::string& name) -> std::optional<std::string> {
            if (name == "XDG_CONFIG_HOME") {
                return configHome;
            }
            const auto found = variables.find(name);
            return found == variables.end() ? std::nullopt : std::optional(found->second);
        });
    };
    EXPECT_EQ(withConfigHome(std::nullopt).user, "/home/ann/.config/kelbrin/ports");
    EXPECT_EQ(withConfigHome("/srv/cfg").user, "/srv/cfg/kelbrin/ports");
    EXPECT_EQ(withConfigHome("cfg").user, "/home/ann/.config/kelbrin/ports") << "not absolute";
    EXPECT_EQ(withConfigHome(std::nullopt).system, "/etc/kelbrin/ports");
}

TEST(PortPath, MalformedMapNamesFileAndLine) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"# desk\nCOM2 /dev/ttyUSB0\n", "line 2: \"COM2 /dev/ttyUSB0\" is not a port mapping"},
        {"COMX = /dev/ttyUSB0\n", "line 1: \"COMX = /dev/ttyUSB0\" is not a port mapping"},
        {"COM0 = /dev/ttyUSB0\n", "line 1:"},
        {"COM2 =\n", "line 1:"},
        {"COM2 = ttyUSB0\n", "line 1: the device \"ttyUSB0\" must be an absolute path"},
        {"COM2 = /dev/a\n\nCOM2 = /dev/b\n", "line 3: COM2 is already mapped on line 1"},
    };
    const MapFolder folder;
    for (const auto& [text, expected] : rows) {
        const PortMapFiles maps{folder.write("user", text), folder.path() + "/none"};
        const auto resolved = resolvePort(7, processEnvironment, maps);
        EXPECT_TRUE(resolved->path.empty()) << text;
        EXPECT_EQ(resolved->error.english().rfind(maps.user + " ", 0), 0u)
            << resolved->error.english();
        EXPECT_NE(resolved->error.english().find(expected), std::string::npos)
            << resolved->error.english();
    }
}

PortSettings settingsFor(const std::string& path, int32_t baud = 115200) {
    return PortSettings{7, path, baud, false, {}, {}};
}

TEST(OpenSerialPort, OpensAPtyRawAndExclusive) {
    Pty pty;
    auto opened = openSerialPort(settingsFor(pty.path()));
    ASSERT_TRUE(opened.port) << opened.error.english();
    struct termios line {};
    ASSERT_EQ(::tcgetattr(opened.port->fd(), &line), 0);
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u) << "raw";
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B115200));

    // A second open is refused and names the holder (this process).
    auto second = openSerialPort(settingsFor(pty.path()));
    EXPECT_FALSE(second.port);
    EXPECT_NE(second.error.english().find("in use by process " + std::to_string(::getpid())),
              std::string::npos)
        << second.error.english();
}

TEST(OpenSerialPort, RtsFlagSelectsHardwareFlowControl) {
    Pty pty;
    auto settings = settingsFor(pty.path());
    settings.rtsCts = true;
    auto opened = openSerialPort(settings);
    ASSERT_TRUE(opened.port) << opened.error.english();
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
    EXPECT_NE(opened.error.english().find("COM7 (" + pty.path() + ") is in use by process " +
                                          std::to_string(child)),
              std::string::npos)
        << opened.error.english();
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
         {"/dev/kelbrin-no-such-port does not exist", "kelbrin-ports --probe",
          "kelbrin-ports assign COM7 <device>"}},
        {"not a tty", settingsFor("/dev/null"), {"is not a serial device"}},
    };
    for (const auto& row : rows) {
        auto opened = openSerialPort(row.settings);
        EXPECT_FALSE(opened.port) << row.name;
        for (const auto& text : row.mustContain) {
            EXPECT_NE(opened.error.english().find(text), std::string::npos)
                << row.name << ": " << opened.error.english();
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
        const std::string text = opened.error.english();
        (void)!::write(result[1], text.data(), text.size());
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

TEST(PortDiagnostics, MissingDeviceListsWhatExistsAndWhereTheMappingCameFrom) {
    PortSettings settings{2, "/dev/ttyS1", 115200, false, {}, "/home/ann/.config/kelbrin/ports"};
    const std::string text =
        describeMissingDevice(settings, {"/dev/ttyUSB0", "/dev/ttyACM0"}).english();
    EXPECT_NE(text.find("/dev/ttyUSB0, /dev/ttyACM0"), std::string::npos) << text;
    const std::string none = describeMissingDevice(settings, {}).english();
    EXPECT_NE(none.find("No serial devices"), std::string::npos) << none;

    const std::vector<std::pair<OperatorText, std::string>> origins = {
        {{}, "COM2 is /dev/ttyS1 by default: no port map names it"},
        {OperatorText::verbatim("KELBRIN_COM2"),
         "COM2 is set by KELBRIN_COM2, which overrides the port map "
         "/home/ann/.config/kelbrin/ports"},
        {mapLineName("/etc/kelbrin/ports", 4), "COM2 is mapped in /etc/kelbrin/ports line 4"},
    };
    for (const auto& [origin, expected] : origins) {
        settings.origin = origin;
        const std::string mapping = describeMapping(settings).english();
        EXPECT_NE(mapping.find(expected), std::string::npos) << mapping;
        EXPECT_NE(mapping.find("'kelbrin-ports assign COM2 <device>', which writes "
                               "/home/ann/.config/kelbrin/ports"),
                  std::string::npos)
            << mapping;
    }
}

TEST(PortDiagnostics, PermissionNamesTheGroupAndMembership) {
    char path[] = "/tmp/kelbrin-permission-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    const gid_t foreign = 20; // dialout on Debian; a group this test process is not in
    ASSERT_EQ(::chown(path, ::getuid(), foreign), 0);
    ::chmod(path, 0660);
    const std::string text = describePermissionProblem(path).english();
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
