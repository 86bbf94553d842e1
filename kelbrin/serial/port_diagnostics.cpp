#include "port_diagnostics.h"

#include "port_path.h"
#include "serial_port.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
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

std::string describeProcess(long pid) {
    std::string text = "process " + std::to_string(pid) + " (" + processName(pid) + ")";
    if (pid == static_cast<long>(getpid())) {
        text += ", this process";
    }
    return text;
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

std::string describeProcesses(const std::set<long>& pids) {
    std::string text;
    for (long pid : pids) {
        text += (text.empty() ? "" : ", ") + describeProcess(pid);
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

std::string describeMissingDevice(const PortSettings& settings,
                                  const std::vector<std::string>& existing) {
    const bool named = settings.portNumber < 1; // a device named directly, not a COM port
    std::string text =
        (named ? "device " : "COM" + std::to_string(settings.portNumber) + ": device ") +
        settings.path + " does not exist. ";
    if (existing.empty()) {
        text += "No serial devices were found on this machine: is the modem plugged in? ";
    } else {
        text += "Serial devices here: ";
        for (std::size_t i = 0; i < existing.size() && i < kMaxListedDevices; ++i) {
            text += (i == 0 ? "" : ", ") + existing[i];
        }
        if (existing.size() > kMaxListedDevices) {
            text += " and " + std::to_string(existing.size() - kMaxListedDevices) + " more";
        }
        text += ". ";
    }
    return text +
           (named ? "Find the modem with 'kelbrin-ports --probe'." : describeMapping(settings));
}

std::string describeMapping(const PortSettings& settings) {
    const std::string com = "COM" + std::to_string(settings.portNumber);
    std::string text;
    if (settings.origin.empty()) {
        text = com + " is " + settings.path + " by default: no port map names it. ";
    } else if (settings.origin == portVariableName(settings.portNumber)) {
        text = com + " is set by " + settings.origin + ", which overrides the port map " +
               settings.userMap + ". ";
    } else {
        text = com + " is mapped in " + settings.origin + ". ";
    }
    return text +
           "Find the modem with 'kelbrin-ports --probe', then map it with 'kelbrin-ports "
           "assign " +
           com + " <device>', which writes " + settings.userMap + ".";
}

std::string describePermissionProblem(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return "no permission to open " + path + ".";
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
    std::string text =
        "no permission to open " + path + " (group " + groupName + ", mode " + mode + "). ";
    if (inGroup) {
        text += "This process is in group " + groupName +
                " but the group may not read and write the device: ask the administrator "
                "to allow it (chmod g+rw).";
    } else {
        text += "This process is not in group " + groupName +
                ": add the user with "
                "'sudo usermod -aG " +
                groupName + " $USER', then log in again.";
    }
    return text;
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

std::string describeHolders(const std::string& path) {
    return describeProcesses(processesHolding(path));
}

std::string describeOtherOpeners(const std::string& path) {
    struct stat device {};
    if (::stat(path.c_str(), &device) != 0) {
        return {};
    }
    std::set<long> others = openers(device);
    others.erase(static_cast<long>(getpid()));
    return describeProcesses(others);
}

} // namespace kelbrin
