#pragma once

#include <chrono>
#include <string>
#include <string_view>

// A terminal program's side of the simulator: opens the pty like a serial port (raw, no
// controlling terminal) and reads with poll(), as a client of a real modem would.
class PtyClient {
public:
    using Ms = std::chrono::milliseconds;

    explicit PtyClient(const std::string& path);
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    // Throws when the simulator has not taken all of `bytes` within `timeout`.
    void send(std::string_view bytes, Ms timeout = Ms(2000));
    // Sends `line` + CR and returns everything up to and including the final result code
    // (OK, ERROR, +CME/+CMS ERROR, COMMAND NOT SUPPORT) or the send prompt; empty on timeout.
    std::string command(std::string_view line, Ms timeout = Ms(2000));
    // Everything read until `needle` shows up (included) or the timeout; bytes after the needle
    // stay for the next call.
    std::string readUntil(std::string_view needle, Ms timeout = Ms(2000));
    // Everything that arrives within `period`.
    std::string readFor(Ms period);

    // Successful read() calls so far.
    int reads() const { return m_reads; }
    // True when the line went away (POLLHUP, or a read failing with EIO) within the timeout.
    bool waitForHangUp(Ms timeout);

private:
    // Reads what is there within `timeout`; false when nothing came.
    bool fill(Ms timeout);

    int m_fd{-1};
    int m_reads{0};
    bool m_hungUp{false};
    std::string m_buffer;
};
