// Finds and connects the device on one COM port through the whole Win32 port path: enumeration
// (the extra-ports switch), CreateFileA, SetCommState up to the raised rate, the time-out record
// and overlapped ReadFile/WriteFile; then the asynchronous port's worker (overlapped read and
// wake-up event, CancelIoEx on disconnect). Run by com_port_check.sh against the Linux virtual
// device on a pseudo-terminal linked as that port.
//   com_identify COMn [--async]   exit 0 when exactly the device on COMn was found and connected
// --async first runs three requests through the asynchronous port. Under Wine 8 on a
// pseudo-terminal its worker receives nothing and Disconnect does not return yet.
#include <korvan/korvan.h>
#include <tessel/serial/rs232.h>
#include <tessel/serial/rs232_async.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::mutex replyLock;
std::condition_variable replyArrived;
std::vector<std::string> replies;

void OnReply(unsigned char* data, int length) {
    std::lock_guard<std::mutex> guard(replyLock);
    replies.emplace_back(reinterpret_cast<char*>(data), static_cast<std::size_t>(length));
    replyArrived.notify_all();
}

// Three serial-number requests through the worker at 9600 baud (the rate Disconnect leaves);
// true when all three replies came back whole and the worker stopped promptly.
bool AsyncRoundTrips(const std::string& portName) {
    RS232Async line;
    line.receiveCallback = OnReply;
    line.AddCommand(0x19, 9);  // serial number: the command byte and eight characters
    std::string name = portName;
    if (!line.Connect(&name[0])) return false;
    const auto start = Clock::now();
    unsigned char request = 0x19;
    for (int i = 0; i < 3; ++i) line.Send(&request, 1);
    bool all = false;
    {
        std::unique_lock<std::mutex> guard(replyLock);
        all = replyArrived.wait_for(guard, std::chrono::seconds(3), [] { return replies.size() >= 3; });
    }
    std::printf("async: %zu replies in %lld ms\n", replies.size(), MsSince(start));
    // The worker sits in an overlapped read now; Disconnect must end it at once.
    const auto stop = Clock::now();
    line.Disconnect();
    const long long stopMs = MsSince(stop);
    std::printf("async: worker stopped in %lld ms\n", stopMs);
    bool whole = all;
    for (const std::string& reply : replies)
        whole = whole && reply == std::string(
                                      "\x19"
                                      "123-4567");
    return whole && stopMs < 500;
}

}  // namespace

int main(int argc, char** argv) {
    const bool withAsync = argc == 3 && std::strcmp(argv[2], "--async") == 0;
    if (argc != 2 && !withAsync) {
        std::fprintf(stderr, "usage: com_identify COMn [--async]\n");
        return 2;
    }
    const std::string wanted = argv[1];
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // progress shows even if a step hangs

    // The worker first, on the fresh device at 9600 baud.
    const bool async = !withAsync || AsyncRoundTrips(wanted);

    RS232 lister;
    char** ports = nullptr;
    int count = 0;
    lister.GetSpecificCOMPorts(&ports, &count);
    bool listed = false;
    for (int i = 0; i < count; ++i) {
        std::printf("port %s\n", ports[i]);
        listed = listed || wanted == ports[i];
        lister.FreeRS232Memory(ports[i]);
    }
    if (count > 0) lister.FreeRS232Memory(ports);

    Korvan device;
    const auto start = Clock::now();
    const unsigned int found = device.Search();
    std::printf("search found %u in %lld ms\n", found, MsSince(start));
    bool identified = false;
    for (unsigned int i = 0; i < found; ++i) {
        DeviceInfo info{};
        if (device.GetDeviceInfo(static_cast<int>(i), &info) != 0) continue;
        std::printf("device on %s: serial %s, \"%s\", firmware %d, type %d\n", info.portName, info.serialNumber,
                    info.description, info.firmwareVersion, info.deviceType);
        identified = identified || wanted == info.portName;
    }
    const unsigned int connected = device.Connect(wanted.c_str());
    std::printf("connect %s: %u\n", wanted.c_str(), connected);
    const unsigned int disconnected = connected == 0 ? device.Disconnect() : 1;
    std::printf("disconnect: %u\n", disconnected);
    const bool ok = async && listed && found == 1 && identified && connected == 0 && disconnected == 0;
    std::printf("%s\n", ok ? "COM PATH OK" : "COM PATH FAILED");
    return ok ? 0 : 1;
}
