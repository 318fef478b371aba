#pragma once
// The faults a device has been told to commit, and which request each one harms.
#include <sim/fault.h>

#include <optional>
#include <vector>

namespace sim {

// Rules in the order they were added; the first one that matches a request decides.
class FaultPlan {
public:
    void Add(const FaultRule& rule) { rules_.push_back(rule); }
    void Clear() { rules_.clear(); }
    bool Empty() const { return rules_.empty(); }
    // The rule that harms this request, if any; counts the request against skips and times.
    std::optional<FaultRule> Take(int request);

private:
    std::vector<FaultRule> rules_;
};

}  // namespace sim
