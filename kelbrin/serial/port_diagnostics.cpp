#include "port_diagnostics.h"

#include "port_path.h"
#include "serial_port.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kelbrin {
namespace {

namespace fs = std::filesystem;

// Few enough that the mapping advice after the list still fits the 1024-byte last error;
// kelbrin-ports lists them all.
constexpr std::size_t kMaxListedDevices = 6;

std::vector<std::string> devicesMatching(const std::string& directory, const std::string& prefix) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) {
            found.push_back(entry.path().string());
        }
    }
    // ttyS10 after ttyS9: order by length first, then by name.
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return found;
}

std::string processName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "?" : name;
}

OperatorText describeProcess(long pid) {
    if (pid == static_cast<long>(getpid())) {
        return OperatorText(KELBRIN_TEXT("process %1$s (%2$s), this process"), pid,
                            processName(pid));
    }
    return OperatorText(KELBRIN_TEXT("process %1$s (%2$s)"), pid, processName(pid));
}

OperatorText listed(OperatorText list, OperatorText next) {
    if (list.empty()) {
        return next;
    }
    return OperatorText(KELBRIN_TEXT("%1$s, %2$s"), std::move(list), std::move(next));
}

// Holders of a flock()/fcntl() lock on the inode, from /proc/locks:
// "1: FLOCK  ADVISORY  WRITE 1234 00:05:3 0 EOF" (major:minor in hex, inode in decimal).
std::set<long> lockHolders(const struct stat& device) {
    std::set<long> holders;
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string id, kind, advisory, access, where;
        long pid = 0;
        fields >> id >> kind;
        if (kind == "->") {
            continue; // a waiter, not a holder
        }
        fields >> advisory >> access >> pid >> where;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) == 3 &&
            inode == device.st_ino && major == ::major(device.st_dev) &&
            minor == ::minor(device.st_dev)) {
            holders.insert(pid);
        }
    }
    return holders;
}

// Unix98 pseudo-terminal slaves (/dev/pts/N) have majors 136-143; N counts on across them.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;
constexpr unsigned kMinorsPerMajor = 256;

std::optional<unsigned> ptyIndex(dev_t device) {
    const unsigned deviceMajor = ::major(device);
    if (deviceMajor < kFirstPtySlaveMajor || deviceMajor > kLastPtySlaveMajor) {
        return std::nullopt;
    }
    return (deviceMajor - kFirstPtySlaveMajor) * kMinorsPerMajor + ::minor(device);
}

// A /dev/ptmx descriptor says which pseudo-terminal it is the master of in its fdinfo
// ("tty-index:\t5", Linux 4.13 and later).
bool isMasterOf(const fs::path& fdinfo, unsigned index) {
    std::ifstream info(fdinfo);
    std::string line;
    const std::string wanted = "tty-index:\t" + std::to_string(index);
    while (std::getline(info, line)) {
        if (line == wanted) {
            return true;
        }
    }
    return false;
}

// Processes with the character device open, from /proc/<pid>/fd, except a pseudo-terminal's
// peer: the process that also has its master side open.
std::set<long> openers(const struct stat& device) {
    const auto index = ptyIndex(device.st_rdev);
    const dev_t ptmx = ::makedev(5, 2);
    std::set<long> found;
    std::error_code error;
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        const std::string name = process.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit)) {
            continue;
        }
        bool opens = false;
        bool peer = false;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            struct stat target {};
            if (::stat(fd.path().c_str(), &target) != 0 || !S_ISCHR(target.st_mode)) {
                continue;
            }
            opens = opens || target.st_rdev == device.st_rdev;
            peer = peer || (index && target.st_rdev == ptmx &&
                            isMasterOf(process.path() / "fdinfo" / fd.path().filename(), *index));
        }
        if (opens && !peer) {
            found.insert(std::stol(name));
        }
    }
    return found;
}

OperatorText describeProcesses(const std::set<long>& pids) {
    OperatorText text;
    for (long pid : pids) {
        text = listed(std::move(text), describeProcess(pid));
    }
    return text;
}

} // namespace

std::vector<std::string> listSerialDevices() {
    std::vector<std::string> devices = devicesMatching("/dev/serial/by-id", "");
    for (const char* prefix : {"ttyUSB", "ttyACM", "ttyAMA", "rfcomm", "ttyS"}) {
        auto more = devicesMatching("/dev", prefix);
        devices.insert(devices.end(), more.begin(), more.end());
    }
    return devices;
}

