#pragma once
// Why an operation gave ResultCommunicationError: the detail behind result 1 (Korvan::LastFailure).
#include <korvan/export.h>

namespace korvan {

/// What made the last operation of a Korvan object give ResultCommunicationError.
enum class Failure {
    /// The last operation did not give ResultCommunicationError.
    None,
    /// No connection: never connected, the connection was lost earlier, or Connect found no
    /// such device or could not open its port. Nothing was sent.
    NoConnection,
    /// The progress function (Korvan::SetSendingDataFct) returned false during an image send.
    /// The device has dropped the partial image; the connection stays usable.
    Cancelled,
    /// The device's reply did not arrive complete within the time-out (also a line that went
    /// silent for good). The port is closed when a state query met it.
    Timeout,
    /// A reply arrived with the wrong echo byte: noise on the line or a late reply to an earlier
    /// command.
    GarbledReply,
    /// The device answered with a refusing status byte, or refused a sequence image.
    DeviceRefused,
    /// The port did not take the bytes: the line is broken (adapter unplugged, device gone).
    LineBroken,
};

/// A short English text for a failure ("the reply timed out", ...), in static storage: the
/// caller frees nothing. A value outside the enumeration gives "unknown failure".
KORVAN_API const char* FailureText(Failure failure);

}  // namespace korvan
