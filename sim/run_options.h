#pragma once
// Command-line options for how the virtual device runs sequences (korvan-sim).
#include <sim/virtual_device.h>

#include <string>
#include <vector>

namespace sim {

/// Applies --time-scale S (0: as fast as possible, 1: real time) and --timeline FILE, also in the
/// form --name=value, to `options`. Other arguments are returned in `rest` in their order. False
/// with `error` for a bad value.
bool ParseRunOptions(const std::vector<std::string>& args, Options* options, std::vector<std::string>* rest,
                     std::string* error);

/// One line per option, for --help texts.
std::string RunOptionsHelp();

}  // namespace sim
