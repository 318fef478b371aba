#pragma once
// Keeps the device's connection alive while the calling thread does long work without serial
// traffic (compiling a sequence, saving a calibration file): a second thread queries the state
// about every 500 ms. The caller must send nothing while it runs.
#include <korvan/device/detail/session.h>
#include <korvan/export.h>

#include <atomic>
#include <thread>

namespace korvan::detail {

class KORVAN_API KeepAlivePoller {
public:
    /// Starts polling `session`'s device; the session's cached state stays as its owner left it.
    explicit KeepAlivePoller(Session& session);
    /// Stops and joins, if Stop has not done so.
    ~KeepAlivePoller();
    KeepAlivePoller(const KeepAlivePoller&) = delete;
    KeepAlivePoller& operator=(const KeepAlivePoller&) = delete;

    /// Tells this poller to end and joins its thread. Returns within about one sleep of 1 ms plus
    /// at most one state query. Pollers of other objects go on.
    void Stop();

private:
    std::atomic<bool> stop_{false};  // read by the worker while the starter sets it
    std::thread worker_;
};

}  // namespace korvan::detail
