#pragma once
// Umbrella header: the whole public interface of korvan (and of tessel, which it builds on).
#include <tessel/tessel.h>

#include <korvan/export.h>
#include <korvan/version.h>

// The device handle and its protocol types
#include <korvan/device/device_info.h>
#include <korvan/device/device_types.h>
#include <korvan/device/korvan.h>
#include <korvan/device/laser.h>
#include <korvan/device/laser_settings.h>
#include <korvan/device/result_codes.h>
#include <korvan/device/sequence_memory_info.h>

// Calibration
#include <korvan/calibration/calibration.h>
#include <korvan/calibration/calibration_quality.h>
#include <korvan/calibration/camera_region.h>

// Sequences
#include <korvan/sequence/sequence_elements.h>
