#include <korvan/device/korvan.h>

#include <korvan/detail/heap.h>
#include <korvan/device/detail/exchange.h>

using korvan::detail::Exchange;
using korvan::detail::Request;

// User data operations report every failure on the device side, and a missing connection, as 5.

unsigned int Korvan::GetUserData(unsigned char** data, unsigned int* length) {
    using namespace korvan::detail;
    GetState(&state);
    if (data == nullptr || length == nullptr) return korvan::ResultInvalidArgument;
    if (state != Idle) return korvan::ResultNotPossibleNow;

    const auto header = Exchange(*port, Request(kReadUserData));
    if (!header.Done()) return korvan::ResultNotPossibleNow;
    // The announced length sizes the buffer exactly, so any length up to 65535 fits.
    const unsigned int announced = header.At<2>(1);
    *length = announced;
    auto* buffer = static_cast<unsigned char*>(HeapAllocate(announced));
    if (buffer == nullptr) return korvan::ResultNotPossibleNow;
    if (!ReceiveMore(*port, buffer, announced)) {
        HeapRelease(buffer);
        return korvan::ResultNotPossibleNow;
    }
    *data = buffer;
    return korvan::ResultSuccess;
}

unsigned int Korvan::SetUserData(unsigned char* data, unsigned int length) {
    using namespace korvan::detail;
    if (data == nullptr || length == 0 || length > kMaxUserDataWrite) {
        return korvan::ResultInvalidArgument;
    }
    GetState(&state);
    if (state != Idle) return korvan::ResultNotPossibleNow;
    const auto reply =
        Exchange(*port, Request(kWriteUserData).U16(static_cast<std::uint16_t>(length)).Bytes(data, length));
    return reply.Done() ? korvan::ResultSuccess : korvan::ResultNotPossibleNow;
}

void Korvan::FreeUserData(unsigned char* data) { korvan::detail::HeapRelease(data); }
