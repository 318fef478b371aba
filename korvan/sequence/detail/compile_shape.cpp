// Ellipses and polygons are reduced to scans by the shape generators; until those are wired in
// they yield no actions, so the compiler rejects them (result 4) rather than draw wrong geometry.
#include <korvan/sequence/detail/compile_element.h>

namespace korvan::detail {

void CompileEllipse(const SequenceEllipse&, const BuildContext&, ElementOutput&) {}

void CompilePolygon(const SequencePolygon&, const BuildContext&, ElementOutput&) {}

}  // namespace korvan::detail
