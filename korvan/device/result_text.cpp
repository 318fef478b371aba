#include <korvan/device/result_codes.h>

const char* KorvanResultText(unsigned int result) {
    switch (result) {
    case korvan::ResultSuccess: return "success";
    case korvan::ResultCommunicationError: return "communication failure or no connection";
    case korvan::ResultInvalidArgument: return "invalid argument";
    case korvan::ResultMemoryTooSmall: return "device memory too small";
    case korvan::ResultSequenceInvalid: return "the sequence failed the compiler's checks";
    case korvan::ResultNotPossibleNow: return "not possible in the device's state";
    }
    return "unknown result code";
}
