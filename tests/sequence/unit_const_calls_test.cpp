// The sequence calls and the element classes take what they only read as const: const arguments
// compile and give what the non-const ones give, and the old call forms (null pointers, 0) still
// compile without ambiguity and are refused as before.
#include <korvan/device/korvan.h>
#include <korvan/sequence/sequence_analysis.h>
#include <korvan/sequence/sequence_elements.h>

#include <support/process_state_guard.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>

namespace {

// Whether k.UploadSequence / CalcMemoryUsage / AnalyzeSequence accept an array of type A.
template <class A, class = void>
struct Uploads : std::false_type {};
template <class A>
struct Uploads<A, std::void_t<decltype(std::declval<Korvan&>().UploadSequence(std::declval<A>(), 1u, nullptr))>>
    : std::true_type {};
template <class A, class = void>
struct Measures : std::false_type {};
template <class A>
struct Measures<A, std::void_t<decltype(std::declval<Korvan&>().CalcMemoryUsage(std::declval<A>(), 1u, nullptr))>>
    : std::true_type {};
template <class A, class = void>
struct Analyzes : std::false_type {};
template <class A>
struct Analyzes<A, std::void_t<decltype(std::declval<Korvan&>().AnalyzeSequence(std::declval<A>(), 1u, nullptr))>>
    : std::true_type {};
template <class A>
constexpr bool kTakesArray = Uploads<A>::value&& Measures<A>::value&& Analyzes<A>::value;

static_assert(kTakesArray<SequenceObject**>, "the old array form");
static_assert(kTakesArray<SequenceObject* const*>, "a const array of elements");
static_assert(kTakesArray<const SequenceObject**>, "an array of const elements");
static_assert(kTakesArray<const SequenceObject* const*>, "a const array of const elements");
static_assert(kTakesArray<std::nullptr_t>, "nullptr picks one overload");
static_assert(!kTakesArray<SequencePoint**>, "a derived array is no element array (as before)");

template <class E, class = void>
struct Times : std::false_type {};
template <class E>
struct Times<E, std::void_t<decltype(std::declval<Korvan&>().GetTiming(std::declval<E>(), nullptr, nullptr))>>
    : std::true_type {};
static_assert(Times<SequencePoint&>::value && Times<const SequencePoint&>::value && Times<SequencePoint>::value,
              "GetTiming takes non-const, const and temporary elements");

static_assert(!std::is_convertible_v<int, Korvan>, "Korvan(int keepBaudRate) is explicit");
static_assert(std::is_constructible_v<Korvan, int>);

class ConstCalls : public ::testing::Test {
protected:
    void SetUp() override {
        LaserSettings settings;
        settings.maxIntensity = 0;
        ASSERT_EQ(k.AddLaser(settings, &laser), 0u);
        IntensityStamp stamps[] = {{0, 10000}, {4, 5000}};
        const RPOINTF corners[] = {{100, 100}, {900, 100}, {900, 500}};
        const RPOINTF polygon[] = {{2000, 2000}, {3000, 2000}, {2500, 3000}};
        Add(std::make_unique<SequencePoint>(RPOINTF(500, 500), stamps, 2))->repeatCount = 9;
        Add(std::make_unique<SequenceLine>(1000, 1000, 1500, 1200));
        Add(std::make_unique<SequenceEllipse>(corners, 1));
        Add(std::make_unique<SequencePolygon>(polygon, 3, 0));
        Add(std::make_unique<SequenceSetTTL>(TTLOutput1, 1), false);
        Add(std::make_unique<SequenceWaitUser>(3), false);
    }

    SequenceObject* Add(std::unique_ptr<SequenceObject> e, bool beam = true) {
        if (beam) e->laserIds[0] = laser;
        e->startTick = nextTick;
        nextTick += 20000;  // room for the filled ellipse
        elements.push_back(e.get());
        owned.push_back(std::move(e));
        return elements.back();
    }

