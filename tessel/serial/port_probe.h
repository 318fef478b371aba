#pragma once
// Listing serial ports and asking many of them at once. A silent port costs a whole reply time-out (and more when
// the fast rates are tried too), so discovery asks the ports side by side: it then costs about
// one probe whatever the number of ports, while the results keep the enumeration's order.
#include <tessel/serial/rs232.h>

#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <type_traits>
#include <vector>

namespace tessel {

/// The ports `enumerator` lists (RS232::GetSpecificCOMPorts), in its order, as strings.
inline std::vector<std::string> PortNames(RS232& enumerator) {
    char** names = nullptr;
    int count = 0;
    enumerator.GetSpecificCOMPorts(&names, &count);
    std::vector<std::string> list;
    for (int i = 0; i < count; ++i) {
        list.emplace_back(names[i]);
        enumerator.FreeRS232Memory(names[i]);
    }
    if (names != nullptr) enumerator.FreeRS232Memory(names);
    return list;
}

/// The most ports asked at the same time; each probe holds a thread and an open port.
inline constexpr std::size_t kMaxConcurrentProbes = 16;

/// Calls `probe(name)` for every entry of `names`, at most kMaxConcurrentProbes at a time, and
/// returns the results in the order of `names`. `probe` is called from several threads at once
/// (each call for a different port) and must be safe for that; its result type must be default
/// constructible and movable. The first exception a probe throws is thrown again here once
/// every probe has ended.
template <typename Probe>
auto ProbeEach(const std::vector<std::string>& names, Probe probe)
    -> std::vector<std::decay_t<decltype(probe(std::declval<const std::string&>()))>> {
    using Result = std::decay_t<decltype(probe(std::declval<const std::string&>()))>;
    std::vector<Result> results(names.size());
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto work = [&] {
        for (std::size_t i = next++; i < names.size(); i = next++) {
            try {
                results[i] = probe(names[i]);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureMutex);
                if (!failure) failure = std::current_exception();
            }
        }
    };
    const std::size_t helpers = names.size() < kMaxConcurrentProbes ? names.size() : kMaxConcurrentProbes;
    std::vector<std::thread> threads;
    // The calling thread probes too, so one port needs no extra thread.
    for (std::size_t t = 1; t < helpers; ++t) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // fewer threads only make it slower
        }
    }
    work();
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);
    return results;
}

}  // namespace tessel
