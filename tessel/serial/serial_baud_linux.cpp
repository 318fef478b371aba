#include <tessel/serial/detail/serial_baud_linux.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tessel::detail {

bool WriteBaudRate(int fd, std::uint32_t baud) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

bool ReadBaudRate(int fd, std::uint32_t* baud) {
    struct termios2 tio {};
    if (::ioctl(fd, TCGETS2, &tio) != 0) return false;
    *baud = tio.c_ospeed;
    return true;
}

}  // namespace tessel::detail
