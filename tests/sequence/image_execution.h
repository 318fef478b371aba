#pragma once
// Runs a compiled image through the virtual device's executor without a line or a device, every
// wait released the moment it begins, so that device time is tick x tick time outside loops; and
// reads the laser lines' levels back from the executed timeline.
#include <korvan/korvan.h>
#include <sim/image/executor.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace sequencetest {

/// The timeline of one run of `analysis`'s image, or nothing when the run does not end within
/// `maxSlots` slots (loops sharing a counter can run forever, on the device too). A test failure
/// when the device refuses the image.
inline std::optional<std::vector<sim::image::Record>> ExecuteImage(const SequenceAnalysis& analysis,
                                                                   std::size_t maxSlots = 2000000) {
    sim::image::DecodeResult decoded =
        sim::image::DecodeImage(analysis.image.data(), analysis.image.size(), analysis.mainListLength);
    EXPECT_TRUE(decoded.Ok()) << decoded.error;
    if (!decoded.Ok()) return std::nullopt;
    auto image = std::make_shared<const sim::image::DecodedImage>(std::move(decoded.image));
    sim::image::StartParams params;
    params.tickTimeUs = analysis.tickTime;
    sim::image::Timeline timeline;
    sim::image::Executor executor(image, params, &timeline);
    using sim::image::Phase;
    for (std::size_t slots = 0; executor.GetPhase() != Phase::Ended && slots < maxSlots; ++slots) {
        const std::uint64_t now = executor.NowUs();
        if (executor.GetPhase() == Phase::WaitingUser) {
            executor.AcknowledgeUser(now);
        } else if (executor.GetPhase() == Phase::WaitingInput) {
            for (int port = 0; port < 4 && executor.GetPhase() == Phase::WaitingInput; ++port)
                for (bool high : {true, false})
                    if (executor.GetPhase() == Phase::WaitingInput) executor.SetInput(port, high, now);
        } else if (auto due = executor.NextDueUs()) {
            executor.Advance(*due, 1);
        }
    }
    if (executor.GetPhase() != Phase::Ended) return std::nullopt;
    EXPECT_EQ(timeline.Dropped(), 0u);
    return timeline.Records();
}

/// One stretch of time during which a digital line was at its on level: [fromUs, toUs).
struct LitSpan {
    std::uint64_t fromUs = 0, toUs = 0;
};

/// The spans during which line `line` was at `onLevel`, in order; a line never set rests dark. A
/// span still open at the end runs to UINT64_MAX.
inline std::vector<LitSpan> LitSpans(const std::vector<sim::image::Record>& records, std::uint16_t line,
                                     std::uint32_t onLevel) {
    std::vector<LitSpan> spans;
    bool on = false;
    for (const auto& r : records) {
        if (r.event != sim::image::Event::Line || r.channel != line) continue;
        const bool now = r.value == onLevel;
        if (now && !on) spans.push_back({r.timeUs, UINT64_MAX});
        if (!now && on) spans.back().toUs = r.timeUs;
        on = now;
    }
    return spans;
}

/// The digital line code of a laser output (LaserOutput1..4).
inline std::uint16_t LineOf(OutputPorts port) { return static_cast<std::uint16_t>(port - LaserOutput1 + 6); }

}  // namespace sequencetest
