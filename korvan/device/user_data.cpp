#include <korvan/device/detail/memory.h>

#include <korvan/detail/heap.h>
#include <korvan/device/detail/device_state.h>

namespace korvan::detail {

// User data operations report every failure on the device side, and a missing connection, as 5.

unsigned int GetUserData(Session& session, unsigned char** data, unsigned int* length) {
    RefreshState(session);
    if (data == nullptr || length == nullptr) return ResultInvalidArgument;
    if (session.state != Idle) return ResultNotPossibleNow;

    const auto header = Exchange(session.Line(), Request(kReadUserData));
    if (!header.Done()) return ResultNotPossibleNow;
    // The announced length sizes the buffer exactly, so any length up to 65535 fits.
    const unsigned int announced = header.At<2>(1);
    *length = announced;
    auto* buffer = static_cast<unsigned char*>(HeapAllocate(announced));
    if (buffer == nullptr) return ResultNotPossibleNow;
    if (!ReceiveMore(session.Line(), buffer, announced)) {
        HeapRelease(buffer);
        return ResultNotPossibleNow;
    }
    *data = buffer;
    return ResultSuccess;
}

unsigned int SetUserData(Session& session, const unsigned char* data, unsigned int length) {
    if (data == nullptr || length == 0 || length > kMaxUserDataWrite) return ResultInvalidArgument;
    RefreshState(session);
    if (session.state != Idle) return ResultNotPossibleNow;
    const auto reply =
        Exchange(session.Line(), Request(kWriteUserData).U16(static_cast<std::uint16_t>(length)).Bytes(data, length));
    return reply.Done() ? ResultSuccess : ResultNotPossibleNow;
}

}  // namespace korvan::detail
