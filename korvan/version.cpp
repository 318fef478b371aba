#include <korvan/version.h>
#include <tessel/version.h>

const char* KorvanVersion() { return TESSEL_VERSION_STRING; }
