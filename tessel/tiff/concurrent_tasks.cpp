#include <tessel/tiff/detail/concurrent_tasks.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tessel::detail {

unsigned hardwareThreads() { return std::max(1u, std::thread::hardware_concurrency()); }

void runConcurrently(size_t count, const std::function<void(size_t)>& task) {
    if (count == 0) return;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr firstError;
    std::once_flag errorOnce;

    auto work = [&] {
        for (;;) {
            size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count || failed.load(std::memory_order_relaxed)) return;
            try {
                task(i);
            } catch (...) {
                std::call_once(errorOnce, [&] { firstError = std::current_exception(); });
                failed.store(true, std::memory_order_relaxed);
                return;
            }
        }
    };

    size_t helpers = std::min<size_t>(hardwareThreads(), count) - 1;
    std::vector<std::thread> threads;
    threads.reserve(helpers);
    try {
        for (size_t t = 0; t < helpers; ++t) threads.emplace_back(work);
    } catch (...) {
        // Fewer threads than hoped for: the ones that did start and this one finish the work.
    }
    work();
    for (auto& t : threads) t.join();
    if (firstError) std::rethrow_exception(firstError);
}

}  // namespace tessel::detail
