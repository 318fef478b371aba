// The serial low-latency flag: drivers that batch received bytes (USB serial adapters with a
// latency timer) hand them over at once while it is set.
#include <tessel/serial/detail/serial_platform.h>

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace tessel::detail {

bool RequestLowLatency(PortHandle handle) {
    int fd = static_cast<int>(handle);
    serial_struct info{};
    // Pseudo-terminals and many UARTs know no serial settings: ENOTTY or EINVAL, nothing changed.
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0) return false;
    if (info.flags & ASYNC_LOW_LATENCY) return true;
    info.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
}

}  // namespace tessel::detail
