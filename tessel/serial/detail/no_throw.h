#pragma once
// The one exception guard of the serial and protocol classes: no exception leaves them.
#include <utility>

namespace tessel::detail {

/// Runs `step` and returns its result; an exception becomes false after `onThrow` has run
/// (which closes the port, for instance).
template <class Step, class OnThrow>
bool NoThrow(Step&& step, OnThrow&& onThrow) noexcept {
    try {
        return std::forward<Step>(step)();
    } catch (...) {
        try {
            onThrow();
        } catch (...) {
        }
        return false;
    }
}

}  // namespace tessel::detail
