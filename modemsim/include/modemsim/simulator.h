#pragma once

// modemsim: a GSM modem on a pseudo-terminal, for tests (in-process) and the demo (program).
//
//   simulator.h      Simulator: the public face; src/event_loop.* owns the pty, the thread,
//                    the control socket and the trace
//   scenario.h       Scenario = Settings + Faults + a script of timed control commands
//   scenario_file.h  scenario text -> Scenario; the built-in "demo" and personalities
//   counters.h       what happened so far;  stored_message.h  the modem's memories
//   src/modem.*      the AT dialogue and the network behind it, no I/O (modem_commands.cpp is
//                    the command table, modem_network.cpp sends, reports, incoming messages,
//                    modem_power.cpp reboots, the SMS stack's start, +CFUN and registration)
//   src/at_line_reader.*, at_command.*   bytes -> command lines / PDUs; "+NAME=args" parsing
//   src/control_command.*, scenario_settings.*   the control language and the `set` names
//   src/pty_port.*, control_server.*, byte_trace.*, timers.*, output_queue.*   the plumbing
//   src/pdu_factory.*  DELIVER and STATUS-REPORT PDUs from the sms codec
//   src/trace_file.*, client_input.*, trace_replay.*   --replay: a byte trace read back, the
//                    client's bytes cut into commands, the traced modem's answers to them
//   src/line_peer.h    what answers on the terminal: the modem or the replay
//
// In a test:
//
//   modemsim::Scenario scenario;                 // defaults: a well-behaved modem
//   scenario.settings.reportDelay = std::chrono::milliseconds(20);
//   scenario.faults.simBusyCommands = 3;
//   modemsim::Simulator sim(scenario);           // running once constructed
//   open(sim.terminalPath().c_str(), O_RDWR | O_NOCTTY);   // ... talk AT to it ...
//   sim.control("deliver from=+4912345 text=\"hi\"");   // any control-channel command
//   auto faults = sim.faults(); faults.silent = true; sim.setFaults(faults);
//   sim.counters().lastReference;  sim.storedMessages();
//   sim.hangUp();                                // the client's reads now fail with EIO
//   // the destructor stops the loop thread and closes everything
//
// Every member function is thread-safe and returns without waiting for the modem's delays.

#include "modemsim/counters.h"
#include "modemsim/scenario.h"
#include "modemsim/stored_message.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace modemsim {

struct SimulatorOptions {
    Scenario scenario;
    std::string linkPath;    // non-empty: a symlink to the terminal, removed again on stop
    std::string controlPath; // non-empty: the Unix socket of the control channel
    std::string tracePath;   // non-empty: the byte trace ("-" for stderr)
    std::string replayPath;  // non-empty: answer as the last session of this trace did
};

class Simulator {
public:
    explicit Simulator(const Scenario& scenario = {});
    // Throws std::system_error, or std::runtime_error when the trace to replay is not readable.
    explicit Simulator(const SimulatorOptions& options);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // The terminal a client opens, e.g. "/dev/pts/7"; another one after a replug.
    std::string terminalPath() const;

    // One command of the control language (docs/modemsim.md); the reply as the control socket
    // would send it, ending in "OK\n" or "ERROR: <reason>\n".
    std::string control(std::string_view line);
    Faults faults() const;
    void setFaults(const Faults& faults);
    Counters counters() const;
    std::vector<StoredMessage> storedMessages() const;
    // Closes the pseudo-terminal as an unplugged modem would. The simulator keeps running for
    // control commands; the terminal does not come back (for that, control("replug <ms>")).
    void hangUp();

private:
    std::unique_ptr<class EventLoop> m_loop;
};

} // namespace modemsim
