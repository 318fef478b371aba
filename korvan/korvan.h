#pragma once
// Umbrella header: the whole public interface of korvan (and of tessel, which it builds on).
#include <tessel/tessel.h>
#include <korvan/export.h>
#include <korvan/version.h>
