#include "control_server.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

namespace modemsim {

namespace {

constexpr std::size_t kMaxLine = 4096;

void writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // a client that went away or stopped reading loses its reply
        }
        done += static_cast<std::size_t>(n);
    }
}

} // namespace

ControlServer::ControlServer(std::string path) : m_path(std::move(path)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof address.sun_path) {
        throw std::system_error(ENAMETOOLONG, std::generic_category(), "control socket");
    }
    std::memcpy(address.sun_path, m_path.c_str(), m_path.size() + 1);
    m_listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_listener < 0) {
        throw std::system_error(errno, std::generic_category(), "control socket");
    }
    ::unlink(m_path.c_str());
    if (::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 4) != 0) {
        int error = errno;
        ::close(m_listener);
        throw std::system_error(error, std::generic_category(), "control socket " + m_path);
    }
}

ControlServer::~ControlServer() {
    for (const Client& client : m_clients) {
        ::close(client.fd);
    }
    ::close(m_listener);
    ::unlink(m_path.c_str());
}

void ControlServer::watch(std::vector<pollfd>& fds) const {
    fds.push_back({m_listener, POLLIN, 0});
    for (const Client& client : m_clients) {
        fds.push_back({client.fd, POLLIN, 0});
    }
}

void ControlServer::serve(const std::vector<pollfd>& fds, const Executor& execute) {
    for (const pollfd& fd : fds) {
        if (fd.revents == 0) {
            continue;
        }
        if (fd.fd == m_listener) {
            accept();
            continue;
        }
        auto client = std::find_if(m_clients.begin(), m_clients.end(),
                                   [&](const Client& c) { return c.fd == fd.fd; });
        if (client != m_clients.end() && !readFrom(*client, execute)) {
            ::close(client->fd);
            m_clients.erase(client);
        }
    }
}

void ControlServer::accept() {
    int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd >= 0) {
        m_clients.push_back({fd, {}});
    }
}

bool ControlServer::readFrom(Client& client, const Executor& execute) {
    char buffer[1024];
    ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR;
    }
    if (n == 0) {
        return false;
    }
    client.pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t end;
    while ((end = client.pending.find('\n')) != std::string::npos) {
        std::string line = client.pending.substr(0, end);
        client.pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        writeAll(client.fd, execute(line));
    }
    if (client.pending.size() > kMaxLine) {
        writeAll(client.fd, "ERROR: line too long\n");
        return false;
    }
    return true;
}

} // namespace modemsim
