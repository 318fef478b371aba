#pragma once
// Reads the documentation of a declaration from a header's text, so that tests can hold what an
// operation does against what its comment says.
#include <string>

namespace testsupport {

/// The `///` lines above every declaration of `name` in the header at `path` (overloads are
/// documented together), joined with newlines. A declaration is a line that is not a comment and
/// holds `name(` as a whole word; its comment is the run of `///` lines right above it. Empty when
/// the header cannot be read or no declaration has a comment.
std::string DeclarationComment(const std::string& path, const std::string& name);

/// The name of a result code as <korvan/device/result_codes.h> declares it ("ResultInvalidArgument"),
/// "unknown" for any other number.
const char* ResultCodeName(unsigned int result);

}  // namespace testsupport
