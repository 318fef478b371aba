#include "preview/duration_text.h"

#include <cstdio>

namespace preview {

std::string FormatMicroseconds(double us) {
    char buf[64];
    if (us < 1000)
        std::snprintf(buf, sizeof buf, "%.0f us", us);
    else if (us < 1e6)
        std::snprintf(buf, sizeof buf, "%.3g ms", us / 1000);
    else
        std::snprintf(buf, sizeof buf, "%.4g s", us / 1e6);
    return buf;
}

}  // namespace preview
