#include <korvan/calibration/detail/calibration_file.h>

#include <korvan/calibration/calibration.h>
#include <korvan/calibration/detail/coordinate_rules.h>
#include <korvan/device/result_codes.h>
#include <tessel/config/ini_file.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
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

/// A coordinate as the file holds it: optional blanks and sign, then a decimal number whose
/// separator is a point or, as a program in a decimal-comma locale writes it, one comma; nothing
/// may follow but blanks. Nothing when the text is not such a number or not finite.
std::optional<double> ParseCoordinate(std::string text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.back())) text.pop_back();
    std::size_t from = 0;
    while (from < text.size() && blank(text[from])) ++from;
    const bool plus = from < text.size() && text[from] == '+';
    if (plus) ++from;
    const std::size_t comma = text.find(',', from);
    if (comma != std::string::npos) {
        // One comma and no point: a decimal comma. Anything else is a list or a grouping.
        if (text.find(',', comma + 1) != std::string::npos || text.find('.', from) != std::string::npos)
            return std::nullopt;
        text[comma] = '.';
    }
    const char* first = text.data() + from;
    const char* last = text.data() + text.size();
    // from_chars also reads "inf" and "nan", which the finiteness check below refuses.
    if (first == last || *first == '+' || (plus && *first == '-')) return std::nullopt;
    double value = 0.0;
    const auto parsed = std::from_chars(first, last, value, std::chars_format::general);
    if (parsed.ec != std::errc{} || parsed.ptr != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string FormatInt(unsigned int value) {
    char buffer[100];
    std::snprintf(buffer, sizeof buffer, "%i", static_cast<int>(value));
    return buffer;
}

std::string PointKey(unsigned int index, int coordinate) {
    return "P" + std::to_string(index) + kCoordinateKeys[coordinate];
}

/// Why `path` cannot be read, or "" when it can.
std::string Unreadable(const std::string& path) {
    std::error_code error;
    const auto status = std::filesystem::status(std::filesystem::u8path(path), error);
    if (status.type() == std::filesystem::file_type::not_found) return "no such file";
    if (status.type() == std::filesystem::file_type::directory) return "it is a directory";
    if (!std::ifstream(std::filesystem::u8path(path)).is_open()) return "it cannot be opened";
    return "";
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
        // std::rename refuses an existing target on Windows; the filesystem call replaces it there too.
        std::error_code renameError;
        if (result == 0)
            std::filesystem::rename(std::filesystem::u8path(temporary), std::filesystem::u8path(path), renameError);
        if (result == 0 && renameError) result = korvan::ResultNotPossibleNow;
        if (result != 0) std::remove(temporary.c_str());
        return result;
    } catch (const std::exception&) {
        std::remove(temporary.c_str());
        return korvan::ResultNotPossibleNow;
    }
}

unsigned int LoadCalibrationFile(Calibration& calibration, const char* path, std::string* reason) {
    std::string unused;
    std::string& why = reason != nullptr ? *reason : unused;
    if (path == nullptr) {
        why = "no calibration file named";
        return korvan::ResultInvalidArgument;
    }
    const std::string name = path;
    const auto fail = [&](unsigned int result, const std::string& text) {
        why = text;
        return result;
    };
    const auto fault = [&](const std::string& text) {
        return fail(korvan::ResultNotPossibleNow, "calibration file " + name + ": " + text);
    };
    // The INI store reads a file it cannot open as one without sections; say what really happened.
    if (std::string cannot = Unreadable(name); !cannot.empty())
        return fail(korvan::ResultNotPossibleNow, "cannot read calibration file " + name + ": " + cannot);
    try {
        // Into a table of its own, so that a refused file leaves the caller's table in force.
        Calibration loaded;
        CIniFile ini;
        if (!CIniFile::SectionExists(kSpot, path)) return fault("the section [Spot] is missing");
        std::string step = ReadValue(ini, "ScanStepSize", kSpot, path);
        if (step.empty()) return fault("ScanStepSize is missing");
        // Saving writes the step size as a signed int, so a larger value could not be read back;
        // one that does not even fit the field would wrap to a different step size.
        errno = 0;
        const long long stepSize = std::strtoll(step.c_str(), nullptr, 10);
        if (errno == ERANGE || stepSize < 1 || stepSize > INT_MAX)
            return fault("ScanStepSize=" + step + " is not a step size from 1 to " + std::to_string(INT_MAX));
        loaded.scanStepSize = static_cast<unsigned int>(stepSize);

        if (!CIniFile::SectionExists(kTable, path)) return fault("the section [Calibration] is missing");
        std::string count = ReadValue(ini, "PointCNT", kTable, path);
        if (count.empty()) return fault("PointCNT is missing");
        long points = std::strtol(count.c_str(), nullptr, 10);
        // A file names at most 100 points; a larger count cannot describe its own keys.
        if (points < 0 || points > static_cast<long>(kMaxFilePoints) ||
            loaded.Init(static_cast<unsigned int>(points)) != 0)
            return fail(korvan::ResultInvalidArgument,
                        "calibration file " + name + ": PointCNT=" + count +
                            " is not a point count (3, or a square 4, 9, 16 ... up to 100)");

        for (unsigned int i = 0; i < loaded.pointCount; ++i) {
            double v[4];
            for (int k = 0; k < 4; ++k) {
                const std::string key = PointKey(i, k);
                const std::string text = ReadValue(ini, key.c_str(), kTable, path);
                // A missing point once read as 0 and sent its whole region to the mirror's corner.
                if (text.empty()) return fault(key + " is missing");
                const std::optional<double> value = ParseCoordinate(text);
                if (!value) return fault(key + "=" + text + " is not a number");
                const bool device = k >= 2;
                if (device ? !IsDeviceCoordinate(*value) : !IsCameraCoordinate(*value))
                    return fault(key + "=" + text +
                                 (device ? " lies outside the device range 0..65535" : " is a negative camera pixel"));
                v[k] = *value;
            }
            loaded.calibrationPoints[i] =
                CalibrationPoint(Vector2f(static_cast<float>(v[0]), static_cast<float>(v[1])),
                                 Vector2f(static_cast<float>(v[2]), static_cast<float>(v[3])));
        }
        calibration = loaded;
        return korvan::ResultSuccess;
    } catch (const std::exception& e) {
        return fault(std::string("cannot be read as an INI file (") + e.what() + ")");
    }
}

}  // namespace korvan::detail

namespace korvan {

unsigned int LoadCalibrationFile(Calibration& calibration, const char* path, std::string* reason) {
    return detail::LoadCalibrationFile(calibration, path, reason);
}

}  // namespace korvan
