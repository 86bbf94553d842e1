#pragma once

#include "operator_text.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <sys/types.h>

namespace kelbrin {

/// How to open the line: device path, speed, and RTS/CTS hardware flow control. The character
/// format is fixed at 8 data bits, no parity, 1 stop bit.
struct PortSettings {
    int32_t portNumber = 0; ///< the COM number the caller asked for, for texts
    std::string path;
    int32_t baud = 0;
    bool rtsCts = false;
    OperatorText origin; ///< where the path came from (PortResolution::origin), for texts
    std::string userMap; ///< the map `kelbrin-ports assign` writes, for texts
};

/// An open serial line, raw and non-blocking, held exclusively (flock and TIOCEXCL) until
/// destroyed. Output not yet sent is discarded on close, so closing never waits for a modem that
/// stopped reading.
class SerialPort {
public:
    explicit SerialPort(int fd, std::string path);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }
    /// Names this device node and no other: its device number and the time the node was made, so
    /// a pseudo-terminal or a USB port that comes back under the same name is another device.
    std::string deviceInstance() const;

    /// As read(2)/write(2) on the non-blocking descriptor.
    ssize_t readSome(char* buffer, std::size_t size);
    ssize_t writeSome(const char* data, std::size_t size);

private:
    int m_fd = -1;
    std::string m_path;
};

/// "COM3 (/dev/ttyUSB0)": how texts name a port.
std::string describePort(const PortSettings& settings);

/// Either an open port or the operator text saying why there is none.
struct PortOpenResult {
    std::unique_ptr<SerialPort> port;
    OperatorText error;
};

/// Opens and configures the line. Every failure comes back as a text an operator can act on:
/// unknown speed, missing device (with the devices that exist), permission (with the group),
/// port held by another process (with its name), not a serial device.
PortOpenResult openSerialPort(const PortSettings& settings);

} // namespace kelbrin
