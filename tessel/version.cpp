#include <tessel/version.h>
#include <tessel/export.h>

// Version text "major.minor.patch (revision)"; static storage.
TESSEL_API const char* TesselVersion() { return TESSEL_VERSION_STRING " (" TESSEL_SOURCE_REVISION ")"; }
