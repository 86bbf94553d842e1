#include "event_loop.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace modemsim {

namespace {

void publishLink(const std::string& link, const std::string& target) {
    struct stat existing {};
    if (::lstat(link.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            throw std::system_error(EEXIST, std::generic_category(),
                                    link + " exists and is not a symlink");
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(), "symlink " + link);
    }
}

void removeLinkTo(const std::string& link, const std::string& target) {
    char buffer[PATH_MAX];
    ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)) == target) {
        ::unlink(link.c_str());
    }
}

std::string sessionDescription(const std::string& terminal, const char* occasion) {
    return "modemsim " + terminal + ", pid " + std::to_string(::getpid()) + ": " + occasion;
}

} // namespace

EventLoop::EventLoop(const SimulatorOptions& options)
    : m_modem(options.scenario, Modem::Clock::now()), m_linkPath(options.linkPath) {
    if (!options.tracePath.empty()) {
        m_trace = std::make_unique<ByteTrace>(options.tracePath);
        m_trace->beginSession(sessionDescription(m_port.terminalPath(), "started"));
    }
    if (!options.replayPath.empty()) {
        startReplay(options.replayPath);
    }
    if (!options.controlPath.empty()) {
        m_control = std::make_unique<ControlServer>(options.controlPath);
    }
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    if (!m_linkPath.empty()) {
        try {
            publishLink(m_linkPath, m_port.terminalPath());
        } catch (...) {
            ::close(m_wakeFd);
            throw;
        }
    }
    m_thread = std::thread([this] { run(); });
}

EventLoop::~EventLoop() {
    m_stopping = true;
    wake();
    m_thread.join();
    ::close(m_wakeFd);
    if (!m_linkPath.empty()) {
        removeLinkTo(m_linkPath, m_port.terminalPath());
    }
}

void EventLoop::startReplay(const std::string& path) {
    SessionsOrError loaded = loadTrace(path);
    if (auto* error = std::get_if<std::string>(&loaded)) {
        throw std::runtime_error(*error);
    }
    const auto& sessions = std::get<std::vector<TraceSession>>(loaded);
    if (sessions.empty()) {
        throw std::runtime_error(path + ": no bytes exchanged with a modem");
    }
    // The file gathers every start of every process; the last one is the one just recorded.
    m_replay = std::make_unique<TraceReplay>(
        sessions.back(), Modem::Clock::now(), [this](const std::string& complaint) {
            std::fprintf(stderr, "modemsim: replay: %s\n", complaint.c_str());
            if (m_trace) {
                m_trace->note("replay: " + complaint);
            }
        });
    m_peer = m_replay.get();
}

void EventLoop::wake() {
    std::uint64_t one = 1;
    // A full counter already means "wake up"; nothing else can go wrong with an eventfd.
    [[maybe_unused]] ssize_t n = ::write(m_wakeFd, &one, sizeof one);
}

int EventLoop::timeoutMs(Modem::Clock::time_point now) const {
    auto deadline = m_peer->nextDeadline();
    if (m_plugInAt && (!deadline || *m_plugInAt < *deadline)) {
        deadline = m_plugInAt;
    }
    if (!deadline) {
        return -1;
    }
    auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, INT_MAX));
}

void EventLoop::run() {
    std::vector<pollfd> fds;
    while (!m_stopping) {
        fds.clear();
        fds.push_back({m_wakeFd, POLLIN, 0});
        int timeout = -1;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            short events = static_cast<short>(POLLIN | (m_unwritten.empty() ? 0 : POLLOUT));
            fds.push_back({m_port.masterFd(), events, 0}); // poll skips a closed (-1) port
            timeout = timeoutMs(Modem::Clock::now());
        }
        if (m_control) {
            m_control->watch(fds);
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            return;
        }
        if (m_stopping) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            std::uint64_t count = 0;
            [[maybe_unused]] ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
            auto now = Modem::Clock::now();
            if (fds[1].revents & POLLIN) {
                readTerminal(now);
            }
            replugIfDue(now);
            m_peer->runDue(now);
            writeTerminal(now);
            hangUpIfAsked();
        }
        if (m_control) {
            m_control->serve(fds, [this](std::string_view line) {
                std::lock_guard<std::mutex> lock(m_mutex);
                auto now = Modem::Clock::now();
                std::string reply = m_modem.control(line, now);
                writeTerminal(now);
                hangUpIfAsked();
                replugIfDue(now);
                return reply;
            });
        }
    }
}

void EventLoop::readTerminal(Modem::Clock::time_point now) {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(m_port.masterFd(), buffer, sizeof buffer);
        if (n <= 0) {
            return; // EAGAIN: all read
        }
        std::string_view bytes(buffer, static_cast<std::size_t>(n));
        if (m_trace) {
            m_trace->towardsModem(bytes);
        }
        m_peer->receive(bytes, now);
    }
}

void EventLoop::writeTerminal(Modem::Clock::time_point now) {
    std::vector<std::string> chunks = m_peer->takeOutput(now);
    if (!m_port.isOpen()) {
        m_unwritten.clear();
        return;
    }
    if (!m_unwritten.empty()) {
        // Behind already: keep the order, give up the separate writes.
        for (const std::string& chunk : chunks) {
            m_unwritten += chunk;
        }
        chunks.assign(1, std::exchange(m_unwritten, {}));
    }
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const std::string& chunk = chunks[i];
        ssize_t n = ::write(m_port.masterFd(), chunk.data(), chunk.size());
        std::size_t written = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (m_trace && written > 0) {
            m_trace->fromModem(std::string_view(chunk).substr(0, written));
        }
        if (written < chunk.size()) {
            m_unwritten = chunk.substr(written);
            for (std::size_t j = i + 1; j < chunks.size(); ++j) {
                m_unwritten += chunks[j];
            }
            return;
        }
    }
}

void EventLoop::unplug() {
    // udev removes a /dev/serial/by-id link with its device: the path leads nowhere meanwhile,
    // not to the next terminal that happens to get the old number.
    if (!m_linkPath.empty()) {
        removeLinkTo(m_linkPath, m_port.terminalPath());
    }
    m_port.close();
}

void EventLoop::replugIfDue(Modem::Clock::time_point now) {
    if (const auto away = m_modem.takeReplugRequest()) {
        unplug();
        m_unwritten.clear();
        m_plugInAt = now + *away;
        if (m_trace) {
            m_trace->note("unplugged for " + std::to_string(away->count()) + " ms");
        }
    }
    if (!m_plugInAt || now < *m_plugInAt) {
        return;
    }
    m_plugInAt.reset();
    try {
        m_port.reopen();
        if (!m_linkPath.empty()) {
            publishLink(m_linkPath, m_port.terminalPath());
        }
    } catch (const std::system_error& error) {
        // Out of pseudo-terminals, or the link taken: the modem stays unplugged.
        if (m_trace) {
            m_trace->note(std::string("plugging in again failed: ") + error.what());
        }
        return;
    }
    if (m_trace) {
        // A new terminal is a new connection, as the library's trace has it after a reopen.
        m_trace->beginSession(sessionDescription(m_port.terminalPath(), "plugged in again"));
    }
}

void EventLoop::hangUpIfAsked() {
    if (m_modem.takeHangUpRequest() && m_port.isOpen()) {
        unplug();
        m_unwritten.clear();
        if (m_trace) {
            m_trace->note("hang-up: terminal closed");
        }
    }
}

} // namespace modemsim
