#include "pty_port.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace modemsim {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

PtyPort::PtyPort() {
    open();
}

void PtyPort::reopen() {
    close();
    open();
}

void PtyPort::open() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        fail("posix_openpt");
    }
    char name[PATH_MAX] = {};
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0 ||
        ptsname_r(m_master, name, sizeof name) != 0) {
        int error = errno;
        close();
        errno = error;
        fail("pseudo-terminal setup");
    }
    m_terminalPath = name;
    m_keeper = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios line{};
    if (m_keeper < 0 || tcgetattr(m_master, &line) != 0) {
        int error = errno;
        close();
        errno = error;
        fail("pseudo-terminal open");
    }
    cfmakeraw(&line);
    int flags = fcntl(m_master, F_GETFL);
    if (tcsetattr(m_master, TCSANOW, &line) != 0 || flags < 0 ||
        fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        int error = errno;
        close();
        errno = error;
        fail("pseudo-terminal raw mode");
    }
}

PtyPort::~PtyPort() {
    close();
}

void PtyPort::close() {
    if (m_keeper >= 0) {
        ::close(m_keeper);
        m_keeper = -1;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

} // namespace modemsim
