// The short form of the soak benchmark (bench/soak_bench.cpp): a few hundred cycles of upload,
// start, wait and delete with fragmented and defragmented device memory; every operation works
// and no file descriptor is left behind.
#include "support/soak_cycle.h"

#include <gtest/gtest.h>

TEST(Soak, CyclesWorkDefragmentAndLeaveNoDescriptorBehind) {
    soak::Soak soak;
    ASSERT_TRUE(soak.Start()) << soak.Error();
    soak::Counts counts;
    for (int i = 0; i < 20; ++i) soak.Cycle(counts, 10);  // warm-up
    const int fds = soak::OpenFds();
    for (int i = 0; i < 100; ++i) soak.Cycle(counts, 10);
    EXPECT_EQ(counts.failures, 0u) << counts.firstFailure;
    EXPECT_EQ(counts.defragmentations, 12u);  // one per 10th cycle, warm-up included
    EXPECT_EQ(soak::OpenFds(), fds);
    EXPECT_EQ(soak.Virtual().WithResponder<sim::DeviceResponder>(
                  [](sim::DeviceResponder* r) { return r ? r->Model().memory.Stored().size() : 99u; }),
              0u);
}
