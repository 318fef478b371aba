#include <sim/detail/pty.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace sim::detail {

bool OpenPty(Pty* pty, std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        ClosePty(pty);
        return false;
    };
    pty->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty->master < 0) return fail("posix_openpt");
    if (grantpt(pty->master) != 0 || unlockpt(pty->master) != 0) return fail("grantpt/unlockpt");
    char name[128] = {};
    if (ptsname_r(pty->master, name, sizeof name) != 0) return fail("ptsname");
    pty->slaveKeeper = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (pty->slaveKeeper < 0) return fail("open slave");
    // Raw and 9600 baud until a host configures it, so bytes pass unchanged in both directions.
    termios tio{};
    if (tcgetattr(pty->slaveKeeper, &tio) != 0) return fail("tcgetattr");
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B9600);
    cfsetospeed(&tio, B9600);
    if (tcsetattr(pty->slaveKeeper, TCSANOW, &tio) != 0) return fail("tcsetattr");
    int flags = fcntl(pty->master, F_GETFL);
    if (flags < 0 || fcntl(pty->master, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
    fcntl(pty->master, F_SETFD, FD_CLOEXEC);
    const char* prefix = "/dev/";
    pty->portName = std::strncmp(name, prefix, 5) == 0 ? std::string(name + 5) : std::string(name);
    return true;
}

void ClosePty(Pty* pty) {
    if (pty->slaveKeeper >= 0) close(pty->slaveKeeper);
    if (pty->master >= 0) close(pty->master);
    pty->slaveKeeper = pty->master = -1;
}

bool PtyOpen(const Pty& pty) { return pty.master >= 0; }

WaitResult WaitReadable(Pty& pty, int timeoutMs) {
    pollfd p{pty.master, POLLIN, 0};
    int n = poll(&p, 1, timeoutMs);
    if (n < 0) return errno == EINTR ? WaitResult::Timeout : WaitResult::Failed;
    if (n == 0) return WaitResult::Timeout;
    if (p.revents & POLLIN) return WaitResult::Readable;
    return (p.revents & (POLLERR | POLLNVAL)) ? WaitResult::Failed : WaitResult::Timeout;
}

long ReadAvailable(Pty& pty, uint8_t* buffer, size_t capacity) {
    ssize_t n = read(pty.master, buffer, capacity);
    if (n >= 0) return static_cast<long>(n);
    return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
}

bool WriteAll(Pty& pty, const uint8_t* data, size_t size, int timeoutMs) {
    const int fd = pty.master;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, 10);
    }
    return true;
}

}  // namespace sim::detail
