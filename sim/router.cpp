// Routing of the host's requests to the responders, and the reply faults.
#include <sim/router.h>

#include <algorithm>

namespace sim {
namespace {

// Changes a reply the way `rule` says; `outgoing` takes what is not part of the reply bytes.
void ApplyFault(const FaultRule& rule, Reply& reply, Outgoing& outgoing) {
    switch (rule.kind) {
    case Fault::NoReply: reply.bytes.clear(); break;
    case Fault::WrongEcho:
        if (!reply.bytes.empty()) reply.bytes[0] = static_cast<uint8_t>(~reply.bytes[0]);
        break;
    case Fault::RefusingStatus:
        if (reply.statusIndex >= 0 && static_cast<size_t>(reply.statusIndex) < reply.bytes.size())
            reply.bytes[static_cast<size_t>(reply.statusIndex)] = 0x00;
        break;
    case Fault::ShortReply:
        if (!reply.bytes.empty()) reply.bytes.pop_back();
        break;
    case Fault::LateReply: outgoing.delayMs = rule.delayMs; break;
    case Fault::Garbage: outgoing.bytes = rule.garbage; break;
    case Fault::LineGone:
        reply.bytes.clear();
        outgoing.dropLine = true;
        break;
    }
}

}  // namespace

Router::Router(std::unique_ptr<Responder> last) { responders_.push_back(std::move(last)); }

void Router::Add(std::unique_ptr<Responder> responder) {
    responders_.insert(responders_.end() - 1, std::move(responder));
}

Responder* Router::Holder() const {
    Responder* holder = nullptr;
    for (auto& r : responders_)
        if (r->HoldsLine()) holder = r.get();
    return holder;
}

Router::Routed Router::Route(std::vector<uint8_t>& pending, SimState& state, std::vector<Outgoing>& out) {
    // A transfer in progress keeps the line: bytes that look like another protocol's are its data.
    Responder* holder = Holder();
    Reply reply;
    long consumed = Responder::kNotMine;
    for (auto& r : responders_) {
        if (holder != nullptr && r.get() != holder) continue;
        reply = Reply{};
        consumed = r->Offer(pending.data(), pending.size(), state, reply);
        if (consumed != Responder::kNotMine) break;
    }
    if (consumed == Responder::kIncomplete) return Routed::Incomplete;
    if (consumed == Responder::kNotMine) {
        ++unclaimed_;
        pending.erase(pending.begin());
        return Routed::Unclaimed;
    }
    if (reply.request == kAnyRequest) reply.request = pending[0];
    const size_t n = std::min(static_cast<size_t>(consumed), pending.size());
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(n));
    ++state.requestCounts[reply.request];

    // The request has taken effect whatever happens to its reply.
    Outgoing outgoing;
    if (auto rule = state.faults.Take(reply.request)) ApplyFault(*rule, reply, outgoing);
    outgoing.bytes.insert(outgoing.bytes.end(), reply.bytes.begin(), reply.bytes.end());
    const bool dropLine = outgoing.dropLine;
    if (!outgoing.bytes.empty() || dropLine) out.push_back(std::move(outgoing));
    return dropLine ? Routed::LineGone : Routed::Answered;
}

bool Router::HoldsLine() const {
    return std::any_of(responders_.begin(), responders_.end(), [](auto& r) { return r->HoldsLine(); });
}

void Router::Reset() {
    for (auto& r : responders_) r->Reset();
}

int Router::Advance() {
    int earliest = -1;
    for (auto& r : responders_) {
        const int due = r->Advance();
        if (due >= 0 && (earliest < 0 || due < earliest)) earliest = due;
    }
    return earliest;
}

bool Router::Start(std::string* error) {
    for (auto& r : responders_)
        if (!r->OnStart(error)) return false;
    return true;
}

void Router::Stop() {
    for (auto& r : responders_) r->OnStop();
}

}  // namespace sim
