// The host's mode flags, read through the pseudo-terminal's device end: POSIX only.
#include "support/serial_pty_peer.h"

#include <termios.h>

namespace testsupport {

bool PtyPeer::HostXonXoff() const {
    termios tio{};
    if (!open_ || ::tcgetattr(line_.master, &tio) != 0) return false;
    return (tio.c_iflag & IXON) != 0;
}

}  // namespace testsupport
