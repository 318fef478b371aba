#include <tessel/config/detail/progress_display.h>
#include <tessel/config/detail/terminal.h>

#include <algorithm>

namespace tessel::detail {
namespace {

constexpr int kBarWidth = 30;

void Draw(const std::string& title, int percent) {
    const int filled = percent * kBarWidth / 100;
    const std::string bar = " [" + std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] " +
                            std::to_string(percent) + "%";
    // One line only: the title gives way when the terminal is narrow.
    const int columns = stderrColumns();
    const std::size_t room = static_cast<std::size_t>(std::max(0, columns - 1 - static_cast<int>(bar.size())));
    writeStderr("\r" + CutUtf8(title, room) + bar + "\x1b[K");
}

}  // namespace

std::string CutUtf8(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

void RunTerminalProgress(const std::string& title, ProgressRequests& requests) {
    const bool terminal = stderrIsTerminal();
    if (terminal) Draw(title, 0);
    for (;;) {
        const ProgressRequest r = requests.WaitNext();
        if (r.close) break;
        if (terminal) Draw(title, r.percent);
        requests.Handled(1);
    }
    if (terminal) writeStderr("\r\x1b[K");
    requests.Finish();
}

}  // namespace tessel::detail
