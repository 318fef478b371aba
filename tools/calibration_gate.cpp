#include "tools/calibration_gate.h"

#include "tools/report.h"

#include <sequence_file/calibration_check.h>

namespace tools {

void AddCalibrationOption(CLI::App& app, bool* allow) {
    app.add_flag("--allow-unsound-calibration", *allow,
                 "use a calibration table that fails its quality check (folded cells or a large "
                 "leave-one-out error) instead of refusing it");
}

void CheckCalibrations(const sequence_file::SequenceFile& file, bool allowUnsound, std::FILE* out,
                       const char* howToAllow) {
    for (const sequence_file::CalibrationVerdict& v : sequence_file::JudgeCalibrations(file)) {
        if (out) std::fprintf(out, "%s\n", v.Summary().c_str());
        if (v.Sound()) continue;
        if (!allowUnsound)
            throw InputError(v.pointer, "the calibration " + v.path +
                                            " does not look sound; record it again (korvan calibration check "
                                            "shows its worst point), or " +
                                            howToAllow);
        if (out) std::fprintf(out, "  used anyway (--allow-unsound-calibration)\n");
    }
    if (out) std::fflush(out);
}

}  // namespace tools
