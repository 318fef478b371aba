// What the fuzz harnesses found, kept as cases of their own.
#include <korvan/device/laser.h>
#include <korvan/sequence/detail/compile_list.h>
#include <korvan/sequence/sequence_elements.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A pulsed laser whose warm-up needs more pulses than any image of the limit can hold is
// rejected before a single pulse is built: each pulse takes a slot of at least 7 bytes.
TEST(FuzzFindings, WarmUpPulsesBeyondTheImageLimitAreRejectedUpFront) {
    std::vector<Laser> lasers(1);
    lasers[0].id = 1;
    lasers[0].port = LaserOutput1;
    lasers[0].pulseFrequency = 20000;  // one pulse a tick at 50 us
    korvan::detail::BuildContext context;
    context.UseLasers(lasers);
    context.maxImageLength = 700;
    SequencePoint point(100, 100);
    point.useCalibration = 0;
    point.laserIds[0] = 1;
    SequenceObject* elements[] = {&point};
    korvan::detail::SequenceImage image;
    korvan::detail::BuildDiagnostics why;

    lasers[0].warmUpTime = 101 * 50;  // 101 pulses: 707 bytes at least
    EXPECT_EQ(korvan::detail::BuildSequenceImage(context, elements, 1, &image, &why), 3u);
    EXPECT_EQ(why.reason, "warm-up too long for any image");

    lasers[0].warmUpTime = 50 * 50;  // fits: the reason, if any, is another one
    why = {};
    korvan::detail::BuildSequenceImage(context, elements, 1, &image, &why);
    EXPECT_NE(why.reason, "warm-up too long for any image");

    // Timing does not depend on the pulses; a warm-up of millions of them times like a short one.
    lasers[0].warmUpTime = 4000000u * 50;
    context.maxImageLength = korvan::detail::kMaxImageLength;
    unsigned int duration = 0, illumination = 0;
    EXPECT_EQ(korvan::detail::TimeElement(context, point, &duration, &illumination), 0u);
    EXPECT_GT(duration, 4000000u);
}

}  // namespace
