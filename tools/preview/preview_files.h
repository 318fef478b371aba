#pragma once
// A compiled sequence drawn to files: shared by `korvan preview` and `korvan demo`.
#include "tools/preview/beam_trace.h"
#include "tools/sequence_build.h"

#include <string>

namespace tools {

/// The lasers of a file as the trace reads them, each with its colour.
std::vector<TraceLaser> TraceLasers(const SequenceFile& file);

/// Runs the built image through the executor and writes the SVG (and the dose PNG unless
/// `pngPath` is empty). A file that cannot be written throws UsageError.
BeamTrace WritePreview(const BuiltSequence& built, const std::string& svgPath, const std::string& pngPath);

}  // namespace tools