OperatorText describeMissingDevice(const PortSettings& settings,
                                   const std::vector<std::string>& existing) {
    // A device named directly (kelbrin-ports check) has no COM number and no mapping.
    const bool named = settings.portNumber < 1;
    if (existing.empty()) {
        return named ? OperatorText(KELBRIN_TEXT("device %1$s does not exist. No serial devices "
                                                 "were found on this machine: is the modem "
                                                 "plugged in?"),
                                    settings.path)
                     : OperatorText(KELBRIN_TEXT("COM%1$s: device %2$s does not exist. No serial "
                                                 "devices were found on this machine: is the "
                                                 "modem plugged in? %3$s"),
                                    settings.portNumber, settings.path, describeMapping(settings));
    }
    OperatorText devices;
    for (std::size_t i = 0; i < existing.size() && i < kMaxListedDevices; ++i) {
        devices = listed(std::move(devices), OperatorText::verbatim(existing[i]));
    }
    if (existing.size() > kMaxListedDevices) {
        devices = OperatorText(KELBRIN_TEXT("%1$s and %2$s more"), std::move(devices),
                               existing.size() - kMaxListedDevices);
    }
    if (named) {
        return OperatorText(KELBRIN_TEXT("device %1$s does not exist. Serial devices here: %2$s. "
                                         "Find the modem with 'kelbrin-ports --probe'."),
                            settings.path, std::move(devices));
    }
    return OperatorText(KELBRIN_TEXT("COM%1$s: device %2$s does not exist. Serial devices here: "
                                     "%3$s. %4$s"),
                        settings.portNumber, settings.path, std::move(devices),
                        describeMapping(settings));
}

OperatorText describeMapping(const PortSettings& settings) {
    const int32_t port = settings.portNumber;
    OperatorText origin;
    if (settings.origin.empty()) {
        origin = OperatorText(KELBRIN_TEXT("COM%1$s is %2$s by default: no port map names it."),
                              port, settings.path);
    } else if (settings.origin.english() == portVariableName(port)) {
        origin = OperatorText(KELBRIN_TEXT("COM%1$s is set by %2$s, which overrides the port map "
                                           "%3$s."),
                              port, settings.origin, settings.userMap);
    } else {
        origin = OperatorText(KELBRIN_TEXT("COM%1$s is mapped in %2$s."), port, settings.origin);
    }
    return OperatorText(KELBRIN_TEXT("%1$s Find the modem with 'kelbrin-ports --probe', then map "
                                     "it with 'kelbrin-ports assign COM%2$s <device>', which "
                                     "writes %3$s."),
                        std::move(origin), port, settings.userMap);
}

OperatorText describeSystemError(int error) {
    switch (error) {
    case EIO:
        return OperatorText(KELBRIN_TEXT("input/output error"));
    case ENXIO:
        return OperatorText(KELBRIN_TEXT("no such device or address"));
    case ENODEV:
        return OperatorText(KELBRIN_TEXT("no such device"));
    case ENOENT:
        return OperatorText(KELBRIN_TEXT("no such file or directory"));
    case EACCES:
        return OperatorText(KELBRIN_TEXT("permission denied"));
    case EPERM:
        return OperatorText(KELBRIN_TEXT("operation not permitted"));
    case EINVAL:
        return OperatorText(KELBRIN_TEXT("invalid argument"));
    case EBUSY:
        return OperatorText(KELBRIN_TEXT("device or resource busy"));
    case ENOSPC:
        return OperatorText(KELBRIN_TEXT("no space left on the device"));
    case EROFS:
        return OperatorText(KELBRIN_TEXT("read-only file system"));
    case ENOTDIR:
        return OperatorText(KELBRIN_TEXT("not a directory"));
    case EISDIR:
        return OperatorText(KELBRIN_TEXT("is a directory"));
    default:
        return OperatorText::verbatim(std::strerror(error));
    }
}

OperatorText describePermissionProblem(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return OperatorText(KELBRIN_TEXT("no permission to open %1$s."), path);
    }
    const struct group* owner = ::getgrgid(device.st_gid);
    const std::string groupName = owner != nullptr ? owner->gr_name : std::to_string(device.st_gid);

    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    const bool inGroup = ::getegid() == device.st_gid ||
                         std::find(groups.begin(), groups.end(), device.st_gid) != groups.end();

    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(device.st_mode & 0777));
    if (inGroup) {
        return OperatorText(KELBRIN_TEXT("no permission to open %1$s (group %2$s, mode %3$s). "
                                         "This process is in group %2$s but the group may not "
                                         "read and write the device: ask the administrator to "
                                         "allow it (chmod g+rw)."),
                            path, groupName, mode);
    }
    return OperatorText(KELBRIN_TEXT("no permission to open %1$s (group %2$s, mode %3$s). This "
                                     "process is not in group %2$s: add the user with 'sudo "
                                     "usermod -aG %2$s $USER', then log in again."),
                        path, groupName, mode);
}

std::set<long> processesHolding(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return {};
    }
    std::set<long> holders = lockHolders(device);
    std::set<long> others = openers(device);
    others.erase(static_cast<long>(getpid()));
    holders.insert(others.begin(), others.end());
    return holders;
}

OperatorText describeHolders(const std::string& path) {
    return describeProcesses(processesHolding(path));
}

OperatorText describeOtherOpeners(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return {};
    }
    std::set<long> others = openers(device);
    others.erase(static_cast<long>(getpid()));
    return describeProcesses(others);
}

} // namespace kelbrin
