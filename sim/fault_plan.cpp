#include <sim/fault_plan.h>

namespace sim {

std::optional<FaultRule> FaultPlan::Take(int request) {
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->request != kAnyRequest && it->request != request) continue;
        if (it->skip > 0) {
            --it->skip;
            return std::nullopt;
        }
        FaultRule applied = *it;
        if (it->times > 0 && --it->times == 0) rules_.erase(it);
        return applied;
    }
    return std::nullopt;
}

}  // namespace sim
