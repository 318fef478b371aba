// Sequence files read into the library's element classes, laid out in time and compiled.
#include <sequence_file/compiled_sequence.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using sequence_file::FileElement;
using sequence_file::InputError;
using sequence_file::ParseSequenceText;
using sequence_file::SequenceFile;

const char* const kLasers = R"("lasers": [ { "name": "a", "port": "laser1" },
                                           { "name": "b", "port": "laser3", "pulseFrequency": 1000 } ])";

SequenceFile Parse(const std::string& elements, const std::string& extra = "") {
    return ParseSequenceText("{ \"units\": \"device\", " + extra + kLasers + ", \"elements\": [" + elements + "] }",
                             ".");
}

template <class T>
T& Only(SequenceFile& file) {
    EXPECT_EQ(file.elements.size(), 1u);
    auto* e = dynamic_cast<T*>(file.elements.at(0).element.get());
    if (e == nullptr) throw std::runtime_error("wrong element class for " + file.elements.at(0).type);
    return *e;
}

TEST(SequenceFile, EachElementTypeFillsItsClass) {
    {
        SequenceFile f = Parse(R"({ "type": "point", "at": [100.5, 200], "laser": "a", "intensity": 2500, "repeat": 9,
                                    "switchLaserOff": false, "units": "camera",
                                    "stamps": [ { "time": 0, "intensity": 1 }, { "time": 5, "intensity": 2 } ] })");
        auto& p = Only<SequencePoint>(f);
        EXPECT_DOUBLE_EQ(p.position.x, 100.5);
        EXPECT_DOUBLE_EQ(p.position.y, 200);
        EXPECT_EQ(p.useCalibration, 1u);
        EXPECT_EQ(p.switchLaserOff, 0u);
        EXPECT_EQ(p.switchLaserOn, 1u);
        EXPECT_EQ(p.repeatCount, 9u);
        EXPECT_EQ(p.intensities[0], 2500u);
        ASSERT_EQ(p.intensityCount, 2u);
        EXPECT_EQ(p.intensityList[1].time, 5u);
        EXPECT_EQ(p.intensityList[1].intensity, 2u);
        EXPECT_EQ(f.elements[0].laserSlots[0], 0);
    }
    {
        SequenceFile f = Parse(R"({ "type": "ellipse", "rect": [10, 20, 20, 40], "fill": true, "fillPath": true,
                                    "lasers": [ { "laser": "b", "intensity": 300 }, { "laser": "a" } ] })");
        auto& e = Only<SequenceEllipse>(f);
        EXPECT_EQ(e.fill, 1);
        EXPECT_EQ(e.fillPath, 1u);
        EXPECT_DOUBLE_EQ(e.corners[2].x, 30);
        EXPECT_DOUBLE_EQ(e.corners[2].y, 60);
        EXPECT_EQ(f.elements[0].laserSlots[0], 1);
        EXPECT_EQ(f.elements[0].laserSlots[1], 0);
        EXPECT_EQ(e.intensities[0], 300u);
        EXPECT_EQ(e.intensities[1], 10000u);
    }
    {
        SequenceFile f =
            Parse(R"({ "type": "polygon", "points": [[0, 0], [10, 0], [5, 9]], "fill": true, "laser": "a" })");
        auto& p = Only<SequencePolygon>(f);
        EXPECT_EQ(p.pointCount, 3u);
        EXPECT_EQ(p.fill, 1);
    }
    {
        SequenceFile f = Parse(R"({ "type": "jump", "target": 0, "repeat": 4, "counter": 7, "start": 10 })");
        auto& j = Only<SequenceJump>(f);
        EXPECT_EQ(j.repeatCount, 4u);
        EXPECT_EQ(j.counter, 7);
        EXPECT_EQ(j.startTick, 10u);
        EXPECT_TRUE(f.elements[0].hasStart);
    }
    struct Output {
        const char* json;
        OutputPorts port;
    };
    for (const Output& o : {Output{R"({ "type": "setTTL", "port": "ttl2", "value": 1 })", TTLOutput2},
                            Output{R"({ "type": "pulseTTL", "port": "laser4" })", LaserOutput4},
                            Output{R"({ "type": "setAnalog", "port": "laser2", "value": 700 })", LaserOutput2}}) {
        SequenceFile f = Parse(o.json);
        ASSERT_EQ(f.elements.size(), 1u);
        EXPECT_TRUE(f.elements[0].isOutput) << o.json;
        const SequenceObject* e = f.elements[0].element.get();
        if (auto* s = dynamic_cast<const SequenceSetTTL*>(e)) {
            EXPECT_EQ(s->port, o.port);
            EXPECT_EQ(s->value, 1);
        } else if (auto* p = dynamic_cast<const SequencePulseTTL*>(e)) {
            EXPECT_EQ(p->port, o.port);
        } else if (auto* a = dynamic_cast<const SequenceSetAnalog*>(e)) {
            EXPECT_EQ(a->port, o.port);
            EXPECT_EQ(a->intensities[0], 700u);
        } else {
            ADD_FAILURE() << o.json;
        }
    }
    {
        SequenceFile f = Parse(R"({ "type": "waitInput", "input": 1, "trigger": 2 })");
        auto& w = Only<SequenceWaitTTL>(f);
        EXPECT_EQ(w.port, Input1);
        EXPECT_EQ(w.trigger, Trigger2);
    }
}

