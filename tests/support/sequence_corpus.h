#pragma once
// A corpus of element arrays with the settings they compile under: hand-written arrays like the
// unit tests' (every element kind, every laser kind) and random ones from a seeded generator.
// Each case compiles to a fingerprint line (result, failed element, image bytes, per-element
// timings); tests/sequence/image_corpus.txt holds the lines of the compiler as it was when the
// corpus was written, so any change to what the compiler produces shows as a changed line.
#include <korvan/korvan.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace corpus {

struct Case {
    std::string name;
    unsigned int tickTime = 50;
    ScanMode scanMode = ScanModeDefault;
    bool allowLaserPorts = false;
    std::vector<Laser> lasers;
    std::vector<std::unique_ptr<SequenceObject>> owned;

    std::vector<SequenceObject*> Elements() const {
        std::vector<SequenceObject*> out;
        for (const auto& e : owned) out.push_back(e.get());
        return out;
    }
    // What the compiler is given for this case; the lasers stay owned by the case.
    korvan::SequenceSettings Settings() const {
        korvan::SequenceSettings s;
        s.tickTime = tickTime;
        s.scanMode = scanMode;
        s.lasers = lasers.data();
        s.laserCount = static_cast<unsigned int>(lasers.size());
        s.allowLaserPorts = allowLaserPorts;
        return s;
    }
    template <class T>
    T& Add(std::unique_ptr<T> e) {
        T& ref = *e;
        owned.push_back(std::move(e));
        return ref;
    }
};

/// 64-bit FNV-1a over bytes.
class Hash {
public:
    void Bytes(const void* data, std::size_t size) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        for (std::size_t i = 0; i < size; ++i) value_ = (value_ ^ p[i]) * 1099511628211ull;
    }
    void Number(std::uint64_t v) { Bytes(&v, sizeof v); }
    std::string Hex() const {
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value_));
        return text;
    }

private:
    std::uint64_t value_ = 14695981039346656037ull;
};

/// One compile's outcome as the corpus records it.
struct Outcome {
    unsigned int result = 0;
    int failedElement = -1;
    std::string reason;
    std::vector<std::uint8_t> image;
    unsigned int mainLength = 0;
    /// Per element: start, duration, light from the whole compile, then duration, light and result
    /// of the element timed alone.
    std::vector<std::uint64_t> timings;
};

/// Where a deliberate change to the compiler writes the new fingerprints instead of comparing
/// (KORVAN_WRITE_CORPUS=FILE; the corpus tests append their lines to FILE), or null.
inline const char* CorpusOutput() { return std::getenv("KORVAN_WRITE_CORPUS"); }

