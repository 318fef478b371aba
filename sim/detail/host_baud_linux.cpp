// Kept apart: <asm/termbits.h> and <termios.h> cannot share a translation unit.
#include <sim/detail/pty.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim::detail {

// On a pseudo-terminal master the termios requests act on the slave, so this is what the host
// configured; termios2 carries the rate as a number, arbitrary rates included.
int HostBaudRate(const Pty& pty) {
    struct termios2 tio {};
    if (ioctl(pty.master, TCGETS2, &tio) != 0) return 0;
    return static_cast<int>(tio.c_ospeed);
}

}  // namespace sim::detail
