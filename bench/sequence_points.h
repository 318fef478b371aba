#pragma once
// A sequence of points one after the other, in device coordinates, on laser 1; the building block
// of the sequence benchmarks. Each point compiles to 24 image bytes: its switch-off shares a slot with the next point's
// mirrors.
#include <korvan/korvan.h>

#include <memory>
#include <vector>

struct PointSequence {
    std::vector<std::unique_ptr<SequencePoint>> points;
    std::vector<SequenceObject*> elements;

    PointSequence(std::size_t count, unsigned int laserId) {
        points.reserve(count);
        elements.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            auto p =
                std::make_unique<SequencePoint>(static_cast<double>(i % 65536), static_cast<double>((i * 7) % 65536));
            p->useCalibration = 0;
            p->laserIds[0] = laserId;
            p->startTick = static_cast<unsigned int>(i * 101);  // each point lasts 101 ticks
            elements.push_back(p.get());
            points.push_back(std::move(p));
        }
    }
    unsigned int Count() const { return static_cast<unsigned int>(elements.size()); }
};

/// Points whose image stays just below the device's 33,000,000 bytes.
inline constexpr std::size_t kPointsNearLimit = (33000000 - 12) / 24;
