#include <korvan/calibration/camera_region.h>

#include <korvan/calibration/calibration.h>
#include <korvan/calibration/detail/calibration_file.h>
#include <korvan/device/result_codes.h>
#include <tessel/config/ini_file.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace korvan {
namespace {

const char* const kCamera = "Camera";

struct RegionKey {
    const char* name;
    int CameraRegion::*field;
    int minimum;
};

// Written in this order; the INI store puts each new key right below the heading, so they read
// back reversed, as the point keys do.
const RegionKey kKeys[] = {{"SensorLeft", &CameraRegion::left, 0},
                           {"SensorTop", &CameraRegion::top, 0},
                           {"ImageWidth", &CameraRegion::width, 0},
                           {"ImageHeight", &CameraRegion::height, 0},
                           {"Binning", &CameraRegion::binning, 1}};

bool Valid(const CameraRegion& r) {
    for (const RegionKey& key : kKeys)
        if (r.*key.field < key.minimum) return false;
    return true;
}

bool Exists(const char* path) {
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::u8path(path), error);
}

}  // namespace

unsigned int StoreCameraRegion(const char* path, const CameraRegion& region) {
    if (path == nullptr || !Valid(region)) return ResultInvalidArgument;
    // The INI store treats a file it cannot open as empty; a region alone is no calibration file.
    if (!Exists(path)) return ResultNotPossibleNow;
    try {
        if (CIniFile::SectionExists(kCamera, path) && !CIniFile::DeleteSection(kCamera, path))
            return ResultNotPossibleNow;
        if (!CIniFile::AddSection(kCamera, path)) return ResultNotPossibleNow;
        for (const RegionKey& key : kKeys) {
            if (!CIniFile::SetValue(key.name, std::to_string(region.*key.field).c_str(), kCamera, path))
                return ResultNotPossibleNow;
        }
        return ResultSuccess;
    } catch (const std::exception&) {
        return ResultNotPossibleNow;
    }
}

unsigned int SaveCalibrationWithRegion(const Calibration& calibration, const CameraRegion& region, const char* path) {
    if (path == nullptr || *path == '\0' || !Valid(region)) return ResultInvalidArgument;
    // The table's own save is atomic onto the temporary name; the region joins it there, and only
    // the complete file replaces the old one.
    const std::string temporary = std::string(path) + ".region";
    unsigned int result = detail::SaveCalibrationFile(calibration, temporary.c_str());
    if (result == ResultSuccess) result = StoreCameraRegion(temporary.c_str(), region);
    std::error_code error;
    if (result == ResultSuccess)
        std::filesystem::rename(std::filesystem::u8path(temporary), std::filesystem::u8path(path), error);
    if (result == ResultSuccess && error) result = ResultNotPossibleNow;
    if (result != ResultSuccess) std::remove(temporary.c_str());
    return result;
}

unsigned int LoadCameraRegion(const char* path, CameraRegion* region, bool* stored, std::string* reason) {
    std::string unused;
    std::string& why = reason != nullptr ? *reason : unused;
    if (path == nullptr || region == nullptr) {
        why = "no calibration file or region given";
        return ResultInvalidArgument;
    }
    if (!Exists(path) || !std::ifstream(std::filesystem::u8path(path)).is_open()) {
        why = std::string("cannot read calibration file ") + path;
        return ResultNotPossibleNow;
    }
    try {
        if (!CIniFile::SectionExists(kCamera, path)) {
            *region = CameraRegion();
            if (stored != nullptr) *stored = false;
            return ResultSuccess;
        }
        CameraRegion read;
        CIniFile ini;
        for (const RegionKey& key : kKeys) {
            std::vector<char> buffer(ini.LoadValue(key.name, kCamera, path));
            ini.GetValueData(buffer.data());
            const std::string text(buffer.data());
            errno = 0;
            char* end = nullptr;
            const long value = std::strtol(text.c_str(), &end, 10);
            while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
            if (text.empty() || end == text.c_str() || *end != '\0' || errno == ERANGE || value < key.minimum ||
                value > INT_MAX) {
                why = std::string("calibration file ") + path + ": [Camera] " + key.name +
                      (text.empty() ? " is missing"
                                    : "=" + text + " is not a whole number from " + std::to_string(key.minimum));
                return ResultNotPossibleNow;
            }
            read.*key.field = static_cast<int>(value);
        }
        *region = read;
        if (stored != nullptr) *stored = true;
        return ResultSuccess;
    } catch (const std::exception& e) {
        why = std::string("calibration file ") + path + " cannot be read as an INI file (" + e.what() + ")";
        return ResultNotPossibleNow;
    }
}

}  // namespace korvan
