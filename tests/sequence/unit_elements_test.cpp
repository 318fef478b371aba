// The element classes: construction rules, owned arrays, and which elements light a laser.
#include <korvan/sequence/sequence_elements.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

TEST(SequenceElements, ConstructionRules) {
    for (unsigned char given : {0, 1, 2, 7}) EXPECT_EQ(SequenceJump(100, 3, given).counter, given < 2 ? 2 : given);
    const SequenceJump jump(100, 3, 5);
    EXPECT_EQ(jump.repeatCount, 3u);
    EXPECT_EQ(jump.targetTick, 100u);

    const SequenceEllipse fromRect(tagRECT{10, 20, 30, 60}, 0), fromSize(10, 20, 20, 40, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(fromRect.corners[i].x, fromSize.corners[i].x);
        EXPECT_EQ(fromRect.corners[i].y, fromSize.corners[i].y);
    }
    EXPECT_EQ(fromRect.corners[2].y, 60.0);
    EXPECT_EQ(fromRect.fillPath, 0u);

    const SequencePoint point(1.5, 2.5);
    for (unsigned int flag :
         {point.useCalibration, point.switchLaserOn, point.setIntensity, point.switchLaserOff, point.waitForMirror})
        EXPECT_EQ(flag, 1u);
    const SequenceSetAnalog analog(LaserOutput3, 1234);
    EXPECT_EQ(analog.intensities[0], 1234u);
    EXPECT_EQ(analog.startTick, 0u);
}

TEST(SequenceElements, ListsAreEmptyForNullOrZeroCount) {
    IntensityStamp stamps[] = {{0, 100}, {4, 200}};
    for (SequencePoint p : {SequencePoint(0, 0, stamps, 0), SequencePoint(0, 0, nullptr, 2)}) {
        unsigned int count = 99;
        EXPECT_EQ(p.GetIntensityList(&count), nullptr);
        EXPECT_EQ(count, 0u);
    }
    RPOINTF points[] = {{1.0, 2.0}};
    SequencePolygon none(points, 0, 0);
    unsigned int count = 99;
    EXPECT_EQ(none.GetPolygonPoints(&count), nullptr);
    EXPECT_EQ(count, 0u);
}

TEST(SequenceElements, CopiesOwnTheirArrays) {
    IntensityStamp stamps[] = {{0, 100}, {4, 200}};
    SequencePoint source(1, 2, stamps, 2);
    SequencePoint copy(source);
    SequencePoint assigned(0, 0);
    assigned = source;
    IntensityStamp other[] = {{1, 1}};
    copy.SetIntensityList(other, 1);
    assigned.intensityList[1].intensity = 999;
    EXPECT_EQ(source.intensityCount, 2u);
    EXPECT_EQ(source.intensityList[1].intensity, 200u);

    unsigned int count = 0;
    IntensityStamp* got = source.GetIntensityList(&count);
    ASSERT_EQ(count, 2u);
    got[0].intensity = 7;  // a copy: the point keeps its own
    EXPECT_EQ(source.intensityList[0].intensity, 100u);
    SequencePoint::FreeIntensityList(got);
    SequencePoint::FreeIntensityList(nullptr);

    source.SetIntensityList(source.intensityList, 1);  // from its own list
    EXPECT_EQ(source.intensityCount, 1u);
    EXPECT_EQ(source.intensityList[0].intensity, 100u);

    SequencePoint moved(std::move(source));
    EXPECT_EQ(source.intensityList, nullptr);
    EXPECT_EQ(moved.intensityCount, 1u);

    RPOINTF corners[] = {{0.0, 0.0}, {10.0, 0.0}, {10.0, 10.0}};
    SequencePolygon polygon(corners, 3, 1);
    SequencePolygon polygonCopy = polygon;
    polygonCopy.points[0].x = 55;
    EXPECT_EQ(polygon.points[0].x, 0.0);
    polygon = polygonCopy;
    EXPECT_EQ(polygon.points[0].x, 55.0);
    EXPECT_NE(polygon.points, polygonCopy.points);
}

TEST(SequenceElements, IlluminationObjects) {
    RPOINTF corners[] = {{0.0, 0.0}, {10.0, 0.0}, {10.0, 10.0}};
    std::vector<std::pair<std::unique_ptr<SequenceObject>, int>> all;
    all.emplace_back(std::make_unique<SequenceObject>(), 0);
    all.emplace_back(std::make_unique<SequencePoint>(0, 0), 1);
    all.emplace_back(std::make_unique<SequenceLine>(0, 0, 1, 1), 1);
    all.emplace_back(std::make_unique<SequenceEllipse>(corners, 0), 1);
    all.emplace_back(std::make_unique<SequencePolygon>(corners, 3, 0), 1);
    all.emplace_back(std::make_unique<SequenceJump>(0, 0, 2), 0);
    all.emplace_back(std::make_unique<SequenceSetTTL>(TTLOutput1, 1), 0);
    all.emplace_back(std::make_unique<SequencePulseTTL>(TTLOutput1), 0);
    all.emplace_back(std::make_unique<SequenceSetAnalog>(LaserOutput1, 1), 0);
    all.emplace_back(std::make_unique<SequenceWaitTTL>(Input0, Trigger1), 0);
    all.emplace_back(std::make_unique<SequenceWaitUser>(7), 0);
    for (auto& [element, expected] : all) EXPECT_EQ(element->IsIlluminationObject(), expected);
}
