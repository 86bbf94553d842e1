#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelbrin {

/// Serial devices present on this machine (by-id links first, then USB/ACM adapters, then
/// on-board UARTs), for the text that tells an operator which port to map.
std::vector<std::string> listSerialDevices();

/// Operator text for a device that does not exist: which ports do, and how to map one.
std::string describeMissingDevice(int32_t port, const std::string& path,
                                  const std::vector<std::string>& existing);

/// Operator text for EACCES: owner group and mode of the device, and whether this process is in
/// that group.
std::string describePermissionProblem(const std::string& path);

/// "process 1234 (minicom)" for each other holder of the device, found through /proc/locks (who
/// holds the lock) and /proc/<pid>/fd (who has it open); empty when none can be named.
std::string describeHolders(const std::string& path);

/// "process 1234 (minicom)" for each other process that has the device open although this one
/// holds it: one that opened it first shares the line (TIOCEXCL keeps out only later openers).
std::string describeOtherOpeners(const std::string& path);

} // namespace kelbrin
