#include <tessel/config/detail/terminal.h>

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

namespace tessel::detail {

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int stderrColumns() {
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void writeStderr(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace tessel::detail
