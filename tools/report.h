#pragma once
// How verbs report failures: a thrown InputError (exit 2) or DeviceError (exit 1) becomes one
// line on stderr, and with --json also an object on stdout, so scripts need not parse text.
#include "tools/commands/command.h"
#include <preview/duration_text.h>
#include <sequence_file/compiled_sequence.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <stdexcept>
#include <string>

namespace tools {

/// A fault in a file (exit 2) and a device or communication failure (exit 1), as the sequence-file
/// library throws them.
using InputError = sequence_file::InputError;
using DeviceError = sequence_file::DeviceError;

/// Bad usage found after parsing (exit 2), with no place in a file.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// "file: /elements/3: message" (the pointer is left out for the whole document).
std::string Describe(const std::string& file, const InputError& error);

/// Runs `body` and turns the errors above into exit codes and messages for verb `verb`.
int Guarded(const char* verb, const std::string& file, bool json, const std::function<int()>& body);

/// How many of the file's elements have a meaningful timing: all, or those before a failed one.
size_t TimedElements(const sequence_file::CompiledSequence& built);

/// What `korvan check --json` reports of a compiled file: "ok", "tickTime", per element its
/// "index", "pointer", "type", "start", "duration" and "illumination" (ticks) and "bytes" (device memory, up to a
/// failed element), then either "error" {"kind", "pointer", "message"} or the totals "endTick", "illuminationTicks",
/// "imageBytes", "mainListBytes", "deviceMemoryBytes" and "warnings".
nlohmann::json CheckJson(const sequence_file::CompiledSequence& built);

/// Prints `object` as indented JSON on stdout.
void PrintJson(const nlohmann::json& object);

/// Draws "label [#####.....]  50%  1.2 MB/s  3 s left" on stderr, at most ten times a second,
/// ending the line at the total.
void DrawProgress(const char* label, long long done, long long total);

/// Durations in words live with the pictures; reports use the same text.
using preview::FormatMicroseconds;

}  // namespace tools
