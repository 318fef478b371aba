#pragma once
// Finding a defined laser by identifier: shared by the laser operations, the sequence compiler
// and the calibration operations, which all report a missing laser the same way.
#include <korvan/device/detail/process_state.h>
#include <korvan/device/laser.h>
#include <korvan/device/result_codes.h>

namespace korvan::detail {

/// Points `*laser` at the first laser of the process-wide list with identifier `id`.
/// 5: no laser is defined at all; 2: none has this identifier (`*laser` untouched).
/// The pointer stays valid until the list next changes.
inline unsigned int LookUpLaser(unsigned int id, Laser** laser) {
    auto& lasers = ProcessWide().laserList;
    if (lasers.empty()) return ResultNotPossibleNow;
    for (Laser& entry : lasers) {
        if (entry.id == id) {
            *laser = &entry;
            return ResultSuccess;
        }
    }
    return ResultInvalidArgument;
}

}  // namespace korvan::detail
