#include "preview/beam_trace.h"

#include <sim/image/decoded_image.h>
#include <sim/image/executor.h>
#include <sim/image/timeline.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>

namespace preview {
namespace {

using sim::image::Event;
using sim::image::Record;

// Analog values travel as 16-bit fractions of full scale.
constexpr uint32_t kFullScale = 65535;

// The device's codes for a laser output: line 6..9, analog channel 4..7.
uint8_t LineCode(unsigned int port) { return static_cast<uint8_t>(port + 4); }
uint8_t AnalogChannel(unsigned int port) { return static_cast<uint8_t>(port + 2); }

// Largest distance (device units) of a merged step's end from the straight move that replaces
// it: a tenth of a pixel of the SVG picture, a sixteenth of a dose cell.
constexpr double kMergeTolerance = 8.0;

bool SameLight(const double (&a)[4], const double (&b)[4]) {
    return std::equal(std::begin(a), std::end(a), std::begin(b));
}

// Wraps an angle difference into -pi..pi.
double Wrap(double a) {
    constexpr double kPi = 3.14159265358979323846;
    while (a > kPi) a -= 2 * kPi;
    while (a < -kPi) a += 2 * kPi;
    return a;
}

// Turns the executor's single steps and rests into runs: a step whose end stays within
// kMergeTolerance of the straight line from the run's start (the "sleeve" test, kept as a cone of
// allowed directions, so each step costs the same) and that rests as long as the steps before it
// extends the run; the short rest after each lit step becomes the run's light.
class PathBuilder {
public:
    PathBuilder(BeamTrace* out, uint64_t stepRestUs) : out_(out), stepRestUs_(stepRestUs) {}

    void AddMove(const Move& m) {
        CommitStep();
        step_ = m;
        step_.lightUs = 0;
        step_.steps = 1;
        pending_ = true;
        attachedEndUs_ = 0;
    }

    void AddStay(const Stay& s) {
        if (pending_ && step_.litMask != 0 && s.litMask == step_.litMask && s.x == step_.x1 && s.y == step_.y1 &&
            SameLight(s.intensity, step_.intensity) && (step_.lightUs == 0 || s.startUs == attachedEndUs_) &&
            step_.lightUs + s.durationUs < stepRestUs_) {
            step_.lightUs += s.durationUs;
            attachedEndUs_ = s.startUs + s.durationUs;
            return;
        }
        // A beam that stays put across instants (a laser switched, an intensity stamp) is one stay.
        if (!out_->stays.empty()) {
            Stay& last = out_->stays.back();
            if (last.x == s.x && last.y == s.y && last.litMask == s.litMask &&
                last.startUs + last.durationUs == s.startUs && SameLight(last.intensity, s.intensity)) {
                last.durationUs += s.durationUs;
                return;
            }
        }
        out_->stays.push_back(s);
    }

    void Finish() { CommitStep(); }

private:
    void CommitStep() {
        if (!pending_) return;
        pending_ = false;
        if (runOpen_ && Extends()) return;
        out_->moves.push_back(step_);
        const double dx = step_.x1 - step_.x0, dy = step_.y1 - step_.y0;
        baseAngle_ = std::atan2(dy, dx);
        const double half = HalfCone(std::hypot(dx, dy));
        lo_ = -half;
        hi_ = half;
        runLightPerStep_ = step_.lightUs;
        runOpen_ = true;
    }

    bool Extends() {
        Move& run = out_->moves.back();
        if (run.litMask != step_.litMask || !SameLight(run.intensity, step_.intensity) || run.x1 != step_.x0 ||
            run.y1 != step_.y0 || step_.lightUs != runLightPerStep_ || run.steps == UINT32_MAX)
            return false;
        const double dx = step_.x1 - run.x0, dy = step_.y1 - run.y0;
        const double length = std::hypot(dx, dy);
        if (length <= std::hypot(run.x1 - run.x0, run.y1 - run.y0)) return false;  // turned back
        const double angle = Wrap(std::atan2(dy, dx) - baseAngle_);
        if (angle < lo_ || angle > hi_) return false;
        const double half = HalfCone(length);
        lo_ = std::max(lo_, angle - half);
        hi_ = std::min(hi_, angle + half);
        run.x1 = step_.x1;
        run.y1 = step_.y1;
        run.lightUs += step_.lightUs;
        ++run.steps;
        return true;
    }

    static double HalfCone(double length) {
        return length <= kMergeTolerance ? 1.5707963267948966 : std::asin(kMergeTolerance / length);
    }

    BeamTrace* out_;
    const uint64_t stepRestUs_;
    bool pending_ = false, runOpen_ = false;
    Move step_;
    uint64_t attachedEndUs_ = 0;
    double baseAngle_ = 0, lo_ = 0, hi_ = 0;
    uint64_t runLightPerStep_ = 0;
};

class Tracer {
public:
    Tracer(const std::vector<TraceLaser>& lasers, unsigned int tickTimeUs, BeamTrace* out)
        : lasers_(lasers), lights_(lasers), tickUs_(tickTimeUs), out_(out), path_(out, 3ull * tickTimeUs) {}

