#pragma once

#include <string>
#include <sys/types.h>

namespace soak {

/// The `modemsim` program in a process of its own (so the soak's RSS is the library's alone),
/// publishing its terminal at a link and taking control commands on a Unix socket, both in a
/// private temporary folder. Stopped (SIGTERM) and cleaned up on destruction.
class SimulatorProcess {
public:
    /// Starts @p program; throws std::runtime_error when it does not come up within 5 s.
    explicit SimulatorProcess(const std::string& program);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    /// The link the library opens; it follows the terminal across a replug.
    const std::string& linkPath() const { return m_link; }
    /// One control command; its reply, the lines up to and including "OK" or "ERROR: ...".
    std::string control(const std::string& line);

private:
    std::string m_folder;
    std::string m_link;
    std::string m_socket;
    pid_t m_pid = -1;
    int m_control = -1;
    std::string m_pending;
};

} // namespace soak
