#pragma once
// A compiled sequence drawn to files: shared by `korvan preview`, `korvan demo` and Python.
#include "preview/beam_trace.h"
#include "preview/pictures.h"

#include <sequence_file/compiled_sequence.h>

#include <stdexcept>
#include <string>

namespace preview {

/// A picture file that cannot be created or written.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Runs the compiled image through the executor and writes the SVG (and the dose PNG unless
/// `pngPath` is empty). A file that cannot be written throws FileError; a trace that fails (the
/// compiler and the executor disagree) throws sequence_file::DeviceError.
BeamTrace WritePreview(const sequence_file::CompiledSequence& compiled, const std::string& svgPath,
                       const std::string& pngPath);

/// The legend of a traced analysis: its duration, light time (LightTimeUs), image size and
/// element count, under `title`.
PreviewLegend LegendOf(const std::string& title, const SequenceAnalysis& analysis, const BeamTrace& trace,
                       size_t elements);

/// Writes the SVG of `trace` and, unless `pngPath` is empty, its dose PNG. A file that cannot be
/// written throws FileError.
void WritePictures(const BeamTrace& trace, const std::vector<TraceLaser>& lasers, const PreviewLegend& legend,
                   unsigned int tickTimeUs, const std::string& svgPath, const std::string& pngPath);

}  // namespace preview
