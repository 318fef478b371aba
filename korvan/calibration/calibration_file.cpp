#include <korvan/calibration/detail/calibration_file.h>

#include <korvan/calibration/calibration.h>
#include <korvan/device/result_codes.h>
#include <tessel/config/ini_file.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace korvan::detail {
namespace {

constexpr unsigned int kMaxFilePoints = 100;  // point keys carry a two-digit index
const char* const kSpot = "Spot";
const char* const kTable = "Calibration";
const char* const kCoordinateKeys[] = {"CamX", "CamY", "DevX", "DevY"};

// Coordinates are written and read with a decimal point whatever locale the application has
// set (printf and strtod would follow LC_NUMERIC): a file must mean the same on every machine.
std::string FormatCoordinate(double value) {
    char buffer[100];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, end.ec == std::errc{} ? end.ptr : buffer);
}

/// The leading decimal number of `text` (as strtod reads it in the C locale); 0 when there is none.
float ParseCoordinate(const std::string& text) {
    const char* p = text.c_str();
    const char* end = p + text.size();
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
    if (p < end && *p == '+') ++p;
    double value = 0.0;
    if (std::from_chars(p, end, value, std::chars_format::general).ec != std::errc{}) value = 0.0;
    return static_cast<float>(value);
}

std::string FormatInt(unsigned int value) {
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, "%i", static_cast<int>(value));
    return buffer;
}

std::string PointKey(unsigned int index, int coordinate) {
    return "P" + std::to_string(index) + kCoordinateKeys[coordinate];
}

std::string ReadValue(CIniFile& ini, const char* key, const char* section, const char* path) {
    std::vector<char> buffer(ini.LoadValue(key, section, path));
    ini.GetValueData(buffer.data());
    return std::string(buffer.data());
}

unsigned int WriteAll(const Calibration& c, const char* file) {
    if (!CIniFile::AddSection(kSpot, file)) return korvan::ResultNotPossibleNow;
    if (!CIniFile::SetValue("ScanStepSize", FormatInt(c.scanStepSize).c_str(), kSpot, file))
        return korvan::ResultNotPossibleNow;
    if (!CIniFile::AddSection(kTable, file)) return korvan::ResultNotPossibleNow;
    if (!CIniFile::SetValue("PointCNT", FormatInt(c.pointCount).c_str(), kTable, file))
        return korvan::ResultNotPossibleNow;
    for (unsigned int i = 0; i < c.pointCount; ++i) {
        const CalibrationPoint& p = c.calibrationPoints[i];
        const double values[] = {p.camera.x, p.camera.y, p.device.x, p.device.y};
        for (int k = 0; k < 4; ++k) {
            if (!CIniFile::SetValue(PointKey(i, k).c_str(), FormatCoordinate(values[k]).c_str(), kTable, file)) {
                return korvan::ResultNotPossibleNow;
            }
        }
    }
    return korvan::ResultSuccess;
}

}  // namespace

unsigned int SaveCalibrationFile(const Calibration& calibration, const char* path) {
    if (path == nullptr || *path == '\0' || calibration.pointCount > kMaxFilePoints)
        return korvan::ResultInvalidArgument;
    // The old file stays in place until the new one is complete.
    const std::string temporary = std::string(path) + ".saving";
    try {
        if (!CIniFile::Create(temporary.c_str())) return korvan::ResultInvalidArgument;
        unsigned int result = WriteAll(calibration, temporary.c_str());
        if (result == 0 && std::rename(temporary.c_str(), path) != 0) result = korvan::ResultNotPossibleNow;
        if (result != 0) std::remove(temporary.c_str());
        return result;
    } catch (const std::exception&) {
        std::remove(temporary.c_str());
        return korvan::ResultNotPossibleNow;
    }
}

unsigned int LoadCalibrationFile(Calibration& calibration, const char* path) {
    if (path == nullptr) return korvan::ResultInvalidArgument;
    try {
        CIniFile ini;
        if (!CIniFile::SectionExists(kSpot, path)) return korvan::ResultNotPossibleNow;
        std::string step = ReadValue(ini, "ScanStepSize", kSpot, path);
        if (step.empty()) return korvan::ResultNotPossibleNow;
        // Saving writes the step size as a signed int, so a larger value could not be read back;
        // one that does not even fit the field would wrap to a different step size.
        errno = 0;
        const long long stepSize = std::strtoll(step.c_str(), nullptr, 10);
        if (errno == ERANGE || stepSize < 1 || stepSize > INT_MAX) return korvan::ResultNotPossibleNow;
        calibration.scanStepSize = static_cast<unsigned int>(stepSize);

        if (!CIniFile::SectionExists(kTable, path)) return korvan::ResultNotPossibleNow;
        std::string count = ReadValue(ini, "PointCNT", kTable, path);
        if (count.empty()) return korvan::ResultNotPossibleNow;
        long points = std::strtol(count.c_str(), nullptr, 10);
        // A file names at most 100 points; a larger count cannot describe its own keys.
        if (points < 0 || points > static_cast<long>(kMaxFilePoints)) return korvan::ResultInvalidArgument;
        unsigned int result = calibration.Init(static_cast<unsigned int>(points));
        if (result != 0) return result;

        for (unsigned int i = 0; i < calibration.pointCount; ++i) {
            float v[4];
            for (int k = 0; k < 4; ++k) {
                v[k] = ParseCoordinate(ReadValue(ini, PointKey(i, k).c_str(), kTable, path));
            }
            calibration.calibrationPoints[i] = CalibrationPoint(Vector2f(v[0], v[1]), Vector2f(v[2], v[3]));
        }
        return korvan::ResultSuccess;
    } catch (const std::exception&) {
        return korvan::ResultNotPossibleNow;
    }
}

}  // namespace korvan::detail
