// POSIX serial ports: exclusive open, raw 8N1 with optional XON/XOFF, time-outs through poll.
#include <tessel/serial/detail/serial_platform.h>
#include <tessel/serial/detail/serial_baud_linux.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tessel::detail {
namespace {

// Time-outs live beside the descriptor, since termios has no place for them.
std::mutex g_timeoutsMutex;
std::unordered_map<int, COMMTIMEOUTS> g_timeouts;

COMMTIMEOUTS TimeoutsOf(int fd) {
    std::lock_guard<std::mutex> lock(g_timeoutsMutex);
    auto it = g_timeouts.find(fd);
    return it != g_timeouts.end() ? it->second : COMMTIMEOUTS{};
}

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
    std::lock_guard<std::mutex> lock(g_timeoutsMutex);
    g_timeouts[fd] = COMMTIMEOUTS{};
    return fd;
}

void CloseSerial(PortHandle handle) {
    int fd = static_cast<int>(handle);
    {
        std::lock_guard<std::mutex> lock(g_timeoutsMutex);
        g_timeouts.erase(fd);
    }
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool GetSerialState(PortHandle handle, DCB& dcb) {
    termios tio{};
    if (::tcgetattr(static_cast<int>(handle), &tio) != 0) return false;
    std::uint32_t baud = 0;
    if (!ReadBaudRate(static_cast<int>(handle), &baud)) baud = 0;
    dcb.BaudRate = baud;
    dcb.ByteSize = (tio.c_cflag & CSIZE) == CS7 ? 7 : (tio.c_cflag & CSIZE) == CS6 ? 6
                 : (tio.c_cflag & CSIZE) == CS5 ? 5 : 8;
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

bool GetSerialTimeouts(PortHandle handle, COMMTIMEOUTS& timeouts) {
    if (::fcntl(static_cast<int>(handle), F_GETFD) < 0) return false;
    timeouts = TimeoutsOf(static_cast<int>(handle));
    return true;
}

bool SetSerialTimeouts(PortHandle handle, const COMMTIMEOUTS& timeouts) {
    int fd = static_cast<int>(handle);
    if (::fcntl(fd, F_GETFD) < 0) return false;
    std::lock_guard<std::mutex> lock(g_timeoutsMutex);
    g_timeouts[fd] = timeouts;
    return true;
}

int ReadSerial(PortHandle handle, unsigned char* buffer, int count) {
    int fd = static_cast<int>(handle);
    if (fd < 0 || count <= 0) return count == 0 ? 0 : -1;
    COMMTIMEOUTS t = TimeoutsOf(fd);
    auto total = static_cast<long long>(t.ReadTotalTimeoutMultiplier) * count + t.ReadTotalTimeoutConstant;
    auto deadline = Clock::now() + std::chrono::milliseconds(total);
    int got = 0;
    while (got < count) {
        ssize_t n = ::read(fd, buffer + got, static_cast<size_t>(count - got));
        if (n > 0) {
            got += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return got > 0 ? got : -1;
        int wait = RemainingMs(deadline);
        if (wait == 0) break;
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, wait);
        if (r < 0 && errno != EINTR) return got > 0 ? got : -1;
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return got > 0 ? got : -1;
        if (r > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN)) {
            // The other end is gone; nothing more will arrive in this read.
            break;
        }
    }
    return got;
}

bool WriteSerial(PortHandle handle, const unsigned char* data, int count, unsigned int* written,
                 int piece) {
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
        // The driver's buffer is full: only now is the write time-out worth looking up.
        if (!timed) {
            int pieceStart = done - done % piece;
            pieceEnd = pieceStart + piece < count ? pieceStart + piece : count;
            COMMTIMEOUTS t = TimeoutsOf(fd);
            long long total = static_cast<long long>(t.WriteTotalTimeoutMultiplier) * (pieceEnd - pieceStart) +
                              t.WriteTotalTimeoutConstant;
            if (total == 0) total = 1000LL * (pieceEnd - pieceStart) + 1000;
            deadline = Clock::now() + std::chrono::milliseconds(total);
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
