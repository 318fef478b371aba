#pragma once
// Runs independent tasks on as many threads as the hardware offers.
#include <cstddef>
#include <functional>

namespace tessel::detail {

// Number of hardware threads; 1 when the platform cannot tell.
unsigned hardwareThreads();

// Calls task(i) for every i in [0, count) on up to hardwareThreads() threads,
// the calling thread included, and returns once all have finished. The first
// exception a task throws is rethrown here after every thread has stopped;
// tasks not yet started are then skipped.
void runConcurrently(size_t count, const std::function<void(size_t)>& task);

}  // namespace tessel::detail
