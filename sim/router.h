#pragma once
// Hands the host's pending bytes to the responders and turns their replies into what goes back on
// the line, with the reply faults of the device's fault plan applied (see fault.h).
//
// Responders are asked in their order, the last one (the bootloader) last; see responder.h. The
// router knows them only as Responders: what a protocol is and what it keeps is its own business.
// Not locked itself: it runs under the device's lock.
#include <sim/outgoing.h>
#include <sim/responder.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class Router {
public:
    // What one offer of the pending bytes came to.
    enum class Routed {
        Incomplete,  // a request has begun: wait for more bytes
        Unclaimed,   // no responder took the first byte; it was dropped
        Answered,    // a request was consumed (its reply, if any, is in `out`)
        LineGone,    // a fault drops the line instead of replying
    };

    // `last` is asked after every other responder.
    explicit Router(std::unique_ptr<Responder> last);

    // Adds a responder before the last one and after those added earlier.
    void Add(std::unique_ptr<Responder> responder);
    const std::vector<std::unique_ptr<Responder>>& Responders() const { return responders_; }

    // Offers `pending` (not empty) to the responders and removes what one of them consumed.
    Routed Route(std::vector<uint8_t>& pending, SimState& state, std::vector<Outgoing>& out);

    // True while a responder is in the middle of a transfer of several parts.
    bool HoldsLine() const;
    // Pending input went stale: every responder forgets its half request.
    void Reset();
    // Lets every responder run what is due; the wall-clock ms until the earliest is due again,
    // 0 for at once, -1 when none has anything scheduled.
    int Advance();
    // The device starts or stops answering (see Responder::OnStart and OnStop).
    bool Start(std::string* error);
    void Stop();

    size_t UnclaimedBytes() const { return unclaimed_; }

private:
    Responder* Holder() const;

    std::vector<std::unique_ptr<Responder>> responders_;  // the last one stays last
    size_t unclaimed_ = 0;
};

}  // namespace sim
