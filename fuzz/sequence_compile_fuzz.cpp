// Element arrays built from the input through compilation, and every image the compiler produces
// through the virtual device's independent decoder: what compiles must decode, and the compiler
// must never crash or hang.
#include <korvan/calibration/calibration.h>
#include <korvan/sequence/detail/compile_list.h>
#include <korvan/sequence/sequence_elements.h>
#include <sim/image/decoded_image.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Images of a few megabytes say nothing that small ones do not, and cost the fuzzer its speed.
constexpr size_t kImageCap = 4u << 20;

Laser FuzzLaser(FuzzedDataProvider& in, unsigned int id, OutputPorts port) {
    Laser l;
    l.id = id;
    l.port = port;
    l.activeLevel = in.ConsumeBool() ? 1 : 0;
    l.switchOnDelay = in.ConsumeIntegralInRange<unsigned>(0, in.ConsumeBool() ? 1000 : 0xFFFFFFFFu);
    l.switchOffDelay = in.ConsumeIntegralInRange<unsigned>(0, 1000);
    l.intensityDelay = in.ConsumeIntegralInRange<unsigned>(0, 1000);
    l.minIntensity = in.ConsumeIntegralInRange<unsigned>(0, 10000);
    l.maxIntensity = in.ConsumeIntegralInRange<unsigned>(l.minIntensity, 10000);
    l.pulseFrequency = in.ConsumeBool() ? in.ConsumeIntegral<unsigned>() : 0;
    l.warmUpTime = in.ConsumeIntegralInRange<unsigned>(0, in.ConsumeBool() ? 2000 : 0xFFFFFFFFu);
    if (l.calibration) l.calibration->scanStepSize = in.ConsumeIntegralInRange<unsigned>(1, 70000);
    return l;
}

double Coordinate(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return in.ConsumeIntegralInRange<int>(0, 65535);
    case 1: return in.ConsumeFloatingPointInRange<double>(-100000.0, 200000.0);
    case 2: return in.ConsumeFloatingPoint<double>();  // NaN, infinities, extremes
    default: return in.ConsumeIntegralInRange<int>(0, 2000);
    }
}

RPOINTF Point(FuzzedDataProvider& in) {
    RPOINTF p;
    p.x = Coordinate(in);
    p.y = Coordinate(in);
    return p;
}

OutputPorts Port(FuzzedDataProvider& in) {
    static const OutputPorts ports[] = {NoOutput,   LaserOutput1, LaserOutput2, LaserOutput3, LaserOutput4,
                                        TTLOutput1, TTLOutput2,   MirrorY,      MirrorX};
    return ports[in.ConsumeIntegralInRange<size_t>(0, std::size(ports) - 1)];
}

