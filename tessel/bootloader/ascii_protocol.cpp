#include <tessel/bootloader/ascii_protocol.h>

#include <tessel/serial/detail/heap.h>
#include <tessel/serial/detail/no_throw.h>
#include <tessel/serial/rs232.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr int kDefaultBaud = 115200;
constexpr unsigned long long kDefaultTimeoutMs = 500;
constexpr unsigned long long kPiece = 10000;
constexpr std::size_t kAnswerGrowth = 10;
constexpr int kSwitchWaitMs = 100;  // the device's UART changes rate after its ACK

// Reads a signed decimal number the way the device writes it: leading white space skipped,
// reading stops at the first non-digit. False when no digit comes or the value overflows an int.
bool ParseDecimal(const char* text, long long* value) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    long long v = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        v = v * 10 + (*text - '0');
        if (v > INT_MAX) return false;
    }
    *value = negative ? -v : v;
    return true;
}

}  // namespace

ASCIIProtocol::ASCIIProtocol(char* portName) : ASCIIProtocol(portName, kDefaultTimeoutMs) {}

ASCIIProtocol::ASCIIProtocol(char* portName, unsigned long long timeoutMs)
    : port(nullptr), connected(false), timeoutMs(timeoutMs), abortTransfer(false) {
    init(portName, timeoutMs);
}

void ASCIIProtocol::init(char* portName, unsigned long long timeout) {
    port = new RS232();
    port->baudRate = kDefaultBaud;
    port->lineTerminator = "\n";
    port->xonXoff = false;
    timeoutMs = timeout;
    connected = port->Connect(portName) && port->IsConnected();
}

ASCIIProtocol::~ASCIIProtocol() {
    for (const AnswerRecord& record : answerRegistry) ReleaseAnswers(record.answers, record.count);
    answerRegistry.clear();
    // The port was made here as an RS232, so deleting it through its own class is exact.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdelete-non-virtual-dtor"
    delete port;
#pragma GCC diagnostic pop
}

bool ASCIIProtocol::IsConnected() { return connected; }

void ASCIIProtocol::Disconnect() {
    if (!connected) return;
    port->Disconnect();
    connected = false;
}

void ASCIIProtocol::removeNewline(char* text) {
    for (char* p = text; *p != '\0'; ++p)
        if (*p == '\n') *p = '\0';
}

void ASCIIProtocol::ReleaseAnswers(char** answers, unsigned long long count) {
    if (answers == nullptr) return;
    for (unsigned long long i = 0; i < count; ++i) std::free(answers[i]);
    std::free(answers);
}

void ASCIIProtocol::CleanupMemory(char** answers) {
    if (answers == nullptr) return;
    for (auto it = answerRegistry.begin(); it != answerRegistry.end(); ++it) {
        if (it->answers == answers) {
            ReleaseAnswers(it->answers, it->count);
            answerRegistry.erase(it);
            return;
        }
    }
}

bool ASCIIProtocol::Query(char* query, char*** answers, unsigned long long* count, bool* ack) {
    if (count != nullptr) *count = 0;
    if (ack != nullptr) *ack = false;
    if (query == nullptr || answers == nullptr || count == nullptr || ack == nullptr) return false;
    return tessel::detail::NoThrow([&] { return real_query(query, answers, count, ack); },
                                   [&] {
                                       *count = 0;
                                       *ack = false;
                                   });
}

bool ASCIIProtocol::Query(char* query, char*** answers, unsigned long long* count) {
    bool ack = false;
    return Query(query, answers, count, &ack) && ack;
}

bool ASCIIProtocol::Query(char* query, bool* ack) {
    char** answers = nullptr;
    unsigned long long count = 0;
    bool ok = Query(query, &answers, &count, ack);
    if (ok) CleanupMemory(answers);
    return ok;
}

bool ASCIIProtocol::Query(char* query) {
    bool ack = false;
    return Query(query, &ack) && ack;
}

