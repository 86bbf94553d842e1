#pragma once

#include "operator_text.h"

#include <set>
#include <string>
#include <vector>

namespace kelbrin {

struct PortSettings;

/// Serial devices present on this machine (by-id links first, then USB/ACM adapters, then
/// on-board UARTs), for the text that tells an operator which port to map.
std::vector<std::string> listSerialDevices();

/// Operator text for a device that does not exist: which ports do, and how to map one.
OperatorText describeMissingDevice(const PortSettings& settings,
                                   const std::vector<std::string>& existing);

/// Where the port's device came from (variable, map line or the default) and the two
/// `kelbrin-ports` commands that find the modem and map it: the end of every text that says the
/// port may be the wrong one.
OperatorText describeMapping(const PortSettings& settings);

/// The system's reason for a failed call (errno @p error): translated for the errors a serial
/// line, a port map or a trace file meets, as the C library words it for any other.
OperatorText describeSystemError(int error);

/// Operator text for EACCES: owner group and mode of the device, and whether this process is in
/// that group.
OperatorText describePermissionProblem(const std::string& path);

/// Other processes holding the device: those with a lock on it (/proc/locks) and those with it
/// open (/proc/<pid>/fd). The program at the other end of a pseudo-terminal (the process with its
/// master side, e.g. modemsim) is its peer, not a holder.
std::set<long> processesHolding(const std::string& path);

/// "process 1234 (minicom)" for each of processesHolding(); empty when there is none.
OperatorText describeHolders(const std::string& path);

/// "process 1234 (minicom)" for each other process that has the device open although this one
/// holds it: one that opened it first shares the line (TIOCEXCL keeps out only later openers).
OperatorText describeOtherOpeners(const std::string& path);

} // namespace kelbrin