std::unique_ptr<SequenceObject> Element(FuzzedDataProvider& in) {
    std::unique_ptr<SequenceObject> e;
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: {
        auto p = std::make_unique<SequencePoint>(Point(in));
        p->useCalibration = in.ConsumeBool();
        p->switchLaserOn = in.ConsumeBool();
        p->switchLaserOff = in.ConsumeBool();
        p->setIntensity = in.ConsumeBool();
        p->waitForMirror = in.ConsumeBool();
        std::vector<IntensityStamp> stamps(in.ConsumeIntegralInRange<size_t>(0, 4));
        for (auto& s : stamps)
            s = {in.ConsumeIntegralInRange<unsigned>(0, 200), in.ConsumeIntegralInRange<unsigned>(0, 10001)};
        p->SetIntensityList(stamps.data(), static_cast<unsigned>(stamps.size()));
        e = std::move(p);
        break;
    }
    case 1: {
        const RPOINTF a = Point(in), b = Point(in);
        e = std::make_unique<SequenceLine>(a, b);
        break;
    }
    case 2: {
        RPOINTF corners[3] = {Point(in), Point(in), Point(in)};
        auto el = std::make_unique<SequenceEllipse>(corners, in.ConsumeIntegralInRange<int>(0, 1));
        el->fillPath = in.ConsumeBool();
        e = std::move(el);
        break;
    }
    case 3: {
        std::vector<RPOINTF> points(in.ConsumeIntegralInRange<size_t>(0, 8));
        for (auto& p : points) p = Point(in);
        e = std::make_unique<SequencePolygon>(points.data(), static_cast<unsigned>(points.size()),
                                              in.ConsumeIntegralInRange<int>(0, 1));
        break;
    }
    case 4: {
        const unsigned target = in.ConsumeIntegralInRange<unsigned>(0, 5000);
        const unsigned repeat = in.ConsumeIntegralInRange<unsigned>(0, in.ConsumeBool() ? 10 : 0xFFFFFFFFu);
        e = std::make_unique<SequenceJump>(target, repeat, in.ConsumeIntegral<uint8_t>());
        break;
    }
    case 5:
        e = std::make_unique<SequenceWaitTTL>(static_cast<InputPorts>(in.ConsumeIntegralInRange<unsigned>(0, 4)),
                                              static_cast<TriggerBehaviour>(in.ConsumeIntegralInRange<unsigned>(0, 3)));
        break;
    case 6: e = std::make_unique<SequenceWaitUser>(in.ConsumeIntegral<uint16_t>()); break;
    case 7: {
        const OutputPorts port = Port(in);
        e = std::make_unique<SequenceSetTTL>(port, in.ConsumeIntegral<int>());
        break;
    }
    case 8: e = std::make_unique<SequencePulseTTL>(Port(in)); break;
    default: {
        const OutputPorts port = Port(in);
        e = std::make_unique<SequenceSetAnalog>(port, in.ConsumeIntegral<uint16_t>());
        break;
    }
    }
    e->startTick = in.ConsumeIntegralInRange<unsigned>(0, in.ConsumeBool() ? 5000 : 0xFFFFFFFFu);
    e->repeatCount = in.ConsumeIntegralInRange<unsigned>(0, in.ConsumeBool() ? 5 : 0xFFFFFFFFu);
    for (int i = 0; i < 4; ++i) {
        e->laserIds[i] = in.ConsumeIntegralInRange<unsigned>(0, 3);
        e->intensities[i] = in.ConsumeIntegralInRange<unsigned>(0, 10001);
    }
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<Laser> lasers;
    lasers.push_back(FuzzLaser(in, 1, LaserOutput1));
    lasers.push_back(FuzzLaser(in, 2, in.ConsumeBool() ? LaserOutput2 : LaserOutput1));

    korvan::detail::BuildContext context;
    context.UseLasers(lasers);
    context.tickTime = in.ConsumeIntegralInRange<unsigned>(1, 1000);
    context.scanLead = in.ConsumeIntegralInRange<unsigned>(0, 1000);
    context.allowLaserPorts = in.ConsumeBool();
    context.maxImageLength = kImageCap;

    std::vector<std::unique_ptr<SequenceObject>> owned;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 12);
    for (size_t i = 0; i < count; ++i) owned.push_back(Element(in));
    std::vector<SequenceObject*> elements;
    for (auto& e : owned) elements.push_back(e.get());

    korvan::detail::SequenceImage image;
    korvan::detail::BuildDiagnostics diagnostics;
    const unsigned result = korvan::detail::BuildSequenceImage(
        context, elements.data(), static_cast<unsigned>(elements.size()), &image, &diagnostics);
    for (SequenceObject* e : elements) {
        unsigned duration = 0, illumination = 0;
        korvan::detail::TimeElement(context, *e, &duration, &illumination);
    }
    if (result != 0) return 0;
    if (image.bytes.size() > kImageCap || image.mainLength > image.bytes.size()) __builtin_trap();
    const auto decoded = sim::image::DecodeImage(image.bytes.data(), image.bytes.size(), image.mainLength);
    if (!decoded.Ok()) {
        std::fprintf(stderr, "compiled image does not decode: %s\n", decoded.error.c_str());
        __builtin_trap();
    }
    return 0;
}
