#include <korvan/device/failure.h>

namespace korvan {

const char* FailureText(Failure failure) {
    switch (failure) {
    case Failure::None: return "no failure";
    case Failure::NoConnection: return "not connected";
    case Failure::Cancelled: return "cancelled by the progress function";
    case Failure::Timeout: return "the reply timed out";
    case Failure::GarbledReply: return "the reply was garbled";
    case Failure::DeviceRefused: return "the device refused";
    case Failure::LineBroken: return "the line is broken";
    }
    return "unknown failure";
}

}  // namespace korvan
