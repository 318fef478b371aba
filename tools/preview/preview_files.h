#pragma once
// A compiled sequence drawn to files: shared by `korvan preview` and `korvan demo`.
#include "tools/preview/beam_trace.h"

#include <sequence_file/compiled_sequence.h>

#include <string>

namespace tools {

/// Runs the compiled image through the executor and writes the SVG (and the dose PNG unless
/// `pngPath` is empty). A file that cannot be written throws UsageError.
BeamTrace WritePreview(const sequence_file::CompiledSequence& compiled, const std::string& svgPath,
                       const std::string& pngPath);

}  // namespace tools
