// Reply latency of the simulator with no delay configured: "AT\r" written to the pty, time
// until "\r\nOK\r\n" has been read back. Prints median, p99 and max over many round trips.
//
//   modemsim_latency [samples]      (default 5000)

#include <modemsim/simulator.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool roundTrip(int fd, const std::string& line, const std::string& until) {
    if (::write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        return false;
    }
    std::string got;
    while (got.find(until) == std::string::npos) {
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, 1000) <= 0) {
            return false;
        }
        char buffer[256];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return false;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

double percentile(const std::vector<double>& sorted, double fraction) {
    auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

} // namespace

int main(int argc, char** argv) {
    int samples = argc > 1 ? std::atoi(argv[1]) : 5000;
    if (samples < 1) {
        std::fprintf(stderr, "usage: modemsim_latency [samples]\n");
        return 2;
    }
    modemsim::Simulator simulator;
    int fd = ::open(simulator.terminalPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios line{};
    if (fd < 0 || ::tcgetattr(fd, &line) != 0) {
        std::perror("open terminal");
        return 1;
    }
    ::cfmakeraw(&line);
    ::tcsetattr(fd, TCSANOW, &line);
    if (!roundTrip(fd, "ATE0\r", "\r\nOK\r\n")) {
        std::fprintf(stderr, "no answer to ATE0\n");
        return 1;
    }
    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        auto start = Clock::now();
        if (!roundTrip(fd, "AT\r", "\r\nOK\r\n")) {
            std::fprintf(stderr, "round trip %d failed\n", i);
            return 1;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    ::close(fd);
    std::sort(micros.begin(), micros.end());
    std::printf("AT -> OK over the pty, %d samples: median %.1f us, p99 %.1f us, max %.1f us\n",
                samples, percentile(micros, 0.5), percentile(micros, 0.99), micros.back());
    return 0;
}
