#include "serial_port.h"

#include "baud_rate.h"
#include "port_diagnostics.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kelbrin {
namespace {

OperatorText describeBusy(const PortSettings& settings) {
    OperatorText holders = describeHolders(settings.path);
    if (holders.empty()) {
        return OperatorText(KELBRIN_TEXT("%1$s is in use by another program: close that program "
                                         "or choose another port."),
                            describePort(settings));
    }
    return OperatorText(KELBRIN_TEXT("%1$s is in use by %2$s: close that program or choose "
                                     "another port."),
                        describePort(settings), std::move(holders));
}

// @p failure names the port (%1$s) and the system's reason (%2$s).
OperatorText systemError(const PortSettings& settings, TextFormat failure, int error) {
    return OperatorText(failure, describePort(settings), describeSystemError(error));
}

// Raw 8N1 at the requested speed; CLOCAL so a modem without DCD still talks to us.
bool configureLine(int fd, speed_t speed, bool rtsCts) {
    struct termios line {};
    if (::tcgetattr(fd, &line) != 0) {
        return false;
    }
    ::cfmakeraw(&line);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    line.c_cflag |= CS8 | CLOCAL | CREAD | HUPCL;
    if (rtsCts) {
        line.c_cflag |= CRTSCTS;
    }
    line.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    if (::cfsetispeed(&line, speed) != 0 || ::cfsetospeed(&line, speed) != 0) {
        return false;
    }
    return ::tcsetattr(fd, TCSANOW, &line) == 0;
}

// Modems route unsolicited codes only while DTR is on; RTS on lets a flow-controlled modem talk.
// A pseudo-terminal has no modem lines, so a failure here is not an error.
void raiseModemLines(int fd) {
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIS, &lines);
}

} // namespace

std::string describePort(const PortSettings& settings) {
    // A device named directly (kelbrin-ports) has no COM number.
    if (settings.portNumber < 1) {
        return settings.path;
    }
    return "COM" + std::to_string(settings.portNumber) + " (" + settings.path + ")";
}

SerialPort::SerialPort(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}

SerialPort::~SerialPort() {
    ::tcflush(m_fd, TCIOFLUSH);
    ::close(m_fd);
}

std::string SerialPort::deviceInstance() const {
    struct stat node {};
    if (::fstat(m_fd, &node) != 0) {
        return m_path;
    }
    return m_path + '\x1F' + std::to_string(node.st_rdev) + '\x1F' +
           std::to_string(node.st_ctim.tv_sec) + '.' + std::to_string(node.st_ctim.tv_nsec);
}

ssize_t SerialPort::readSome(char* buffer, std::size_t size) {
    return ::read(m_fd, buffer, size);
}

ssize_t SerialPort::writeSome(const char* data, std::size_t size) {
    return ::write(m_fd, data, size);
}

PortOpenResult openSerialPort(const PortSettings& settings) {
    const auto speed = baudRateConstant(settings.baud);
    if (!speed) {
        return {nullptr, OperatorText(KELBRIN_TEXT("baud rate %1$s is not a standard serial speed; "
                                                   "use one of %2$s (modems usually run at "
                                                   "115200)."),
                                      settings.baud, supportedBaudRates())};
    }
    const int fd = ::open(settings.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return {nullptr, describeMissingDevice(settings, listSerialDevices())};
        case EACCES:
        case EPERM:
            return {nullptr, OperatorText(KELBRIN_TEXT("COM%1$s: %2$s"), settings.portNumber,
                                          describePermissionProblem(settings.path))};
        case EBUSY:
            return {nullptr, describeBusy(settings)};
        default:
            return {nullptr,
                    systemError(settings, KELBRIN_TEXT("%1$s: open failed: %2$s."), error)};
        }
    }
    auto port = std::make_unique<SerialPort>(fd, settings.path);
    if (!::isatty(fd)) {
        return {nullptr, OperatorText(KELBRIN_TEXT("%1$s is not a serial device. %2$s"),
                                      describePort(settings), describeMapping(settings))};
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        return {nullptr,
                error == EWOULDBLOCK
                    ? describeBusy(settings)
                    : systemError(settings, KELBRIN_TEXT("%1$s: locking failed: %2$s."), error)};
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        return {nullptr,
                systemError(settings, KELBRIN_TEXT("%1$s: exclusive mode failed: %2$s."), errno)};
    }
    if (!configureLine(fd, *speed, settings.rtsCts)) {
        return {nullptr, systemError(settings,
                                     KELBRIN_TEXT("%1$s: setting the line (8N1, speed, flow "
                                                  "control) failed: %2$s."),
                                     errno)};
    }
    raiseModemLines(fd);
    ::tcflush(fd, TCIOFLUSH);
    return {std::move(port), {}};
}

} // namespace kelbrin
