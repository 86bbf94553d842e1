#include "pty_client.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <utility>

using Clock = std::chrono::steady_clock;

PtyClient::PtyClient(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        throw std::runtime_error("cannot open " + path);
    }
    termios line{};
    tcgetattr(m_fd, &line);
    cfmakeraw(&line);
    cfsetispeed(&line, B115200);
    cfsetospeed(&line, B115200);
    tcsetattr(m_fd, TCSANOW, &line);
}

PtyClient::~PtyClient() {
    ::close(m_fd);
}

void PtyClient::send(std::string_view bytes, Ms timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to the simulator failed");
        }
        bytes.remove_prefix(n > 0 ? static_cast<std::size_t>(n) : 0);
        const auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now());
        pollfd fd{m_fd, POLLOUT, 0};
        if (!bytes.empty() &&
            (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0)) {
            // A simulator that stops reading its terminal fails the test now, not at CTest's
            // timeout.
            throw std::runtime_error("the simulator took no input for " +
                                     std::to_string(timeout.count()) + " ms");
        }
    }
}

bool PtyClient::fill(Ms timeout) {
    // No dialogue of these tests comes near this; a simulator that floods the line fails the test
    // at once instead of growing a buffer that every search rescans until the deadline.
    constexpr std::size_t kMostBuffered = 256 * 1024;
    if (m_buffer.size() > kMostBuffered) {
        throw std::runtime_error("the simulator sent more than 256 KiB unread");
    }
    pollfd fd{m_fd, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) {
        return false;
    }
    char buffer[4096];
    ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n <= 0) {
        m_hungUp = n < 0 && errno == EIO;
        return false;
    }
    ++m_reads;
    m_buffer.append(buffer, static_cast<std::size_t>(n));
    return true;
}

std::string PtyClient::readUntil(std::string_view needle, Ms timeout) {
    auto deadline = Clock::now() + timeout;
    for (;;) {
        auto found = m_buffer.find(needle);
        if (found != std::string::npos) {
            std::string text = m_buffer.substr(0, found + needle.size());
            m_buffer.erase(0, found + needle.size());
            return text;
        }
        auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now());
        if (left.count() <= 0 || m_hungUp) {
            return std::exchange(m_buffer, {});
        }
        fill(left);
    }
}

std::string PtyClient::command(std::string_view line, Ms timeout) {
    static const std::regex kFinal(
        "\r\n(OK|ERROR|\\+CM[ES] ERROR: [^\r]*|COMMAND NOT SUPPORT)\r\n|\r\n> |\r\n>\r\n");
    send(std::string(line) + "\r", timeout);
    auto deadline = Clock::now() + timeout;
    for (;;) {
        std::smatch match;
        if (std::regex_search(m_buffer, match, kFinal)) {
            auto end = static_cast<std::size_t>(match.position(0) + match.length(0));
            std::string text = m_buffer.substr(0, end);
            m_buffer.erase(0, end);
            return text;
        }
        auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now());
        if (left.count() <= 0 || m_hungUp) {
            return {};
        }
        fill(left);
    }
}

std::string PtyClient::readFor(Ms period) {
    auto deadline = Clock::now() + period;
    for (;;) {
        auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now());
        if (left.count() <= 0 || m_hungUp) {
            return std::exchange(m_buffer, {});
        }
        fill(left);
    }
}

bool PtyClient::waitForHangUp(Ms timeout) {
    auto deadline = Clock::now() + timeout;
    while (!m_hungUp && Clock::now() < deadline) {
        pollfd fd{m_fd, POLLIN, 0};
        if (::poll(&fd, 1, 10) > 0 && (fd.revents & POLLHUP)) {
            m_hungUp = true;
        } else if (fd.revents & POLLIN) {
            fill(Ms(0));
        }
    }
    return m_hungUp;
}
