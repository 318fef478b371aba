#pragma once
// Result codes of every Korvan operation that returns `unsigned int` as a result.
// Operations that return a count (Search, GetSequenceCount) or a byte (GetLastDeviceError)
// say so in their documentation. KorvanResultText puts a code into words.
#include <korvan/export.h>

namespace korvan {

/// The operation succeeded.
inline constexpr unsigned int ResultSuccess = 0;
/// No connection, or the exchange with the device failed: the send failed, the reply did not
/// arrive complete within the time-out, its echo byte was wrong or its status byte was not 0xFF.
inline constexpr unsigned int ResultCommunicationError = 1;
/// A required pointer is null, a value is out of range, an index or identifier is unknown, or an
/// output port has no code for the requested command.
inline constexpr unsigned int ResultInvalidArgument = 2;
/// The device's sequence memory cannot hold the sequence.
inline constexpr unsigned int ResultMemoryTooSmall = 3;
/// The sequence failed the compiler's checks.
inline constexpr unsigned int ResultSequenceInvalid = 4;
/// Not possible now: the device's state does not allow it, or the device refused.
inline constexpr unsigned int ResultNotPossibleNow = 5;

}  // namespace korvan

/// A short English text for a result code ("invalid argument", ...), for messages and logs.
/// The text is in static storage: the caller frees nothing and may keep the pointer. A code that
/// is none of the above gives "unknown result code" (the number is not part of the text).
KORVAN_API const char* KorvanResultText(unsigned int result);
