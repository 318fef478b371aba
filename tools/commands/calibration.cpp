// korvan calibration check FILE.ini: how good a laser's calibration table is, before it is used.
#include "tools/commands/command.h"
#include "tools/report.h"

#include <korvan/calibration/calibration_quality.h>
#include <korvan/korvan.h>

#include <cstdio>

namespace tools {
namespace {

struct Options {
    std::string file;
    bool json = false;
};

int Check(const Options& o) {
    Calibration calibration;
    std::string why;
    if (korvan::LoadCalibrationFile(calibration, o.file.c_str(), &why) != 0) throw UsageError(why);
    const CalibrationQuality q = AssessCalibration(calibration);
    if (q.result != 0) throw UsageError(o.file + " holds no usable grid");
    const bool sound = q.LooksSound();
    if (o.json) {
        nlohmann::json points = nlohmann::json::array();
        for (const CalibrationPointQuality& p : q.points)
            points.push_back({{"leaveOneOutDevice", p.leaveOneOutDevice},
                              {"leaveOneOutPixels", p.leaveOneOutPixels},
                              {"affineDeviation", p.affineDeviation},
                              {"inFoldedCell", p.inFoldedCell}});
        PrintJson({{"ok", true},
                   {"file", o.file},
                   {"looksSound", sound},
                   {"pointCount", q.pointCount},
                   {"gridSize", q.gridSize},
                   {"gridSpacing", q.gridSpacing},
                   {"gridSpacingPixels", q.gridSpacingPixels},
                   {"leaveOneOutMean", q.leaveOneOutMean},
                   {"leaveOneOutMax", q.leaveOneOutMax},
                   {"leaveOneOutMeanPixels", q.leaveOneOutMeanPixels},
                   {"leaveOneOutMaxPixels", q.leaveOneOutMaxPixels},
                   {"worstPoint", q.worstPoint},
                   {"scaleX", q.scaleX},
                   {"scaleY", q.scaleY},
                   {"rotationDegrees", q.rotationDegrees},
                   {"skewDegrees", q.skewDegrees},
                   {"mirrored", q.mirrored},
                   {"affineMaxDeviation", q.affineMaxDeviation},
                   {"affineWorstPoint", q.affineWorstPoint},
                   {"foldedCells", q.foldedCells},
                   {"points", points}});
    } else {
        std::printf("%s: %u points", o.file.c_str(), q.pointCount);
        if (q.gridSize)
            std::printf(" (%u x %u grid, spacing %.0f device units = %.1f pixels)", q.gridSize, q.gridSize,
                        q.gridSpacing, q.gridSpacingPixels);
        std::printf("\n");
        if (q.worstPoint >= 0)
            std::printf(
                "  leave-one-out error: mean %.1f, max %.1f device units (%.2f / %.2f pixels), worst at point %d\n",
                q.leaveOneOutMean, q.leaveOneOutMax, q.leaveOneOutMeanPixels, q.leaveOneOutMaxPixels, q.worstPoint);
        std::printf("  affine fit: %.2f x %.2f device units per pixel, rotated %.2f deg, skew %.2f deg%s\n", q.scaleX,
                    q.scaleY, q.rotationDegrees, q.skewDegrees, q.mirrored ? ", mirrored" : "");
        std::printf("  largest bend from it: %.1f device units (%.2f pixels) at point %d\n", q.affineMaxDeviation,
                    q.affineMaxDeviationPixels, q.affineWorstPoint);
        std::printf("  folded cells: %zu", q.foldedCells.size());
        for (unsigned int c : q.foldedCells) std::printf(" [%u]", c);
        std::printf("\n%s\n", sound ? "looks sound" : "DOES NOT LOOK SOUND: record it again or check its worst point");
    }
    // A table that fails the verdict is bad input for the run that would use it.
    return sound ? kExitDone : kExitUsage;
}

std::function<int()> Setup(CLI::App& app) {
    auto o = std::make_shared<Options>();
    app.require_subcommand(1);
    CLI::App* check = app.add_subcommand("check",
                                         "Assess a calibration file: leave-one-out errors, the affine "
                                         "fit and folded cells, with a verdict.");
    check->add_option("FILE", o->file, "calibration file (INI, as SaveCalibration writes it)")->required();
    check->add_flag("--json", o->json, "print the report as JSON");
    return [o, check] {
        if (!check->parsed()) return kExitUsage;
        return Guarded("calibration check", o->file, o->json, [o] { return Check(*o); });
    };
}

}  // namespace

const Command kCalibrationCommand = {"calibration",
                                     "Calibration tables: `calibration check FILE.ini` reports their quality.", Setup};

}  // namespace tools
