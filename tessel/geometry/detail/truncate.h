#pragma once
// Float-to-integer truncation and 32-bit integer arithmetic as the device
// tooling has always done them: truncation toward zero, and for values that
// do not fit (or NaN) the integer "indefinite" value INT32_MIN that the x86
// conversion instruction yields. Integer products and differences wrap.
#include <cstdint>
#include <limits>

namespace tessel::detail {

inline std::int32_t truncToInt(double v) {
    // The range test is written so that NaN fails it.
    if (v > -2147483649.0 && v < 2147483648.0) return static_cast<std::int32_t>(v);
    return std::numeric_limits<std::int32_t>::min();
}

inline std::int32_t wrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

inline std::int32_t wrapMul(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

}  // namespace tessel::detail
