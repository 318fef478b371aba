#include <korvan/device/detail/process_state.h>

namespace korvan::detail {

ProcessWideState& ProcessWide() {
    static ProcessWideState state;
    return state;
}

}  // namespace korvan::detail
