#include <tessel/config/progress_bar.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Points standard error at a pseudo-terminal (or at a pipe) for one test and
// collects what is written there.
class StderrCapture {
public:
    explicit StderrCapture(bool terminal, int columns = 200) {
        saved_ = ::dup(STDERR_FILENO);
        int writeEnd = -1;
        if (terminal) {
            reader_ = ::posix_openpt(O_RDWR | O_NOCTTY);
            ::grantpt(reader_);
            ::unlockpt(reader_);
            writeEnd = ::open(::ptsname(reader_), O_RDWR | O_NOCTTY);
            winsize size{};
            size.ws_col = static_cast<unsigned short>(columns);
            size.ws_row = 24;
            ::ioctl(writeEnd, TIOCSWINSZ, &size);
        } else {
            int fds[2];
            if (::pipe(fds) == 0) {
                reader_ = fds[0];
                writeEnd = fds[1];
            }
        }
        ::dup2(writeEnd, STDERR_FILENO);
        ::close(writeEnd);
    }

    ~StderrCapture() {
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        ::close(reader_);
    }

    // Everything written so far (the display has already written it when the
    // calls return, so a short quiet period ends the read).
    std::string drain() {
        std::string out;
        char buffer[4096];
        pollfd p{reader_, POLLIN, 0};
        while (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(reader_, buffer, sizeof buffer);
            if (n <= 0) break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }

private:
    int saved_ = -1;
    int reader_ = -1;
};

TEST(ConfigProgressBar, DrawsTitleAndClampedPercentOnATerminal) {
    StderrCapture capture(true);
    ASSERT_EQ(ShowProgressBar("Saving calibration"), 1);
    EXPECT_EQ(UpdateValue(42), 0);
    std::string out = capture.drain();
    EXPECT_NE(out.find("Saving calibration"), std::string::npos) << out;
    EXPECT_NE(out.rfind("42%"), std::string::npos) << out;
    EXPECT_EQ(out.find('\n'), std::string::npos) << "one line only";

    EXPECT_EQ(UpdateValue(150), 0);
    out = capture.drain();
    EXPECT_NE(out.find("100%"), std::string::npos) << out;
    EXPECT_EQ(UpdateValue(-5), 0);
    out = capture.drain();
    EXPECT_NE(out.find(" 0%"), std::string::npos) << out;

    EXPECT_EQ(CloseProgressBar(), 0);
    out = capture.drain();
    EXPECT_EQ(out, "\r\x1b[K");  // the bar is taken away
    EXPECT_EQ(UpdateValue(10), 0);
    EXPECT_EQ(capture.drain(), "");
}

TEST(ConfigProgressBar, NothingIsWrittenWhenStderrIsNoTerminalNullTitleOrNot) {
    StderrCapture capture(false);
    ASSERT_EQ(ShowProgressBar(nullptr), 1);
    EXPECT_EQ(UpdateValue(50), 0);
    EXPECT_EQ(CloseProgressBar(), 0);
    EXPECT_EQ(capture.drain(), "");
}

TEST(ConfigProgressBar, NewestDisplayIsDriven) {
    StderrCapture capture(true);
    ASSERT_EQ(ShowProgressBar("first"), 1);
    ASSERT_EQ(ShowProgressBar("second"), 1);
    capture.drain();
    EXPECT_EQ(UpdateValue(77), 0);
    const std::string out = capture.drain();
    EXPECT_NE(out.find("second"), std::string::npos) << out;
    EXPECT_EQ(out.find("first"), std::string::npos) << out;
    EXPECT_EQ(CloseProgressBar(), 0);
}

TEST(ConfigProgressBar, LongTitlesAreShortened) {
    StderrCapture capture(true, 4000);
    const std::string title(1500, 'x');
    ASSERT_EQ(ShowProgressBar(title.c_str()), 1);
    UpdateValue(1);
    std::string out = capture.drain();
    CloseProgressBar();
    EXPECT_NE(out.find(std::string(999, 'x')), std::string::npos);
    EXPECT_EQ(out.find(std::string(1000, 'x')), std::string::npos);

    // A two-byte character that would straddle the limit goes as a whole.
    const std::string accented = std::string(998, 'y') + "\xC3\xA9" + "tail";
    ASSERT_EQ(ShowProgressBar(accented.c_str()), 1);
    out = capture.drain();
    CloseProgressBar();
    EXPECT_NE(out.find(std::string(998, 'y') + " ["), std::string::npos);
}

TEST(ConfigProgressBar, NarrowTerminalKeepsOneLine) {
    StderrCapture capture(true, 40);
    ASSERT_EQ(ShowProgressBar("a title far too long for a narrow terminal window"), 1);
    UpdateValue(60);
    const std::string out = capture.drain();
    CloseProgressBar();
    const std::size_t last = out.rfind('\r');
    ASSERT_NE(last, std::string::npos);
    const std::string line = out.substr(last + 1, out.find("\x1b[K", last) - last - 1);
    EXPECT_LT(line.size(), 40u) << line;
    EXPECT_NE(line.find("60%"), std::string::npos) << line;
}

}  // namespace