bool ASCIIProtocol::real_query(char* query, char*** answers, unsigned long long* count, bool* ack) {
    if (!connected) return false;
    if (*query != '\0') {
        if (!port->Send(query)) return false;
        if (!port->Send(const_cast<char*>(port->lineTerminator))) return false;
    }
    std::vector<char*> lines;
    lines.reserve(kAnswerGrowth);
    auto release = [&] {
        for (char* line : lines) std::free(line);
    };
    const int timeout = static_cast<int>(std::min<unsigned long long>(timeoutMs, INT_MAX));
    for (;;) {
        unsigned char* data = nullptr;
        int length = 0;
        if (!port->ReceiveLine(&data, &length, timeout)) {
            // A reply that does not come in time: the device is taken as lost.
            release();
            Disconnect();
            return false;
        }
        char* line = reinterpret_cast<char*>(data);
        removeNewline(line);
        const bool isAck = std::strcmp(line, "ACK") == 0;
        if (isAck || std::strcmp(line, "NACK") == 0) {
            port->FreeRS232Memory(data);
            // The array is handed out in tessel's heap, room for at least one entry.
            auto** array = static_cast<char**>(std::calloc(std::max<std::size_t>(lines.size(), 1), sizeof(char*)));
            if (array == nullptr) {
                release();
                return false;
            }
            std::copy(lines.begin(), lines.end(), array);
            answerRegistry.push_back(AnswerRecord{array, lines.size()});
            *answers = array;
            *count = lines.size();
            *ack = isAck;
            return true;
        }
        char* copy = tessel::detail::HeapText(line);
        port->FreeRS232Memory(data);
        if (copy == nullptr) {
            release();
            return false;
        }
        if (lines.size() == lines.capacity()) lines.reserve(lines.capacity() + kAnswerGrowth);
        lines.push_back(copy);
    }
}

bool ASCIIProtocol::BinaryTransfer(char* command, unsigned char* data, unsigned long long size, char*** answers,
                                   unsigned long long* count, bool* ack) {
    if (count != nullptr) *count = 0;
    if (ack != nullptr) *ack = false;
    if (command == nullptr || answers == nullptr || count == nullptr || ack == nullptr) return false;
    if (data == nullptr && size > 0) return false;
    return tessel::detail::NoThrow([&] { return real_binarytransfer(command, data, size, answers, count, ack); },
                                   [&] {
                                       *answers = nullptr;
                                       *count = 0;
                                       *ack = false;
                                   });
}

bool ASCIIProtocol::BinaryTransfer(char* command, unsigned char* data, unsigned long long size, char*** answers,
                                   unsigned long long* count) {
    bool ack = false;
    return BinaryTransfer(command, data, size, answers, count, &ack) && ack;
}

bool ASCIIProtocol::BinaryTransfer(char* command, unsigned char* data, unsigned long long size) {
    char** answers = nullptr;
    unsigned long long count = 0;
    bool ack = false;
    bool ok = BinaryTransfer(command, data, size, &answers, &count, &ack);
    if (ok) CleanupMemory(answers);
    return ok && ack;
}

void ASCIIProtocol::AbortBinaryTransfer() { abortTransfer = true; }

bool ASCIIProtocol::real_binarytransfer(char* command, unsigned char* data, unsigned long long size, char*** answers,
                                        unsigned long long* count, bool* ack) {
    abortTransfer = false;
    if (!real_query(command, answers, count, ack) || !*ack) return false;
    // The command's own answers are not handed out: release them now, not at destruction.
    CleanupMemory(*answers);
    *answers = nullptr;
    *count = 0;
    *ack = false;
    for (unsigned long long offset = 0; offset < size && !abortTransfer; offset += kPiece) {
        const unsigned long long piece = std::min(kPiece, size - offset);
        if (!port->Send(data + offset, static_cast<int>(piece))) break;
    }
    char empty[] = "";
    return real_query(empty, answers, count, ack);
}

bool ASCIIProtocol::ReopenAt(int baudRate, int waitMs) {
    port->Disconnect();
    port->baudRate = baudRate;
    if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    connected = port->Connect() && port->IsConnected();
    return connected;
}

bool ASCIIProtocol::SetMaxBaudrate() {
    char maxQuery[] = "device:baudrate:max?";
    char setQuery[] = "device:baudrate:set!";
    char** answers = nullptr;
    unsigned long long count = 0;
    bool ack = false;
    if (!Query(maxQuery, &answers, &count, &ack)) return false;
    long long rate = 0;
    const bool parsed = ack && count >= 1 && ParseDecimal(answers[0], &rate) && rate > 0;
    CleanupMemory(answers);
    if (!parsed) return false;
    if (!Query(setQuery)) return false;
    return tessel::detail::NoThrow([&] { return ReopenAt(static_cast<int>(rate), kSwitchWaitMs); },
                                   [this] { Disconnect(); });
}

bool ASCIIProtocol::SetDefaultBaudrate() {
    char resetQuery[] = "device:baudrate:reset!";
    if (!Query(resetQuery)) return false;
    return tessel::detail::NoThrow([&] { return ReopenAt(kDefaultBaud, 0); }, [this] { Disconnect(); });
}
