#pragma once
// Command-line options that set the virtual device's identity (korvan-sim, korvan demo).
#include <sim/identity.h>

#include <string>
#include <vector>

namespace sim {

// Applies options of the form --name=value or --name value to `identity`. Arguments it does not
// know are returned in `rest` in their order. False with `error` for a bad value.
bool ParseIdentityOptions(const std::vector<std::string>& args, Identity* identity, std::vector<std::string>* rest,
                          std::string* error);

// One line per option, for --help texts.
std::string IdentityOptionsHelp();

}  // namespace sim
