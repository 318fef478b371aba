#pragma once
// Umbrella header: the whole public interface of tessel.
#include <tessel/export.h>
#include <tessel/version.h>
