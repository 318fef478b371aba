#include "tools/preview/beam_trace.h"

#include <sim/image/decoded_image.h>
#include <sim/image/executor.h>
#include <sim/image/timeline.h>

#include <memory>
#include <stdexcept>

namespace tools {
namespace {

using sim::image::Event;
using sim::image::Record;

// Analog values travel as 16-bit fractions of full scale.
constexpr uint32_t kFullScale = 65535;

// The device's codes for a laser output: line 6..9, analog channel 4..7.
uint8_t LineCode(unsigned int port) { return static_cast<uint8_t>(port + 4); }
uint8_t AnalogChannel(unsigned int port) { return static_cast<uint8_t>(port + 2); }

class Tracer {
public:
    Tracer(const std::vector<TraceLaser>& lasers, unsigned int tickTimeUs, BeamTrace* out)
        : lasers_(lasers), tickUs_(tickTimeUs), out_(out) {
        for (size_t i = 0; i < lasers_.size() && i < 4; ++i) {
            level_[i] = lasers_[i].offLevel;  // dark until a sequence switches it
            analog_[i] = lasers_[i].intensityControlled ? 0 : kFullScale;
        }
    }

    // Records arrive in time order; those sharing a time form one instant.
    void Add(const Record& r) {
        if (r.timeUs != now_) Flush(r.timeUs);
        switch (r.event) {
        case Event::MirrorX: x_ = r.value; break;
        case Event::MirrorY: y_ = r.value; break;
        case Event::Line:
            for (size_t i = 0; i < lasers_.size(); ++i)
                if (LineCode(lasers_[i].port) == r.channel) level_[i] = static_cast<int>(r.value);
            break;
        case Event::Analog:
            for (size_t i = 0; i < lasers_.size(); ++i)
                if (lasers_[i].intensityControlled && AnalogChannel(lasers_[i].port) == r.channel) analog_[i] = r.value;
            break;
        case Event::Pulse:
            // A pulsed laser shines for its pulse; counted as one tick of light where the beam is.
            for (size_t i = 0; i < lasers_.size(); ++i)
                if (LineCode(lasers_[i].port) == r.channel) {
                    Stay s = StayHere(r.timeUs, tickUs_);
                    s.litMask = 1u << i;
                    s.intensity[i] = analog_[i] / static_cast<double>(kFullScale);
                    Emit(s);
                }
            break;
        case Event::RunEnd: out_->endUs = r.timeUs; break;
        default: break;
        }
    }

    void Finish() { Flush(now_); }

private:
    unsigned int LitMask() const {
        unsigned int mask = 0;
        for (size_t i = 0; i < lasers_.size(); ++i)
            if (level_[i] == lasers_[i].onLevel && analog_[i] > 0) mask |= 1u << i;
        return mask;
    }

    Stay StayHere(uint64_t start, uint64_t duration) const {
        Stay s;
        s.x = x_;
        s.y = y_;
        s.startUs = start;
        s.durationUs = duration;
        for (size_t i = 0; i < lasers_.size(); ++i) s.intensity[i] = analog_[i] / static_cast<double>(kFullScale);
        return s;
    }

    void Emit(const Stay& s) {
        out_->litUs += s.durationUs;
        // A beam that stays put across instants (a laser switched, an intensity stamp) is one stay.
        if (!out_->stays.empty()) {
            Stay& last = out_->stays.back();
            if (last.x == s.x && last.y == s.y && last.litMask == s.litMask &&
                last.startUs + last.durationUs == s.startUs &&
                std::equal(std::begin(last.intensity), std::end(last.intensity), std::begin(s.intensity))) {
                last.durationUs += s.durationUs;
                return;
            }
        }
        out_->stays.push_back(s);
    }

    // Closes the instant at now_: the beam moved (if it did) and then rests until `next`.
    void Flush(uint64_t next) {
        const unsigned int lit = LitMask();
        if (x_ != shownX_ || y_ != shownY_) {
            Move m{static_cast<double>(shownX_), static_cast<double>(shownY_), static_cast<double>(x_),
                   static_cast<double>(y_)};
            m.litMask = lit & litBefore_;
            for (size_t i = 0; i < lasers_.size(); ++i) m.intensity[i] = analog_[i] / static_cast<double>(kFullScale);
            out_->moves.push_back(m);
            shownX_ = x_;
            shownY_ = y_;
        }
        if (lit != 0 && next > now_) {
            Stay s = StayHere(now_, next - now_);
            s.litMask = lit;
            Emit(s);
        }
        litBefore_ = lit;
        now_ = next;
    }

    const std::vector<TraceLaser>& lasers_;
    uint64_t tickUs_;
    BeamTrace* out_;
    uint64_t now_ = 0;
    uint32_t x_ = 0, y_ = 0, shownX_ = 0, shownY_ = 0;
    int level_[4] = {0, 0, 0, 0};
    uint32_t analog_[4] = {0, 0, 0, 0};
    unsigned int litBefore_ = 0;
};

}  // namespace

BeamTrace TraceImage(const std::vector<uint8_t>& image, unsigned int mainLength, unsigned int tickTimeUs,
                     const std::vector<TraceLaser>& lasers, uint64_t maxSlots) {
    sim::image::DecodeResult decoded = sim::image::DecodeImage(image.data(), image.size(), mainLength);
    if (!decoded.Ok()) throw std::runtime_error("the compiled image does not decode: " + decoded.error);
    auto shared = std::make_shared<const sim::image::DecodedImage>(std::move(decoded.image));
    sim::image::StartParams params;
    params.runs = 1;
    params.tickTimeUs = tickTimeUs;
    sim::image::Timeline timeline;
    sim::image::Executor executor(shared, params, &timeline);
    BeamTrace trace;
    Tracer tracer(lasers, tickTimeUs, &trace);
    constexpr size_t kChunk = 65536;  // slots between hand-overs, so the timeline stays small
    Record lastWait;
    while (executor.GetPhase() != sim::image::Phase::Ended) {
        const bool more = executor.Advance(UINT64_MAX, kChunk);
        for (const Record& r : timeline.Records()) {
            if (r.event == Event::WaitInput) lastWait = r;
            tracer.Add(r);
        }
        timeline.Clear();
        trace.slots += kChunk;  // an upper bound until the last chunk; corrected below
        const auto phase = executor.GetPhase();
        if (phase == sim::image::Phase::WaitingInput || phase == sim::image::Phase::Armed) {
            executor.SetInput(lastWait.channel & 3, lastWait.value != 2, executor.NowUs());
            ++trace.waitsReleased;
        } else if (phase == sim::image::Phase::WaitingUser) {
            executor.AcknowledgeUser(executor.NowUs());
            ++trace.waitsReleased;
        } else if (!more && phase == sim::image::Phase::Running) {
            break;  // nothing due: cannot happen with a finite image, but never spin
        }
        if (trace.slots >= maxSlots && executor.GetPhase() != sim::image::Phase::Ended) {
            trace.truncated = true;
            break;
        }
    }
    for (const Record& r : timeline.Records()) tracer.Add(r);
    tracer.Finish();
    if (trace.endUs == 0) trace.endUs = executor.NowUs();
    return trace;
}

}  // namespace tools
