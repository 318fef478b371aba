// POSIX serial ports: exclusive open, raw 8N1 with optional XON/XOFF, time-outs through poll.
#include <tessel/serial/detail/serial_platform.h>
#include <tessel/serial/detail/comm_timeouts.h>
#include <tessel/serial/detail/serial_baud_linux.h>

#include <cerrno>
#include <chrono>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tessel::detail {
namespace {

std::string DevicePath(const char* name) {
    std::string n(name);
    return n[0] == '/' ? n : "/dev/" + n;
}

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

speed_t StandardSpeed(std::uint32_t baud) {
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 3000000: return B3000000;
    default: return 0;
    }
}

}  // namespace

PortHandle OpenSerial(const char* name) {
    if (name == nullptr || *name == '\0') return kInvalidPortHandle;
    int fd = ::open(DevicePath(name).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kInvalidPortHandle;
    // flock conflicts between separate opens even within one process; TIOCEXCL keeps out
    // processes that do not take the lock.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !::isatty(fd)) {
        ::close(fd);
        return kInvalidPortHandle;
    }
    ::ioctl(fd, TIOCEXCL);
    if (::tcflush(fd, TCIFLUSH) != 0) {
        ::close(fd);
        return kInvalidPortHandle;
    }
    return fd;
}

void CloseSerial(PortHandle handle) {
    int fd = static_cast<int>(handle);
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool GetSerialState(PortHandle handle, DCB& dcb) {
    termios tio{};
    if (::tcgetattr(static_cast<int>(handle), &tio) != 0) return false;
    std::uint32_t baud = 0;
    if (!ReadBaudRate(static_cast<int>(handle), &baud)) baud = 0;
    dcb.BaudRate = baud;
    dcb.ByteSize = (tio.c_cflag & CSIZE) == CS7   ? 7
                   : (tio.c_cflag & CSIZE) == CS6 ? 6
                   : (tio.c_cflag & CSIZE) == CS5 ? 5
                                                  : 8;
    dcb.Parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY) : NOPARITY;
    dcb.StopBits = (tio.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fOutX = (tio.c_iflag & IXON) ? 1 : 0;
    dcb.fInX = (tio.c_iflag & IXOFF) ? 1 : 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    return true;
}

bool SetSerialState(PortHandle handle, const DCB& dcb) {
    int fd = static_cast<int>(handle);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    switch (dcb.ByteSize) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    default: tio.c_cflag |= CS8; break;
    }
    if (dcb.Parity == ODDPARITY) tio.c_cflag |= PARENB | PARODD;
    if (dcb.Parity == EVENPARITY) tio.c_cflag |= PARENB;
    if (dcb.fParity) tio.c_iflag |= INPCK;
    if (dcb.StopBits == TWOSTOPBITS) tio.c_cflag |= CSTOPB;
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (dcb.fOutX) tio.c_iflag |= IXON;
    if (dcb.fInX) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    speed_t speed = StandardSpeed(dcb.BaudRate);
    ::cfsetispeed(&tio, speed != 0 ? speed : B38400);
    ::cfsetospeed(&tio, speed != 0 ? speed : B38400);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return false;
    if (speed == 0 && !WriteBaudRate(fd, dcb.BaudRate)) return false;
    // DTR and RTS off; pseudo-terminals have no modem lines and refuse, which is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);
    return true;
}

int ReadSerial(PortHandle handle, unsigned char* buffer, int count, int byteWaitMs) {
    int fd = static_cast<int>(handle);
    if (fd < 0 || count <= 0) return count == 0 ? 0 : -1;
    // Waiting first saves the read that would only say "nothing yet"; a wait of 0 reads at once.
    bool mayBeThere = byteWaitMs <= 0;
    auto deadline = Clock::now() + std::chrono::milliseconds(byteWaitMs < 0 ? 0 : byteWaitMs);
    int got = 0;
    while (got < count) {
        if (!mayBeThere) {
            int wait = RemainingMs(deadline);
            if (wait == 0) break;
            pollfd p{fd, POLLIN, 0};
            int r = ::poll(&p, 1, wait);
            if (r < 0 && errno != EINTR) return got > 0 ? got : -1;
            if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return got > 0 ? got : -1;
            if (r > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) break;  // the other end is gone
            if (r <= 0) continue;
        }
        ssize_t n = ::read(fd, buffer + got, static_cast<size_t>(count - got));
        if (n > 0) {
            got += static_cast<int>(n);
            // Every byte restarts the wait, as a new one-byte read would.
            deadline = Clock::now() + std::chrono::milliseconds(byteWaitMs);
            mayBeThere = false;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return got > 0 ? got : -1;
        if (byteWaitMs <= 0) break;
        mayBeThere = false;
    }
    return got;
}

bool WriteSerial(PortHandle handle, const unsigned char* data, int count, unsigned int* written, int piece,
                 const COMMTIMEOUTS& t) {
    int fd = static_cast<int>(handle);
    if (fd < 0) return false;
    if (piece <= 0) piece = count;
    int done = 0;
    int pieceEnd = 0;  // end of the piece the current deadline belongs to
    bool timed = false;
    Clock::time_point deadline;
    while (done < count) {
        ssize_t n = ::write(fd, data + done, static_cast<size_t>(count - done));
        if (n > 0) {
            done += static_cast<int>(n);
            if (done >= pieceEnd) timed = false;  // a new piece: a budget of its own
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        // The driver's buffer is full: only now does the write time-out start to count.
        if (!timed) {
            int pieceStart = done - done % piece;
            pieceEnd = pieceStart + piece < count ? pieceStart + piece : count;
            deadline = Clock::now() + std::chrono::milliseconds(WriteBudgetMs(t, pieceEnd - pieceStart));
            timed = true;
        }
        int wait = RemainingMs(deadline);
        if (wait == 0) break;
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR) break;
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL | POLLHUP))) break;
    }
    if (written != nullptr) *written = static_cast<unsigned int>(done);
    return done == count;
}

}  // namespace tessel::detail

namespace tessel::detail {

bool OpenWake(WakeSignal& wake) {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return false;
    wake.readEnd = ends[0];
    wake.writeEnd = ends[1];
    return true;
}

void CloseWake(WakeSignal& wake) {
    if (wake.readEnd >= 0) ::close(wake.readEnd);
    if (wake.writeEnd >= 0) ::close(wake.writeEnd);
    wake.readEnd = wake.writeEnd = -1;
}

void RaiseWake(const WakeSignal& wake) {
    const unsigned char one = 1;
    // A full pipe is raised already, so a failed write changes nothing.
    [[maybe_unused]] ssize_t n = ::write(wake.writeEnd, &one, 1);
}

void ClearWake(const WakeSignal& wake) {
    unsigned char drain[64];
    while (::read(wake.readEnd, drain, sizeof drain) > 0) {
    }
}

PortEvent WaitPort(PortHandle handle, const WakeSignal& wake, int timeoutMs) {
    pollfd p[2] = {{static_cast<int>(handle), POLLIN, 0}, {wake.readEnd, POLLIN, 0}};
    int r = ::poll(p, 2, timeoutMs);
    if (r < 0) return errno == EINTR ? PortEvent::Timeout : PortEvent::LineGone;
    if (p[0].revents & POLLIN) return PortEvent::Readable;
    if (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return PortEvent::LineGone;
    if (p[1].revents & POLLIN) return PortEvent::Woken;
    return PortEvent::Timeout;
}

}  // namespace tessel::detail