TEST(SequenceFile, FileSettingsAndLaserFields) {
    SequenceFile f = ParseSequenceText(R"({ "tickTime": 20, "scanMode": "short",
        "lasers": [ { "name": "x", "port": "laser2", "switchOnDelay": 1, "switchOffDelay": 2, "intensityDelay": 3,
                      "minIntensity": 100, "maxIntensity": 9000, "pulseFrequency": 5, "warmUpTime": 6,
                      "activeLevel": 0, "stepSize": 50, "color": "#00ff00" } ],
        "elements": [ { "type": "point", "at": [1, 2], "laser": "x" } ] })",
                                       ".");
    EXPECT_EQ(f.tickTime, 20u);
    EXPECT_EQ(f.scanMode, ScanModeShort);
    const sequence_file::FileLaser& l = f.lasers.at(0);
    EXPECT_EQ(l.port, LaserOutput2);
    EXPECT_EQ(l.switchOnDelay + l.switchOffDelay + l.intensityDelay, 6u);
    EXPECT_EQ(l.minIntensity, 100u);
    EXPECT_EQ(l.maxIntensity, 9000u);
    EXPECT_EQ(l.pulseFrequency, 5u);
    EXPECT_EQ(l.warmUpTime, 6u);
    EXPECT_EQ(l.activeLevel, 0);
    EXPECT_EQ(l.stepSize, 50);
}

TEST(SequenceFile, FaultsNameTheirPlace) {
    struct Case {
        std::string text;
        std::string pointer;
    };
    const std::string lasers = kLasers;
    const std::vector<Case> cases = {
        {"[]", ""},
        {R"({ "lasers": [], "elements": [], "extra": 1 })", "/extra"},
        {R"({ "lasers": [ { "name": "a", "port": "laser9" } ], "elements": [] })", "/lasers/0/port"},
        {R"({ "lasers": [ { "name": "a", "port": "laser1" }, { "name": "a", "port": "laser2" } ], "elements": [] })",
         "/lasers/1/name"},
        {R"({ "lasers": [ { "name": "a", "port": "laser1" }, { "name": "b", "port": "laser1" } ], "elements": [] })",
         "/lasers/1/port"},
        {R"({ "lasers": [ { "name": "a", "port": "laser1", "minIntensity": 9, "maxIntensity": 8 } ], "elements": [] })",
         "/lasers/0/minIntensity"},
        {"{" + lasers + R"(, "elements": [ { "type": "point", "at": [1, 2, 3], "laser": "a" } ] })", "/elements/0/at"},
        {"{" + lasers + R"(, "elements": [ { "type": "point", "at": [-1, 2], "laser": "a" } ] })", "/elements/0/at"},
        {"{" + lasers + R"(, "elements": [ { "type": "point", "at": [1, 2] } ] })", "/elements/0"},
        {"{" + lasers +
             R"(, "elements": [ { "type": "line", "from": [1, 2], "to": [3, 4], "laser": "a", "lasers": [] } ] })",
         "/elements/0/lasers"},
        {"{" + lasers + R"(, "elements": [ { "type": "point", "at": [1, 2], "laser": "a",
                            "stamps": [ { "time": 5, "intensity": 1 }, { "time": 5, "intensity": 2 } ] } ] })",
         "/elements/0/stamps/1/time"},
        {"{" + lasers + R"(, "elements": [ { "type": "setTTL", "port": "ttl1", "value": 1, "laser": "a" } ] })",
         "/elements/0/laser"},
        {"{" + lasers + R"(, "elements": [ { "type": "waitInput", "input": 2 } ] })", "/elements/0/input"},
        {"{" + lasers + R"(, "elements": [ { "type": "ellipse", "rect": [1, 1, 0, 5], "laser": "a" } ] })",
         "/elements/0/rect"},
        {"{" + lasers + R"(, "elements": [ { "type": "jump", "repeat": 1 } ] })", "/elements/0"},
        {"{" + lasers + R"(, "elements": [ { "type": "point", "at": [1, 2], "laser": "a", "start": 4294967296 } ] })",
         "/elements/0/start"},
    };
    for (const Case& c : cases) {
        try {
            ParseSequenceText(c.text, ".");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const InputError& e) {
            EXPECT_EQ(e.Pointer(), c.pointer) << c.text << "\n" << e.what();
        }
    }
}

