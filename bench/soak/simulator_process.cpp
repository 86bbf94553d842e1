#include "simulator_process.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace soak {
namespace {

int connectTo(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd >= 0 &&
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return fd;
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return -1;
}

} // namespace

SimulatorProcess::SimulatorProcess(const std::string& program) {
    char folder[] = "/tmp/kelbrin-soak-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    m_folder = folder;
    m_link = m_folder + "/modem";
    m_socket = m_folder + "/control";
    m_pid = ::fork();
    if (m_pid == 0) {
        // Its terminal path goes to stdout; the soak's own output stays readable.
        if (std::freopen("/dev/null", "w", stdout) == nullptr) {
            ::_exit(126);
        }
        ::execl(program.c_str(), program.c_str(), "--link", m_link.c_str(), "--control",
                m_socket.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((m_control = connectTo(m_socket)) < 0 || ::access(m_link.c_str(), F_OK) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            throw std::runtime_error("modemsim did not come up: " + program);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

SimulatorProcess::~SimulatorProcess() {
    if (m_control >= 0) {
        ::close(m_control);
    }
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
    ::unlink(m_socket.c_str());
    ::unlink(m_link.c_str());
    ::rmdir(m_folder.c_str());
}

std::string SimulatorProcess::control(const std::string& line) {
    const std::string request = line + "\n";
    if (::write(m_control, request.data(), request.size()) !=
        static_cast<ssize_t>(request.size())) {
        return "ERROR: control socket closed\n";
    }
    for (;;) {
        // The reply ends with its "OK" or "ERROR: ..." line.
        std::size_t lineStart = 0;
        for (std::size_t end = m_pending.find('\n'); end != std::string::npos;
             lineStart = end + 1, end = m_pending.find('\n', lineStart)) {
            const std::string last = m_pending.substr(lineStart, end - lineStart);
            if (last == "OK" || last.rfind("ERROR", 0) == 0) {
                std::string reply = m_pending.substr(0, end + 1);
                m_pending.erase(0, end + 1);
                return reply;
            }
        }
        char buffer[4096];
        const ssize_t count = ::read(m_control, buffer, sizeof buffer);
        if (count <= 0) {
            return "ERROR: control socket closed\n";
        }
        m_pending.append(buffer, static_cast<std::size_t>(count));
    }
}

} // namespace soak