/// Appends `lines` to the file CorpusOutput names.
inline void AppendToCorpusOutput(const std::vector<std::string>& lines) {
    if (std::FILE* out = std::fopen(CorpusOutput(), "a")) {
        for (const std::string& line : lines) std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

inline std::string Fingerprint(const std::string& name, const Outcome& o) {
    Hash image, timing;
    image.Bytes(o.image.data(), o.image.size());
    for (std::uint64_t t : o.timings) timing.Number(t);
    Hash reason;
    reason.Bytes(o.reason.data(), o.reason.size());
    return name + " result=" + std::to_string(o.result) + " failed=" + std::to_string(o.failedElement) +
           " reason=" + reason.Hex() + " bytes=" + std::to_string(o.image.size()) +
           " main=" + std::to_string(o.mainLength) + " image=" + image.Hex() + " timing=" + timing.Hex();
}

inline Laser MakeLaser(unsigned int id, OutputPorts port) {
    Laser l;
    l.id = id;
    l.port = port;
    l.activeLevel = 1;
    return l;
}

/// Duration of one element compiled alone under the case's settings; the generator lays out
/// start ticks with it.
using TimeFunction = std::function<unsigned int(const Case&, SequenceObject&)>;

/// The arrays the unit tests compile, one case each.
inline std::vector<Case> HandWrittenCases() {
    std::vector<Case> cases;
    auto next = [&](const char* name) -> Case& {
        cases.emplace_back();
        cases.back().name = name;
        return cases.back();
    };
    {
        Case& c = next("point-plain");
        c.lasers.push_back(MakeLaser(1, LaserOutput1));
        auto& p = c.Add(std::make_unique<SequencePoint>(1000, 2000));
        p.laserIds[0] = 1;
        p.repeatCount = 2;
    }
    {
        Case& c = next("point-stamps-intensity");
        Laser l = MakeLaser(1, LaserOutput1);
        l.minIntensity = 1000;
        l.maxIntensity = 9000;
        l.switchOnDelay = 120;
        l.switchOffDelay = 300;
        l.intensityDelay = 80;
        c.lasers.push_back(l);
        IntensityStamp stamps[] = {{0, 2000}, {40, 8000}, {90, 0}};
        auto& p = c.Add(std::make_unique<SequencePoint>(30000, 31000, stamps, 3));
        p.laserIds[0] = 1;
        p.intensities[0] = 5000;
        p.repeatCount = 120;
    }
    {
        Case& c = next("point-active-low-warmup");
        Laser l = MakeLaser(1, LaserOutput3);
        l.activeLevel = 0;
        l.warmUpTime = 1000;
        c.lasers.push_back(l);
        auto& p = c.Add(std::make_unique<SequencePoint>(5, 65535));
        p.laserIds[0] = 1;
        p.switchLaserOff = 0;
    }
    {
        Case& c = next("pulsed-point-and-line");
        Laser l = MakeLaser(1, LaserOutput2);
        l.pulseFrequency = 5000;
        l.warmUpTime = 700;
        c.lasers.push_back(l);
        auto& p = c.Add(std::make_unique<SequencePoint>(100, 100));
        p.laserIds[0] = 1;
        p.repeatCount = 5;
        auto& line = c.Add(std::make_unique<SequenceLine>(0, 0, 3000, 500));
        line.laserIds[0] = 1;
        line.startTick = 2000;
    }
    {
        Case& c = next("two-lasers-line-calibrated");
        Laser a = MakeLaser(1, LaserOutput1), b = MakeLaser(2, LaserOutput2);
        a.switchOffDelay = 200;
        b.switchOffDelay = 10000;
        a.calibration->Init(9);
        for (unsigned int i = 0; i < 9; ++i)
            a.calibration->SetCalibrationPoint(
                i, RPOINTF(100.0 * (i % 3), 100.0 * (i / 3)),
                RPOINTF(1000.0 + 20000.0 * (i % 3) + 37.5 * i, 2000.0 + 19000.0 * (i / 3) - 11.25 * i));
        a.calibration->scanStepSize = 250;
        c.lasers.push_back(a);
        c.lasers.push_back(b);
        auto& line = c.Add(std::make_unique<SequenceLine>(10, 20, 190, 160));
        line.laserIds[0] = 1;
        line.laserIds[1] = 2;
        line.startTick = 1000;
    }
    {
        Case& c = next("shapes-filled");
        Laser l = MakeLaser(1, LaserOutput1);
        l.minIntensity = 0;
        l.maxIntensity = 10000;
        l.calibration->scanStepSize = 400;
        c.lasers.push_back(l);
        auto& e = c.Add(std::make_unique<SequenceEllipse>(5000, 5000, 6000, 4000, 1));
        e.laserIds[0] = 1;
        e.intensities[0] = 7000;
        auto& f = c.Add(std::make_unique<SequenceEllipse>(20000, 5000, 5000, 5000, 1));
        f.fillPath = 1;
        f.laserIds[0] = 1;
        f.startTick = 100000;
        RPOINTF poly[] = {{30000, 30000}, {40000, 31000}, {36000, 42000}, {31000, 39000}};
        auto& g = c.Add(std::make_unique<SequencePolygon>(poly, 4, 1));
        g.laserIds[0] = 1;
        g.startTick = 300000;
        auto& h = c.Add(std::make_unique<SequencePolygon>(poly, 4, 0));
        h.laserIds[0] = 1;
        h.repeatCount = 2;
        h.startTick = 600000;
    }
    {
        Case& c = next("jump-loop-and-waits");
        c.lasers.push_back(MakeLaser(1, LaserOutput1));
        auto& p = c.Add(std::make_unique<SequencePoint>(100, 200));
        p.laserIds[0] = 1;
        p.startTick = 10;
        auto& w = c.Add(std::make_unique<SequenceWaitTTL>(Input1, Trigger2));
        w.startTick = 200;
        auto& u = c.Add(std::make_unique<SequenceWaitUser>(7));
        u.startTick = 300;
        c.Add(std::make_unique<SequenceJump>(10, 3, 2)).startTick = 400;
    }
    {
        Case& c = next("outputs");
        c.lasers.push_back(MakeLaser(1, LaserOutput1));
        c.Add(std::make_unique<SequenceSetTTL>(TTLOutput1, 1)).startTick = 5;
        c.Add(std::make_unique<SequencePulseTTL>(TTLOutput2)).startTick = 5;
        c.Add(std::make_unique<SequenceSetAnalog>(LaserOutput3, 4000)).startTick = 9;
        c.Add(std::make_unique<SequenceSetTTL>(TTLOutput1, 0)).startTick = 50;
    }
    {
        Case& c = next("pulse-train-on-laser-port");
        c.allowLaserPorts = true;
        Laser l = MakeLaser(1, LaserOutput1);
        l.pulseFrequency = 1000;
        c.lasers.push_back(l);
        c.Add(std::make_unique<SequencePulseTTL>(LaserOutput1)).startTick = 20;
    }
    // Faults the checks must name.
    {
        Case& c = next("fault-overlap");
        c.lasers.push_back(MakeLaser(1, LaserOutput1));
        c.Add(std::make_unique<SequencePoint>(0, 0)).laserIds[0] = 1;
        auto& q = c.Add(std::make_unique<SequencePoint>(0, 0));
        q.laserIds[0] = 1;
        q.startTick = 3;
    }
    {
        Case& c = next("fault-unknown-laser-and-port");
        c.lasers.push_back(MakeLaser(1, LaserOutput1));
        c.Add(std::make_unique<SequencePoint>(0, 0)).laserIds[0] = 1;
        c.Add(std::make_unique<SequenceSetTTL>(LaserOutput1, 1));
        auto& r = c.Add(std::make_unique<SequenceLine>(0, 0, 10, 10));
        r.laserIds[2] = 9;
        r.startTick = 500;
    }
    {
        Case& c = next("fault-intensity-and-empty");
        c.lasers.push_back(MakeLaser(1, LaserOutput1));
        c.Add(std::make_unique<SequenceSetAnalog>(TTLOutput1, 20000));
        c.Add(std::make_unique<SequencePoint>(0, 0));
    }
    return cases;
}

/// Random cases: lasers with random delays, kinds and calibrations, random settings, and elements
/// of every kind laid out back to back (sometimes overlapping, which the checks refuse).
inline std::vector<Case> RandomCases(int count, std::uint32_t seed, const TimeFunction& time) {
    std::mt19937 random(seed);
    auto pick = [&](unsigned int n) { return static_cast<unsigned int>(random() % n); };
    const unsigned int tickTimes[] = {50, 20, 100, 7, 50};
    const OutputPorts laserPorts[] = {LaserOutput1, LaserOutput2, LaserOutput3, LaserOutput4};
    std::vector<Case> cases;
    for (int n = 0; n < count; ++n) {
        Case c;
        c.name = "random-" + std::to_string(n);
        c.tickTime = tickTimes[pick(5)];
        c.scanMode = pick(3) == 0 ? ScanModeShort : ScanModeDefault;
        c.allowLaserPorts = pick(8) == 0;
        const unsigned int laserCount = 1 + pick(4);
        for (unsigned int i = 0; i < laserCount; ++i) {
            Laser l = MakeLaser(i + 1, laserPorts[i]);
            l.switchOnDelay = pick(3) ? pick(400) : pick(20000);
            l.switchOffDelay = pick(3) ? pick(400) : pick(20000);
            l.intensityDelay = pick(300);
            if (pick(2)) {
                l.minIntensity = pick(3000);
                l.maxIntensity = l.minIntensity + pick(10001 - l.minIntensity);
            }
            if (pick(4) == 0) l.pulseFrequency = 200 + pick(40000);
            if (pick(5) == 0) l.warmUpTime = pick(3000);
            l.activeLevel = static_cast<int>(pick(4) != 0);
            l.calibration->scanStepSize = 150 + pick(900);
            if (pick(3) == 0) {
                l.calibration->Init(4);
                const double skew = pick(2000);
                for (unsigned int k = 0; k < 4; ++k)
                    l.calibration->SetCalibrationPoint(k, RPOINTF(512.0 * (k % 2), 512.0 * (k / 2)),
                                                       RPOINTF(3000.0 + 60000.0 * (k % 2) + skew * (k / 2),
                                                               2000.0 + 58000.0 * (k / 2) + 0.5 * skew * (k % 2)));
            }
            c.lasers.push_back(std::move(l));
        }
        unsigned int tick = pick(40);
        std::vector<unsigned int> starts;
        const unsigned int elementCount = 1 + pick(8);
        for (unsigned int i = 0; i < elementCount; ++i) {
            std::unique_ptr<SequenceObject> e;
            switch (pick(9)) {
            case 0:
            case 1: {
                auto p = std::make_unique<SequencePoint>(pick(65536), pick(65536));
                if (pick(3) == 0) {
                    IntensityStamp stamps[3] = {
                        {0, pick(10001)}, {5 + pick(40), pick(10001)}, {60 + pick(40), pick(10001)}};
                    p->SetIntensityList(stamps, 1 + pick(3));
                }
                p->useCalibration = pick(2);
                p->switchLaserOn = pick(6) != 0;
                p->setIntensity = pick(6) != 0;
                p->switchLaserOff = pick(2);
                p->waitForMirror = pick(2);
                e = std::move(p);
                break;
            }
            case 2: e = std::make_unique<SequenceLine>(pick(60000), pick(60000), pick(60000), pick(60000)); break;
            case 3: {
                RPOINTF corners[] = {{2000.0 + pick(40000), 2000.0 + pick(40000)}, {0, 0}, {0, 0}};
                corners[1] = RPOINTF(corners[0].x + 500 + pick(6000), corners[0].y + pick(900));
                corners[2] = RPOINTF(corners[1].x - pick(900), corners[1].y + 500 + pick(6000));
                auto el = std::make_unique<SequenceEllipse>(corners, static_cast<int>(pick(2)));
                el->fillPath = pick(2);
                e = std::move(el);
                break;
            }
            case 4: {
                const double x = 2000.0 + pick(50000), y = 2000.0 + pick(50000);
                RPOINTF poly[] = {{x, y},
                                  {x + 500 + pick(5000), y + pick(800)},
                                  {x + pick(3000), y + 500 + pick(5000)},
                                  {x - pick(1500), y + pick(3000)}};
                e = std::make_unique<SequencePolygon>(poly, 3 + pick(2), static_cast<int>(pick(2)));
                break;
            }
            case 5:
                if (!starts.empty()) {
                    e = std::make_unique<SequenceJump>(starts[pick(static_cast<unsigned>(starts.size()))], pick(3),
                                                       static_cast<unsigned char>(2 + pick(3)));
                    break;
                }
                [[fallthrough]];
            case 6:
                e = pick(2) ? std::unique_ptr<SequenceObject>(std::make_unique<SequenceWaitTTL>(
                                  static_cast<InputPorts>(pick(12) == 0 ? 2 : pick(2)), pick(2) ? Trigger1 : Trigger2))
                            : std::make_unique<SequenceWaitUser>(static_cast<unsigned short>(pick(100)));
                break;
            default: {
                const OutputPorts ports[] = {TTLOutput1, TTLOutput2, TTLOutput1, TTLOutput2, LaserOutput4};
                const OutputPorts port = ports[pick(5)];
                if (pick(3) == 0)
                    e = std::make_unique<SequenceSetAnalog>(port, static_cast<unsigned short>(pick(10100)));
                else if (pick(2))
                    e = std::make_unique<SequencePulseTTL>(port);
                else
                    e = std::make_unique<SequenceSetTTL>(port, static_cast<int>(pick(2)));
                e->startTick = pick(tick + 200);
                c.owned.push_back(std::move(e));
                continue;
            }
            }
            if (e->IsIlluminationObject()) {
                const unsigned int lasersUsed = pick(4) == 0 ? 1 + pick(laserCount) : 1;
                for (unsigned int k = 0; k < lasersUsed; ++k)
                    e->laserIds[pick(4)] = 1 + (pick(25) == 0 ? laserCount : pick(laserCount));
                for (unsigned int& intensity : e->intensities) intensity = pick(10001);
                if (pick(40) == 0) e->intensities[pick(4)] = 10001;
                e->repeatCount = pick(3);
            }
            e->startTick = tick;
            const unsigned int duration = time(c, *e);
            starts.push_back(tick);
            if (auto* j = dynamic_cast<SequenceJump*>(e.get()))
                tick += (tick - j->targetTick + duration) * j->repeatCount;
            tick += duration + (pick(10) == 0 ? 0 : pick(30));
            if (pick(40) == 0 && tick > 5) tick -= 5;  // an overlap now and then
            c.owned.push_back(std::move(e));
        }
        cases.push_back(std::move(c));
    }
    return cases;
}

}  // namespace corpus