TEST(SequenceFile, ShapesInDeviceUnitsNeedAnIdentityCalibration) {
    Calibration table(4);
    const std::string path = ::testing::TempDir() + "sequence_file_test.ini";
    ASSERT_EQ(table.SaveCalibration(path.c_str()), 0u);
    std::string jsonPath;  // a Windows temp folder's backslashes must be escaped in JSON
    for (char c : path) jsonPath += c == '\\' ? std::string("\\\\") : std::string(1, c);
    const std::string laser =
        R"({ "lasers": [ { "name": "a", "port": "laser1", "calibration": ")" + jsonPath + R"(" } ], )";
    try {
        ParseSequenceText(
            laser +
                R"("units": "device", "elements": [ { "type": "line", "from": [0, 0], "to": [9, 9], "laser": "a" } ] })",
            ".");
        ADD_FAILURE() << "a line in device units through a calibration was accepted";
    } catch (const InputError& e) {
        EXPECT_EQ(e.Pointer(), "/elements/0");
    }
    // A point may: it is then taken as mirror position without mapping.
    SequenceFile f = ParseSequenceText(
        laser + R"("units": "device", "elements": [ { "type": "point", "at": [9, 9], "laser": "a" } ] })", ".");
    EXPECT_EQ(Only<SequencePoint>(f).useCalibration, 0u);
    std::remove(path.c_str());
}

TEST(SequenceFile, StartsAreLaidOutAfterThePreviousBeamElementAndItsLoop) {
    SequenceFile f = Parse(R"({ "type": "point", "at": [100, 100], "laser": "a", "repeat": 9 },
                              { "type": "setTTL", "port": "ttl1", "value": 1 },
                              { "type": "line", "from": [0, 0], "to": [1000, 0], "laser": "a" },
                              { "type": "jump", "targetElement": 2, "repeat": 3 },
                              { "type": "point", "at": [100, 100], "laser": "a" },
                              { "type": "point", "at": [100, 100], "laser": "a", "start": 90000 },
                              { "type": "waitUser" })");
    sequence_file::CompiledSequence built(std::move(f));
    ASSERT_FALSE(built.Failure().has_value()) << built.Failure()->what();
    const auto& t = built.layout;
    auto start = [&](size_t i) { return built.file.elements[i].element->startTick; };
    EXPECT_EQ(start(0), 0u);
    EXPECT_EQ(start(1), t[0].duration);  // the output runs where the point ends, beside the beam
    EXPECT_EQ(start(2), t[0].duration);
    EXPECT_EQ(start(3), start(2) + t[2].duration);
    EXPECT_EQ(static_cast<const SequenceJump&>(*built.file.elements[3].element).targetTick, start(2));
    // After the loop: the body runs 1 + 3 times.
    EXPECT_EQ(start(4), (start(3) - start(2) + 1) * 3 + start(3) + 1);
    EXPECT_EQ(start(6), 90000u + t[5].duration);
    EXPECT_EQ(built.endTick, start(6) + 1u);
    // The compiler agrees with the layout element by element.
    for (size_t i = 0; i < t.size(); ++i) EXPECT_EQ(built.analysis.elements.at(i).startTick, start(i)) << i;
    EXPECT_EQ(built.lasers.size(), 2u);
}

TEST(SequenceFile, CompileFailureNamesTheElementInTheFilesWords) {
    struct Case {
        std::string elements, pointer, message;
    };
    const Case cases[] = {
        // A TTL element on the output of laser "a", which the beam uses.
        {R"({ "type": "point", "at": [100, 100], "laser": "a" }, { "type": "setTTL", "port": "laser1", "value": 1 })",
         "/elements/1", "laser1 is used by laser \"a\""},
        {R"({ "type": "setTTL", "port": "ttl1", "value": 1, "start": 5 },
            { "type": "pulseTTL", "port": "ttl1", "start": 5 })",
         "/elements/1", "ttl1 is already set at tick 5"},
        // The rings of a fill path reach beyond the ellipse's rectangle: at the field's edge the
        // mirrors would be clamped, which the reader's own check of the rectangle cannot see.
        {R"({ "type": "ellipse", "rect": [0, 0, 950, 950], "fill": true, "fillPath": true, "laser": "a" })",
         "/elements/0", "device position (-19, 545) lies outside the mirror field 0..65535; the mirrors stop at (0, "},
    };
    for (const Case& c : cases) {
        sequence_file::CompiledSequence built(Parse(c.elements));
        const auto failure = built.Failure();
        ASSERT_TRUE(failure.has_value()) << c.elements;
        EXPECT_EQ(failure->Pointer(), c.pointer);
        EXPECT_EQ(std::string(failure->what()).substr(0, c.message.size()), c.message);
    }
    // Nothing to do is a fault of the file, named where it lies.
    try {
        Parse("");
        ADD_FAILURE() << "an empty element list was accepted";
    } catch (const InputError& e) {
        EXPECT_EQ(e.Pointer(), "/elements");
        EXPECT_NE(std::string(e.what()).find("at least one element"), std::string::npos) << e.what();
    }
}

}  // namespace
