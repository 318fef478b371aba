#pragma once
// The calibration gate of check, preview and run: each laser's calibration verdict is printed,
// and a table that does not look sound stops the verb unless the user allows it.
#include <sequence_file/sequence_file.h>

#include <CLI/CLI.hpp>

#include <cstdio>

namespace tools {

/// Adds --allow-unsound-calibration to a verb, setting *allow.
void AddCalibrationOption(CLI::App& app, bool* allow);

/// Prints the calibration verdict of each laser of `file` that has a calibration file or is aimed
/// at in camera pixels without one, a line each on `out` (nothing when null). Throws InputError
/// (exit 2) at the first table that does not look sound, unless `allowUnsound`; its message ends
/// with `howToAllow`, the caller's way to allow it anyway.
void CheckCalibrations(const sequence_file::SequenceFile& file, bool allowUnsound, std::FILE* out,
                       const char* howToAllow = "give --allow-unsound-calibration");

/// CheckCalibrations on stdout, or on stderr with --json so that stdout stays one JSON object.
inline void CheckCalibrations(const sequence_file::SequenceFile& file, bool allowUnsound, bool json) {
    CheckCalibrations(file, allowUnsound, json ? stderr : stdout);
}

}  // namespace tools
