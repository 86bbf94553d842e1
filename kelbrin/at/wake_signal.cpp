#include "wake_signal.h"

#include <cstdint>
#include <system_error>

#include <cerrno>
#include <sys/eventfd.h>
#include <unistd.h>

namespace kelbrin {

WakeSignal::WakeSignal() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_fd < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

WakeSignal::~WakeSignal() {
    ::close(m_fd);
}

void WakeSignal::wake() {
    const uint64_t one = 1;
    (void)!::write(m_fd, &one, sizeof one);
}

void WakeSignal::requestFinish() {
    m_finish.store(true);
    wake();
}

void WakeSignal::requestStop(Clock::time_point answerGraceEnd) {
    m_answerGraceEnd.store(answerGraceEnd);
    m_stop.store(true);
    wake();
}

WakeSignal::Clock::duration WakeSignal::commandWaiting() const {
    const auto since = m_commandWaitingSince.load();
    const auto now = Clock::now();
    return since < now ? now - since : Clock::duration::zero();
}

void WakeSignal::drain() {
    uint64_t count = 0;
    (void)!::read(m_fd, &count, sizeof count);
}

} // namespace kelbrin
