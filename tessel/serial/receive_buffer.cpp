#include <tessel/serial/receive_buffer.h>

#include <cstring>

namespace {
// A text reply whose terminator never comes is handed over at this size rather than grown for ever.
constexpr std::size_t kTextReplyLimit = 64 * 1024;
}  // namespace

ReceiveBuffer::ReceiveBuffer() : terminator(""), expectedBytes(-1), terminatorMode(0) {}

int ReceiveBuffer::AddCommand(unsigned char command, int replyLength) {
    if (isInCommandList(command)) return 0;
    commands.push_back(Entry{command, replyLength - 1});
    return 1;
}

void ReceiveBuffer::DeleteCommand(unsigned char command) {
    for (auto it = commands.begin(); it != commands.end(); ++it) {
        if (it->command == command) {
            commands.erase(it);
            return;
        }
    }
}

int ReceiveBuffer::GetExpectedBytes(unsigned char command) {
    for (const Entry& e : commands)
        if (e.command == command) return e.bytesAfterFirst;
    return -1;
}

int ReceiveBuffer::isInCommandList(unsigned char command) {
    for (const Entry& e : commands)
        if (e.command == command) return 1;
    return 0;
}

void ReceiveBuffer::Clear() {
    buffer.clear();
    expectedBytes = -1;
    terminatorMode = 0;
}

std::vector<unsigned char> ReceiveBuffer::TakeReply() {
    std::vector<unsigned char> reply;
    reply.swap(buffer);
    expectedBytes = -1;
    terminatorMode = 0;
    return reply;
}

std::vector<unsigned char> ReceiveBuffer::AddToBuffer(unsigned char byte) {
    buffer.push_back(byte);
    if (buffer.size() == 1) {
        if (!isInCommandList(byte)) {
            buffer.clear();  // not the start of any reply: look at the next byte afresh
            return {};
        }
        expectedBytes = GetExpectedBytes(byte);
        const char* end = terminator != nullptr ? terminator : "";
        if (expectedBytes < 0 && *end != '\0') {
            terminatorMode = 1;
            return {};
        }
        if (expectedBytes <= 0) return TakeReply();
        return {};
    }
    if (terminatorMode == 0) {
        if (static_cast<int>(buffer.size()) - 1 >= expectedBytes) return TakeReply();
        return {};
    }
    const char* end = terminator != nullptr ? terminator : "";
    const std::size_t n = std::strlen(end);
    // A terminator that the caller cleared meanwhile ends the reply here.
    if (n == 0 || buffer.size() >= kTextReplyLimit) return TakeReply();
    if (buffer.size() > n && std::memcmp(buffer.data() + buffer.size() - n, end, n) == 0) return TakeReply();
    return {};
}
