#pragma once
// Command-line options for how the virtual device runs sequences (korvan-sim).
#include <sim/virtual_device.h>

#include <string>
#include <vector>

namespace sim {

/// Applies --time-scale S (0: as fast as possible, 1: real time), --timeline FILE and
/// --inputs MODE (see ParseInputsMode), also in the form --name=value, to `options`. Other arguments are returned in
/// `rest` in their order. False with `error` for a bad value.
bool ParseRunOptions(const std::vector<std::string>& args, Options* options, std::vector<std::string>* rest,
                     std::string* error);

/// How long a wait for an input holds before the device gives it its level by itself when the
/// mode says "auto".
inline constexpr int kDefaultAutoInputMs = 200;

/// Reads an --inputs value: "auto" (each wait for an input is given its level after
/// kDefaultAutoInputMs), "auto:MS" (after MS milliseconds) or "manual" (only SetInput, -1).
/// False with `error` for anything else.
bool ParseInputsMode(const std::string& value, int* autoInputMs, std::string* error);

/// One line per option, for --help texts.
std::string RunOptionsHelp();

}  // namespace sim