    // Records arrive in time order; those sharing a time form one instant.
    void Add(const Record& r) {
        if (r.timeUs != now_) Flush(r.timeUs);
        switch (r.event) {
        case Event::MirrorX: x_ = r.value; break;
        case Event::MirrorY: y_ = r.value; break;
        case Event::Line:
            if (!lights_.Apply(r)) AddMark(r, Mark::Level);
            break;
        case Event::Analog:
            if (!lights_.Apply(r)) AddMark(r, Mark::Analog);
            break;
        case Event::Pulse: {
            // A pulsed laser shines for its pulse; counted as one tick of light where the beam is.
            const int laser = lights_.LaserOnLine(r.channel);
            if (laser < 0) {
                AddMark(r, Mark::Pulse);
                break;
            }
            Stay s = StayHere(r.timeUs, tickUs_);
            s.litMask = 1u << laser;
            path_.AddStay(s);
            break;
        }
        case Event::WaitInput:
            if (r.list != sim::image::ListId::None) AddMark(r, Mark::WaitInput);  // not the start trigger
            break;
        case Event::WaitUser: AddMark(r, Mark::WaitUser); break;
        case Event::RunEnd: out_->endUs = r.timeUs; break;
        default: break;
        }
    }

    void Finish() {
        Flush(now_);
        path_.Finish();
    }

private:
    void AddMark(const Record& r, Mark::Kind kind) {
        if (out_->marks.size() >= BeamTrace::kMaxMarks) {
            ++out_->marksDropped;
            return;
        }
        Mark m;
        m.timeUs = r.timeUs;
        m.kind = kind;
        m.channel = static_cast<uint8_t>(r.channel);
        m.value = r.value;
        out_->marks.push_back(m);
    }

    unsigned int LitMask() const { return lights_.LitMask(); }

    void SetIntensities(double (&intensity)[4]) const {
        for (size_t i = 0; i < lasers_.size() && i < 4; ++i) intensity[i] = lights_.Intensity(i);
    }

    Stay StayHere(uint64_t start, uint64_t duration) const {
        Stay s;
        s.x = x_;
        s.y = y_;
        s.startUs = start;
        s.durationUs = duration;
        SetIntensities(s.intensity);
        return s;
    }

    // Closes the instant at now_: the beam moved (if it did) and then rests until `next`.
    void Flush(uint64_t next) {
        const unsigned int lit = LitMask();
        if (x_ != shownX_ || y_ != shownY_) {
            Move m;
            m.x0 = shownX_;
            m.y0 = shownY_;
            m.x1 = x_;
            m.y1 = y_;
            m.startUs = now_;
            m.litMask = lit & litBefore_;
            SetIntensities(m.intensity);
            path_.AddMove(m);
            shownX_ = x_;
            shownY_ = y_;
        }
        if (lit != 0 && next > now_) {
            Stay s = StayHere(now_, next - now_);
            s.litMask = lit;
            path_.AddStay(s);
        }
        litBefore_ = lit;
        now_ = next;
    }

    const std::vector<TraceLaser>& lasers_;
    LaserLights lights_;
    uint64_t tickUs_;
    BeamTrace* out_;
    PathBuilder path_;
    uint64_t now_ = 0;
    uint32_t x_ = 0, y_ = 0, shownX_ = 0, shownY_ = 0;
    unsigned int litBefore_ = 0;
};

}  // namespace

LaserLights::LaserLights(const std::vector<TraceLaser>& lasers) : lasers_(lasers) {
    for (size_t i = 0; i < lasers_.size() && i < 4; ++i) {
        level_[i] = lasers_[i].offLevel;  // dark until a sequence switches it
        analog_[i] = lasers_[i].intensityControlled ? 0 : kFullScale;
    }
}

bool LaserLights::Apply(const Record& r) {
    if (r.event == Event::Line) {
        const int laser = LaserOnLine(r.channel);
        if (laser >= 0) level_[laser] = static_cast<int>(r.value);
        return laser >= 0;
    }
    if (r.event != Event::Analog) return false;
    bool laser = false;
    for (size_t i = 0; i < lasers_.size() && i < 4; ++i)
        if (lasers_[i].intensityControlled && AnalogChannel(lasers_[i].port) == r.channel) {
            analog_[i] = r.value;
            laser = true;
        }
    return laser;
}

unsigned int LaserLights::LitMask() const {
    unsigned int mask = 0;
    for (size_t i = 0; i < lasers_.size() && i < 4; ++i)
        if (level_[i] == lasers_[i].onLevel && analog_[i] > 0) mask |= 1u << i;
    return mask;
}

double LaserLights::Intensity(size_t i) const { return i < 4 ? analog_[i] / static_cast<double>(kFullScale) : 0; }

int LaserLights::LaserOnLine(unsigned int line) const {
    for (size_t i = 0; i < lasers_.size() && i < 4; ++i)
        if (LineCode(lasers_[i].port) == line) return static_cast<int>(i);
    return -1;
}

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

uint64_t LightTimeUs(const SequenceAnalysis& analysis) { return analysis.illuminationTicks * analysis.tickTime; }

BeamTrace TraceCompiled(const SequenceAnalysis& analysis, const std::vector<TraceLaser>& lasers) {
    BeamTrace trace = TraceImage(analysis.image, analysis.mainListLength, analysis.tickTime, lasers);
    trace.litUs = LightTimeUs(analysis);
    return trace;
}

}  // namespace preview