    testsupport::ProcessStateGuard processState;
    Korvan k;
    unsigned int laser = 0;
    unsigned int nextTick = 0;
    std::vector<std::unique_ptr<SequenceObject>> owned;
    std::vector<SequenceObject*> elements;
};

// Each element's timing through a non-const reference, a const one, and for the compiled list
// through a non-const and a const array: the same numbers, the same image.
TEST_F(ConstCalls, ConstArgumentsGiveWhatNonConstOnesGive) {
    for (SequenceObject* e : elements) {
        const SequenceObject& constElement = *e;
        unsigned int duration = 0, illumination = 0, constDuration = 1, constIllumination = 1;
        const unsigned int r = k.GetTiming(*e, &duration, &illumination);
        EXPECT_EQ(k.GetTiming(constElement, &constDuration, &constIllumination), r);
        EXPECT_EQ(constDuration, duration);
        EXPECT_EQ(constIllumination, illumination);
        EXPECT_EQ(constElement.IsIlluminationObject(), e->IsIlluminationObject());
    }

    const auto count = static_cast<unsigned int>(elements.size());
    const std::vector<const SequenceObject*> constElements(elements.begin(), elements.end());
    unsigned int size = 0, constSize = 1;
    ASSERT_EQ(k.CalcMemoryUsage(elements.data(), count, &size), 0u);
    ASSERT_EQ(k.CalcMemoryUsage(constElements.data(), count, &constSize), 0u);
    EXPECT_EQ(constSize, size);
    EXPECT_GT(size, 0u);

    SequenceAnalysis analysis, constAnalysis;
    ASSERT_EQ(k.AnalyzeSequence(elements.data(), count, &analysis), 0u);
    ASSERT_EQ(k.AnalyzeSequence(constElements.data(), count, &constAnalysis), 0u);
    EXPECT_EQ(constAnalysis.image, analysis.image);
    EXPECT_EQ(constAnalysis.illuminationTicks, analysis.illuminationTicks);
    EXPECT_EQ(analysis.image.size(), size);
}

// A temporary element times as a named one: GetTiming(SequencePoint(...)) compiles now.
TEST_F(ConstCalls, TemporaryElementsCanBeTimed) {
    SequencePoint named(500, 500);
    named.laserIds[0] = laser;
    named.repeatCount = 4;
    unsigned int duration = 0, illumination = 0, tempDuration = 1, tempIllumination = 1;
    ASSERT_EQ(k.GetTiming(named, &duration, &illumination), 0u);
    ASSERT_EQ(k.GetTiming(SequencePoint(named), &tempDuration, &tempIllumination), 0u);
    EXPECT_EQ(tempDuration, duration);
    EXPECT_EQ(tempIllumination, illumination);
    EXPECT_GT(illumination, 0u);
}

// The call forms callers wrote before: null arrays given as nullptr, 0 and NULL, null user data;
// each picks its call without ambiguity and is refused with 2 (not connected: nothing is sent).
TEST_F(ConstCalls, NullArgumentsInTheOldFormsAreRefusedAsBefore) {
    unsigned short number = 0;
    unsigned int size = 0;
    SequenceAnalysis analysis;
    EXPECT_EQ(k.UploadSequence(nullptr, 1, &number), 2u);
    EXPECT_EQ(k.UploadSequence(0, 1, &number), 2u);
    EXPECT_EQ(k.UploadSequence(NULL, 1, &number), 2u);
    EXPECT_EQ(k.UploadSequence(elements.data(), 1, nullptr), 2u);
    EXPECT_EQ(k.CalcMemoryUsage(nullptr, 1, &size), 2u);
    EXPECT_EQ(k.CalcMemoryUsage(0, 1, &size), 2u);
    EXPECT_EQ(k.CalcMemoryUsage(elements.data(), 1, nullptr), 2u);
    EXPECT_EQ(k.AnalyzeSequence(nullptr, 1, &analysis), 2u);
    EXPECT_EQ(k.AnalyzeSequence(0, 1, &analysis), 2u);
    EXPECT_EQ(k.AnalyzeSequence(elements.data(), 1, nullptr), 2u);
    std::vector<SequenceObject*> withNull = {elements[0], nullptr};
    EXPECT_EQ(k.CalcMemoryUsage(withNull.data(), 2, &size), 2u) << "a null element";
    unsigned int duration = 0;
    EXPECT_EQ(k.GetTiming(*elements[0], &duration, nullptr), 2u);

    unsigned char data[4] = {1, 2, 3, 4};
    EXPECT_EQ(k.SetUserData(nullptr, 4), 2u);
    EXPECT_EQ(k.SetUserData(0, 4), 2u);
    EXPECT_EQ(k.SetUserData(data, 0), 2u);
    const unsigned char* constData = data;
    EXPECT_EQ(k.SetUserData(constData, 61), 2u);
}

// The element classes copy from const arrays and hand out copies from const elements; null
// arrays (nullptr or 0) still mean "none".
TEST(ConstElements, ConstructFromConstArraysAndReadFromConstElements) {
    const RPOINTF points[] = {{1, 2}, {3, 4}, {5, 6}};
    const IntensityStamp stamps[] = {{0, 100}, {7, 200}};
    const SequencePolygon polygon(points, 3, 1);
    const SequencePoint point(RPOINTF(9, 9), stamps, 2);
    const SequenceEllipse ellipse(points, 0);

    unsigned int count = 0;
    RPOINTF* gotPoints = polygon.GetPolygonPoints(&count);
    ASSERT_EQ(count, 3u);
    for (unsigned int i = 0; i < count; ++i) {
        EXPECT_EQ(gotPoints[i].x, points[i].x) << i;
        EXPECT_EQ(gotPoints[i].y, points[i].y) << i;
    }
    SequencePolygon::FreePolygonPoints(gotPoints);
    IntensityStamp* gotStamps = point.GetIntensityList(&count);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(gotStamps[1].time, 7u);
    EXPECT_EQ(gotStamps[1].intensity, 200u);
    SequencePoint::FreeIntensityList(gotStamps);
    EXPECT_EQ(ellipse.corners[2].x, points[2].x);
    EXPECT_EQ(ellipse.corners[2].y, points[2].y);

    struct NullForm {
        const char* what;
        SequencePolygon polygon;
        SequencePoint point;
    };
    NullForm forms[] = {
        {"nullptr", SequencePolygon(nullptr, 3, 0), SequencePoint(1, 1, nullptr, 2)},
        {"0", SequencePolygon(0, 3, 0), SequencePoint(RPOINTF(1, 1), 0, 2)},
    };
    for (NullForm& f : forms) {
        EXPECT_EQ(f.polygon.pointCount, 0u) << f.what;
        EXPECT_EQ(f.polygon.GetPolygonPoints(&count), nullptr) << f.what;
        EXPECT_EQ(f.point.intensityCount, 0u) << f.what;
        f.polygon.SetPolygonPoints(points, 2);
        EXPECT_EQ(f.polygon.pointCount, 2u) << f.what;
        f.polygon.SetPolygonPoints(nullptr, 2);
        EXPECT_EQ(f.polygon.pointCount, 0u) << f.what;
    }
    // The const query sees what the overridable one answers, for every kind through the base.
    const SequenceWaitUser wait(1);
    const SequenceObject* kinds[] = {&polygon, &point, &ellipse, &wait};
    for (const SequenceObject* e : kinds)
        EXPECT_EQ(e->IsIlluminationObject(), const_cast<SequenceObject*>(e)->IsIlluminationObject());
    EXPECT_EQ(wait.IsIlluminationObject(), 0);
    EXPECT_EQ(point.IsIlluminationObject(), 1);
}

}  // namespace
