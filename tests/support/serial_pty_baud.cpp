// termios2 lives apart from <termios.h>: the two headers clash.
#include "support/serial_pty_peer.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace testsupport {

// Mode ioctls on a pseudo-terminal master report the slave's settings, that is the host's.
unsigned PtyPeer::HostBaudRate() const {
    struct termios2 tio {};
    if (::ioctl(master_, TCGETS2, &tio) != 0) return 0;
    return tio.c_ospeed;
}

}  // namespace testsupport
