#include <korvan/sequence/sequence_analysis.h>

#include <sstream>

namespace korvan {

std::string DescribeClampedPosition(const ClampedPosition& clamped) {
    std::ostringstream text;
    text.precision(10);
    text << "element " << clamped.element << ": position (" << clamped.askedX << ", " << clamped.askedY
         << ") lies outside the mirror field 0..65535; the mirrors stop at (" << clamped.usedX << ", " << clamped.usedY
         << ")";
    if (clamped.positions > 1)
        text << ", and " << clamped.positions - 1 << " more position" << (clamped.positions > 2 ? "s" : "")
             << " of the element with it";
    return text.str();
}

}  // namespace korvan
