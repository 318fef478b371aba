#include <tessel/serial/rs232_async.h>

#include <tessel/serial/detail/serial_platform.h>

#include <cstring>

namespace {

constexpr std::size_t kQueueLimit = 100;  // more waiting blocks than this: Send refuses
constexpr int kReadChunk = 4096;

// Which object's worker runs on this thread, so that a callback that calls Disconnect or
// Connect is recognised and the worker never waits for itself.
thread_local const RS232Async* tl_workerOf = nullptr;

}  // namespace

struct RS232Async::Wake {
    tessel::detail::WakeSignal signal;
    bool open = false;
};

RS232Async::RS232Async() : receiveCallback(nullptr), disconnectCallback(nullptr), running(0), wake_(new Wake) {
    wake_->open = tessel::detail::OpenWake(wake_->signal);
}

RS232Async::~RS232Async() {
    Disconnect();
    tessel::detail::CloseWake(wake_->signal);
    delete wake_;
}

bool RS232Async::IsConnected() {
    std::lock_guard<std::mutex> guard(lock_);
    return lineOpen_ && running != 0;
}

void RS232Async::StopWorker() {
    running = 0;
    if (tl_workerOf == this) return;  // a callback: the worker ends when it returns
    if (wake_->open) tessel::detail::RaiseWake(wake_->signal);
    if (threadHandle.joinable()) threadHandle.join();
    if (wake_->open) tessel::detail::ClearWake(wake_->signal);
}

bool RS232Async::Connect(char* portName) {
    if (tl_workerOf == this) return false;
    Disconnect();
    if (!port.Connect(portName)) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        sendQueue.clear();
        receiveBuffer.Clear();
        lineOpen_ = true;
    }
    bool started = wake_->open;
    if (started) {
        running = 1;
        try {
            threadHandle = std::thread([this] { SendReceiveRoutine(); });
        } catch (...) {
            started = false;
        }
    }
    if (!started) {
        running = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            lineOpen_ = false;
        }
        port.Disconnect();
        if (disconnectCallback != nullptr) disconnectCallback(2);
        return false;
    }
    return true;
}

void RS232Async::Disconnect() {
    StopWorker();
    {
        std::lock_guard<std::mutex> guard(lock_);
        sendQueue.clear();
        lineOpen_ = false;
    }
    // Only the worker (stopping itself) or a caller after the join reach the port here.
    port.Disconnect();
}

void RS232Async::Disconnect(int reason) {
    Disconnect();  // virtual: a subclass's override is used
    if (disconnectCallback != nullptr) disconnectCallback(reason);
}

bool RS232Async::Send(char* text) {
    if (text == nullptr) return false;
    return Send(reinterpret_cast<unsigned char*>(text), static_cast<int>(std::strlen(text)));
}

bool RS232Async::Send(unsigned char* data, int length) {
    if (length < 0 || (data == nullptr && length > 0)) return false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!lineOpen_ || sendQueue.size() > kQueueLimit) return false;
        sendQueue.emplace_back(data, data + length);
    }
    tessel::detail::RaiseWake(wake_->signal);
    return true;
}

bool RS232Async::Receive(unsigned char*, int, int) { return false; }

bool RS232Async::Receive(unsigned char**, int*, int) { return false; }

int RS232Async::AddCommand(unsigned char command, int replyLength) {
    std::lock_guard<std::mutex> guard(lock_);
    return receiveBuffer.AddCommand(command, replyLength);
}

void RS232Async::DeleteCommand(unsigned char command) {
    std::lock_guard<std::mutex> guard(lock_);
    receiveBuffer.DeleteCommand(command);
}

void RS232Async::SetTerminator(const char* terminator) {
    std::lock_guard<std::mutex> guard(lock_);
    receiveBuffer.terminator = terminator != nullptr ? terminator : "";
}

int RS232Async::GetSendBufferUse() {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(sendQueue.size());
}

bool RS232Async::TakeBlock(std::vector<unsigned char>& block) {
    std::lock_guard<std::mutex> guard(lock_);
    if (sendQueue.empty()) return false;
    block = std::move(sendQueue.front());
    sendQueue.pop_front();
    return true;
}

// Takes what has arrived, frames it byte by byte and hands each complete reply over.
// False when the line has failed; `announced`: the line was reported readable, so finding
// nothing means the other end has hung up.
bool RS232Async::ReadArrived(bool announced) {
    unsigned char chunk[kReadChunk];
    const int n = port.ReadAvailable(chunk, kReadChunk);
    if (n < 0 || (n == 0 && announced)) return false;
    std::vector<std::vector<unsigned char>> replies;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (int i = 0; i < n; ++i) {
            std::vector<unsigned char> reply = receiveBuffer.AddToBuffer(chunk[i]);
            if (!reply.empty()) replies.push_back(std::move(reply));
        }
    }
    // Outside the lock, so that a callback may queue the next block or change the command list.
    for (auto& reply : replies) {
        if (receiveCallback != nullptr) receiveCallback(reply.data(), static_cast<int>(reply.size()));
    }
    return true;
}

void RS232Async::SendReceiveRoutine() {
    tl_workerOf = this;
    std::vector<unsigned char> block;
    while (running != 0) {
        if (TakeBlock(block)) {
            if (!port.Send(block.data(), static_cast<int>(block.size()))) {
                Disconnect(0);
                break;
            }
            // A long queue must not hold replies back: take what has arrived between blocks.
            if (!ReadArrived(false)) {
                Disconnect(1);
                break;
            }
            continue;
        }
        const auto event = tessel::detail::WaitPort(port.portHandle, wake_->signal, -1);
        if (event == tessel::detail::PortEvent::Woken) {
            tessel::detail::ClearWake(wake_->signal);
        } else if (event == tessel::detail::PortEvent::LineGone) {
            Disconnect(1);
            break;
        } else if (event == tessel::detail::PortEvent::Readable) {
            if (!ReadArrived(true)) {
                Disconnect(1);
                break;
            }
        }
    }
    tl_workerOf = nullptr;
}
