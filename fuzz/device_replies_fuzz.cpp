// Device replies: a device session on a pseudo-terminal whose far end answers every request with
// bytes of the input, through the whole exchange path (echo, status, lengths, user data, the
// memory table, upload). Whatever the device says, the library returns a result code.
//
// Input: firmware version (1 byte: 15 or 16), four operation selectors, then the reply stream.
// Each request gets exactly its reply length from the stream; when the host waits without
// asking, the far end sends more of the stream after a pause, so lengths the replies announce
// are fed too. Once the stream is used up, replies are well-formed and successful.
#include <korvan/device/detail/command_table.h>
#include <korvan/calibration/detail/calibration_run.h>
#include <korvan/detail/heap.h>
#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/detail/motion.h>
#include <korvan/device/detail/outputs.h>
#include <korvan/device/detail/session.h>
#include <korvan/sequence/detail/upload.h>
#include <korvan/sequence/sequence_elements.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace korvan::detail;

namespace {

// More than this per input is only a babbling line, which the time-outs already cover.
constexpr size_t kFillerCap = 128 * 1024;
constexpr int kQuietMs = 8;  // above the host's 5 ms drain rule, so a drain ends

class FarEnd {
public:
    FarEnd() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
        const char* slave = ptsname(master_);
        if (!slave) std::abort();
        name_ = std::string(slave).substr(5);  // "pts/N"
        // Held open so the line does not hang up between host opens.
        slaveKeep_ = open(slave, O_RDWR | O_NOCTTY);
        // A host that stops reading must not block the far end while it holds its lock.
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread([this] { Run(); });
    }
    const std::string& Name() const { return name_; }

    void Begin(const uint8_t* data, size_t size, unsigned firmware) {
        std::lock_guard<std::mutex> lock(mutex_);
        tcflush(master_, TCIOFLUSH);
        stream_.assign(data, data + size);
        at_ = 0;
        filler_ = 0;
        firmware_ = firmware;
        busy_ = true;
    }
    void End() {
        std::lock_guard<std::mutex> lock(mutex_);
        busy_ = false;
    }

private:
    void Run() {
        std::vector<uint8_t> in(4096);
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            const int ready = poll(&p, 1, kQuietMs);
            std::lock_guard<std::mutex> lock(mutex_);
            if (ready > 0 && (p.revents & POLLIN)) {
                const ssize_t n = read(master_, in.data(), in.size());
                if (n > 0) Answer(in[0]);
            } else if (ready == 0 && busy_ && filler_ < kFillerCap) {
                std::vector<uint8_t> more = Take(4096, 0);
                filler_ += more.size();
                Write(more);
            }
        }
    }

    void Answer(uint8_t code) {
        for (const auto& c : korvan::detail::kAllCommands) {
            if (c.code != code) continue;
            size_t length = c.replyLength;
            if (code == korvan::detail::kStateQuery.code) length = korvan::detail::StateReplyLength(firmware_);
            const bool fromStream = at_ < stream_.size();
            std::vector<uint8_t> reply = Take(length, code);
            if (!fromStream) {  // a plain success
                std::fill(reply.begin(), reply.end(), 0);
                reply[0] = code;
                if (c.statusByte) reply[1] = korvan::detail::kStatusDone;
            }
            Write(reply);
            return;
        }
    }

    std::vector<uint8_t> Take(size_t n, uint8_t) {
        std::vector<uint8_t> out(n, 0);
        for (size_t i = 0; i < n && at_ < stream_.size(); ++i) out[i] = stream_[at_++];
        return out;
    }

    void Write(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;  // a full line just drops the rest
            done += static_cast<size_t>(n);
        }
    }

    int master_ = -1;
    int slaveKeep_ = -1;
    std::string name_;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<uint8_t> stream_;
    size_t at_ = 0;
    size_t filler_ = 0;
    unsigned firmware_ = 16;
    bool busy_ = false;
};

FarEnd* g_far = nullptr;
// What a Korvan object holds: the session and its calibration run.
struct Device {
    Session session;
    CalibrationRun calibration;
};

Device* g_device = nullptr;

void Operate(Device& k, uint8_t op, bool last) {
    switch (op % (last ? 14 : 13)) {
    case 0: {
        State s{};
        unsigned counter = 0;
        unsigned short word = 0;
        QueryState(k.session, &s, &counter, &word);
        break;
    }
    case 1: {
        tagPOINT p{};
        GetActualPosition(k.session, k.calibration, &p);
        break;
    }
    case 2: GetSequenceCount(k.session); break;
    case 3: {
        SequenceMemoryInfo info{};
        korvan::detail::GetMemoryUsage(op >> 4, &info);
        break;
    }
    case 4: {
        unsigned freeBytes = 0, largest = 0;
        GetAvailableMemory(k.session, &freeBytes, &largest);
        break;
    }
    case 5: {
        unsigned char* data = nullptr;
        unsigned length = 0;
        if (GetUserData(k.session, &data, &length) == 0) {
            if (length > 0 && data) data[length - 1] ^= 1;  // the buffer holds what it says
            korvan::detail::HeapRelease(data);
        }
        break;
    }
    case 6: {
        int level = 0;
        GetOutputDefault(k.session, TTLOutput1, &level);
        break;
    }
    case 7: Stop(k.session, k.calibration); break;
    case 8: DeleteSequence(k.session, 1); break;
    case 9:
        ClearDeviceErrors(k.session);
        CollectDeviceErrors(k.session);
        break;
    case 10: AcknowledgeWaitForUser(k.session); break;
    case 11: MoveAbsolute(k.session, k.calibration, 100, 200); break;
    case 12: DeleteAllSequences(k.session); break;
    default: {  // last only: a broken-off upload makes the next exchange wait for a quiet line
        SequenceWaitUser wait(7);
        SequenceSetTTL ttl(TTLOutput1, 1);
        ttl.startTick = 3;
        SequenceObject* elements[] = {&wait, &ttl};
        unsigned short number = 0;
        UploadSequence(k.session, elements, 2, &number);
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_far = new FarEnd;
    g_device = new Device;
    std::string name = g_far->Name();
    if (!g_device->session.Line().rs232.Connect(name.data())) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    Device& k = *g_device;
    const unsigned firmware = (data[0] & 1) ? 16 : 15;
    auto& line = k.session.Line();
    if (!line.rs232.IsConnected()) {
        std::string name = g_far->Name();
        if (!line.rs232.Connect(name.data())) std::abort();
    }
    line.staleInput = false;
    line.quietUntil = {};
    k.session.firmwareVersion = firmware;
    k.session.state = Idle;
    g_far->Begin(data + 5, size - 5, firmware);
    for (int i = 0; i < 4; ++i) Operate(k, data[1 + i], i == 3);
    g_far->End();
    return 0;
}
