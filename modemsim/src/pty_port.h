#pragma once

#include <string>

namespace modemsim {

// The modem's end of a pseudo-terminal. Keeps a descriptor of its own on the terminal side
// open for its whole life: without one, reads on the master fail with EIO until a client opens
// the terminal. The line is raw from the start (set from the master side), so the terminal
// driver never echoes or translates what goes through before the client configures it.
class PtyPort {
public:
    PtyPort(); // throws std::system_error
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // After close(): a new pseudo-terminal, under a new path (a modem plugged in again).
    void reopen(); // throws std::system_error

    int masterFd() const { return m_master; }
    const std::string& terminalPath() const { return m_terminalPath; }
    bool isOpen() const { return m_master >= 0; }
    // Hang-up: closes both ends we hold; the client sees POLLHUP and reads fail with EIO.
    void close();

private:
    void open();

    int m_master{-1};
    int m_keeper{-1};
    std::string m_terminalPath;
};

} // namespace modemsim
