#include <sequence_file/element_table.h>

#include <climits>
#include <sstream>

namespace sequence_file::detail {
namespace {

constexpr double kFieldMax = 65535.0;

std::string Format(RPOINTF p) {
    std::ostringstream s;
    s << "(" << p.x << ", " << p.y << ")";
    return s.str();
}

Json PointJson(RPOINTF p) { return Json::array({p.x, p.y}); }

// A beam position must land inside the mirror field; the compiler would clamp it silently.
void CheckInField(RPOINTF p, Units units, FileLaser& laser, const std::string& pointer) {
    RPOINTF device = p;
    if (units == Units::Camera) {
        if (p.x < 0 || p.y < 0) Fail(pointer, "camera point " + Format(p) + " has a negative coordinate");
        if (p.x > 1e9 || p.y > 1e9) Fail(pointer, "camera point " + Format(p) + " is far outside any camera");
        device = laser.calibration->DeviceCoordinates(p);
    }
    if (device.x < 0 || device.y < 0 || device.x > kFieldMax || device.y > kFieldMax) {
        std::string where = units == Units::Camera
                                ? "camera point " + Format(p) + " maps to device " + Format(device) + ", "
                                : "device point " + Format(p) + " lies ";
        Fail(pointer, where + "outside the mirror field 0..65535 of laser \"" + laser.name + "\"");
    }
}

// Lines and shapes always go through the first laser's calibration; device units are only
// exact when that calibration is the identity.
void RequireShapeUnits(Units units, FileLaser& laser, const std::string& pointer) {
    if (units == Units::Device && !laser.calibrationPath.empty())
        Fail(pointer, "lines and shapes are mapped through the calibration of laser \"" + laser.name +
                          "\"; give them in camera units (\"units\": \"camera\")");
}

// ---- point ---------------------------------------------------------------------------------

std::unique_ptr<SequenceObject> ReadPoint(Object& o, FileElement&, Units units) {
    RPOINTF at = Point(o.Need("at", "the position [x, y]"), o.PointerOf("at"));
    auto p = std::make_unique<SequencePoint>(at);
    p->useCalibration = units == Units::Camera ? 1 : 0;
    p->switchLaserOn = o.BoolOr("switchLaserOn", true);
    p->setIntensity = o.BoolOr("setIntensity", true);
    p->switchLaserOff = o.BoolOr("switchLaserOff", true);
    p->waitForMirror = o.BoolOr("waitForMirror", true);
    if (const Json* s = o.Find("stamps")) {
        const std::string sp = o.PointerOf("stamps");
        if (!s->is_array()) Expected(sp, "an array of intensity stamps", *s);
        std::vector<IntensityStamp> stamps;
        for (size_t i = 0; i < s->size(); ++i) {
            Object so((*s)[i], Child(sp, i), "an intensity stamp {\"time\", \"intensity\"}");
            IntensityStamp st{};
            st.time = static_cast<unsigned int>(
                Unsigned(so.Need("time", "ticks after the light comes on"), so.PointerOf("time"), 0, UINT_MAX));
            st.intensity = static_cast<unsigned int>(
                Unsigned(so.Need("intensity", "0 to 10000"), so.PointerOf("intensity"), 0, 10000));
            so.Finish("time, intensity");
            if (!stamps.empty() && st.time <= stamps.back().time)
                Fail(so.PointerOf("time"), "stamp times must ascend: " + std::to_string(st.time) + " follows " +
                                               std::to_string(stamps.back().time));
            stamps.push_back(st);
        }
        p->SetIntensityList(stamps.data(), static_cast<unsigned int>(stamps.size()));
    }
    return p;
}

void CheckPoint(Object& o, FileElement& item, Units units, FileLaser& first) {
    CheckInField(static_cast<SequencePoint&>(*item.element).position, units, first, o.PointerOf("at"));
}

void WritePoint(const SequenceObject& e, const FileElement&, Json& out) {
    const auto& p = static_cast<const SequencePoint&>(e);
    out["at"] = PointJson(p.position);
    if (!p.useCalibration) out["units"] = "device";
    if (!p.switchLaserOn) out["switchLaserOn"] = false;
    if (!p.setIntensity) out["setIntensity"] = false;
    if (!p.switchLaserOff) out["switchLaserOff"] = false;
    if (!p.waitForMirror) out["waitForMirror"] = false;
    if (p.intensityCount > 0 && p.intensityList != nullptr) {
        Json stamps = Json::array();
        for (unsigned int i = 0; i < p.intensityCount; ++i)
            stamps.push_back({{"time", p.intensityList[i].time}, {"intensity", p.intensityList[i].intensity}});
        out["stamps"] = stamps;
    }
}

// ---- line ----------------------------------------------------------------------------------

std::unique_ptr<SequenceObject> ReadLine(Object& o, FileElement&, Units) {
    RPOINTF a = Point(o.Need("from", "the start [x, y]"), o.PointerOf("from"));
    RPOINTF b = Point(o.Need("to", "the end [x, y]"), o.PointerOf("to"));
    return std::make_unique<SequenceLine>(a, b);
}

void CheckLine(Object& o, FileElement& item, Units units, FileLaser& first) {
    RequireShapeUnits(units, first, o.Pointer());
    auto& line = static_cast<SequenceLine&>(*item.element);
    CheckInField(line.start, units, first, o.PointerOf("from"));
    CheckInField(line.end, units, first, o.PointerOf("to"));
}

void WriteLine(const SequenceObject& e, const FileElement&, Json& out) {
    const auto& l = static_cast<const SequenceLine&>(e);
    out["from"] = PointJson(l.start);
    out["to"] = PointJson(l.end);
}

// ---- ellipse -------------------------------------------------------------------------------

std::unique_ptr<SequenceObject> ReadEllipse(Object& o, FileElement&, Units) {
    const Json* rect = o.Find("rect");
    const Json* corners = o.Find("corners");
    std::unique_ptr<SequenceEllipse> el;
    if ((rect == nullptr) == (corners == nullptr))
        Fail(o.Pointer(), "an ellipse needs either \"rect\" [x, y, width, height] or \"corners\" [[x, y] x 3]");
    if (rect) {
        const std::string rp = o.PointerOf("rect");
        if (!rect->is_array() || rect->size() != 4) Fail(rp, "expected [x, y, width, height]");
        double v[4];
        for (size_t i = 0; i < 4; ++i) v[i] = Number((*rect)[i], Child(rp, i));
        if (v[2] <= 0 || v[3] <= 0) Fail(rp, "width and height must be above 0");
        el = std::make_unique<SequenceEllipse>(v[0], v[1], v[2], v[3], 0);
    } else {
        const std::string cp = o.PointerOf("corners");
        if (!corners->is_array() || corners->size() != 3)
            Fail(cp, "expected three consecutive corners of the bounding rectangle [[x, y], [x, y], [x, y]]");
        RPOINTF c[3];
        for (size_t i = 0; i < 3; ++i) c[i] = Point((*corners)[i], Child(cp, i));
        el = std::make_unique<SequenceEllipse>(c, 0);
    }
    el->fill = o.BoolOr("fill", false) ? 1 : 0;
    el->fillPath = o.BoolOr("fillPath", false) ? 1 : 0;
    if (el->fillPath && !el->fill)
        Fail(o.PointerOf("fillPath"), "fillPath draws a filled ellipse: set \"fill\": true too");
    return el;
}

void CheckEllipse(Object& o, FileElement& item, Units units, FileLaser& first) {
    RequireShapeUnits(units, first, o.Pointer());
    auto& el = static_cast<SequenceEllipse&>(*item.element);
    const std::string where = o.PointerOf(o.Find("rect") ? "rect" : "corners");
    RPOINTF fourth(el.corners[0].x + el.corners[2].x - el.corners[1].x,
                   el.corners[0].y + el.corners[2].y - el.corners[1].y);
    for (RPOINTF c : {el.corners[0], el.corners[1], el.corners[2], fourth}) CheckInField(c, units, first, where);
}

void WriteEllipse(const SequenceObject& e, const FileElement&, Json& out) {
    const auto& el = static_cast<const SequenceEllipse&>(e);
    // Corners say everything a rectangle says, and rotated ellipses too.
    out["corners"] = Json::array({PointJson(el.corners[0]), PointJson(el.corners[1]), PointJson(el.corners[2])});
    if (el.fill) out["fill"] = true;
    if (el.fillPath) out["fillPath"] = true;
}

// ---- polygon -------------------------------------------------------------------------------

std::unique_ptr<SequenceObject> ReadPolygon(Object& o, FileElement&, Units) {
    const Json& pts = o.Need("points", "the corners [[x, y], ...]");
    const std::string pp = o.PointerOf("points");
    if (!pts.is_array()) Expected(pp, "an array of points", pts);
    std::vector<RPOINTF> points;
    for (size_t i = 0; i < pts.size(); ++i) points.push_back(Point(pts[i], Child(pp, i)));
    const bool fill = o.BoolOr("fill", false);
    if (points.size() < (fill ? 3u : 2u))
        Fail(pp,
             std::string("a ") + (fill ? "filled polygon needs at least 3 points" : "path needs at least 2 points"));
    return std::make_unique<SequencePolygon>(points.data(), static_cast<unsigned int>(points.size()), fill ? 1 : 0);
}

void CheckPolygon(Object& o, FileElement& item, Units units, FileLaser& first) {
    RequireShapeUnits(units, first, o.Pointer());
    auto& poly = static_cast<SequencePolygon&>(*item.element);
    for (unsigned int i = 0; i < poly.pointCount; ++i)
        CheckInField(poly.points[i], units, first, Child(o.PointerOf("points"), i));
}

void WritePolygon(const SequenceObject& e, const FileElement&, Json& out) {
    const auto& p = static_cast<const SequencePolygon&>(e);
    Json points = Json::array();
    for (unsigned int i = 0; i < p.pointCount; ++i) points.push_back(PointJson(p.points[i]));
    out["points"] = points;
    if (p.fill) out["fill"] = true;
}

// ---- control -------------------------------------------------------------------------------

std::unique_ptr<SequenceObject> ReadJump(Object& o, FileElement& item, Units) {
    const Json* target = o.Find("target");
    const Json* targetElement = o.Find("targetElement");
    if ((target == nullptr) == (targetElement == nullptr))
        Fail(o.Pointer(),
             "a jump needs either \"target\" (a tick) or \"targetElement\" (the index of an earlier element)");
    unsigned int tick = 0;
    if (target)
        tick = static_cast<unsigned int>(Unsigned(*target, o.PointerOf("target"), 0, UINT_MAX));
    else
        item.targetElement = static_cast<int>(Unsigned(*targetElement, o.PointerOf("targetElement"), 0, INT_MAX));
    const auto repeat = static_cast<unsigned int>(
        Unsigned(o.Need("repeat", "how often the jump is taken"), o.PointerOf("repeat"), 1, UINT_MAX));
    const auto counter = static_cast<unsigned char>(o.UnsignedOr("counter", 2, 2, 255));
    return std::make_unique<SequenceJump>(tick, repeat, counter);
}

void WriteJump(const SequenceObject& e, const FileElement& item, Json& out) {
    const auto& j = static_cast<const SequenceJump&>(e);
    if (item.targetElement >= 0)
        out["targetElement"] = item.targetElement;
    else
        out["target"] = j.targetTick;
    out["repeat"] = j.repeatCount;
    if (j.counter != 2) out["counter"] = j.counter;
}

std::unique_ptr<SequenceObject> ReadWaitInput(Object& o, FileElement&, Units) {
    auto input = static_cast<InputPorts>(Unsigned(o.Need("input", "the input, 0 or 1"), o.PointerOf("input"), 0, 1));
    auto trigger = static_cast<TriggerBehaviour>(o.UnsignedOr("trigger", 1, 1, 2));
    return std::make_unique<SequenceWaitTTL>(input, trigger);
}

void WriteWaitInput(const SequenceObject& e, const FileElement&, Json& out) {
    const auto& w = static_cast<const SequenceWaitTTL&>(e);
    out["input"] = static_cast<unsigned int>(w.port);
    out["trigger"] = static_cast<unsigned int>(w.trigger);
}

std::unique_ptr<SequenceObject> ReadWaitUser(Object& o, FileElement&, Units) {
    return std::make_unique<SequenceWaitUser>(static_cast<unsigned short>(o.UnsignedOr("value", 0, 0, 65535)));
}

void WriteWaitUser(const SequenceObject& e, const FileElement&, Json& out) {
    out["value"] = static_cast<const SequenceWaitUser&>(e).value;
}

// ---- outputs -------------------------------------------------------------------------------

std::unique_ptr<SequenceObject> ReadSetTTL(Object& o, FileElement&, Units) {
    OutputPorts port = Choice(o.Need("port", "the output"), o.PointerOf("port"), SwitchPorts());
    int value = static_cast<int>(Unsigned(o.Need("value", "the line level, 0 or 1"), o.PointerOf("value"), 0, 1));
    return std::make_unique<SequenceSetTTL>(port, value);
}

void WriteSetTTL(const SequenceObject& e, const FileElement&, Json& out) {
    const auto& s = static_cast<const SequenceSetTTL&>(e);
    out["port"] = NameOf(s.port, SwitchPorts());
    out["value"] = s.value;
}

std::unique_ptr<SequenceObject> ReadPulseTTL(Object& o, FileElement&, Units) {
    return std::make_unique<SequencePulseTTL>(Choice(o.Need("port", "the output"), o.PointerOf("port"), SwitchPorts()));
}

void WritePulseTTL(const SequenceObject& e, const FileElement&, Json& out) {
    out["port"] = NameOf(static_cast<const SequencePulseTTL&>(e).port, SwitchPorts());
}

std::unique_ptr<SequenceObject> ReadSetAnalog(Object& o, FileElement&, Units) {
    OutputPorts port = Choice(o.Need("port", "the laser output"), o.PointerOf("port"), LaserPorts());
    auto value = static_cast<unsigned short>(Unsigned(o.Need("value", "0 to 10000"), o.PointerOf("value"), 0, 10000));
    return std::make_unique<SequenceSetAnalog>(port, value);
}

void WriteSetAnalog(const SequenceObject& e, const FileElement&, Json& out) {
    const auto& a = static_cast<const SequenceSetAnalog&>(e);
    out["port"] = NameOf(a.port, LaserPorts());
    out["value"] = a.intensities[0];
}

}  // namespace

const std::vector<ElementEntry>& ElementTable() {
    using K = korvan::ElementKind;
    static const std::vector<ElementEntry> table = {
        {K::Point, "point", "at, switchLaserOn, setIntensity, switchLaserOff, waitForMirror, stamps", ReadPoint,
         CheckPoint, WritePoint},
        {K::Line, "line", "from, to", ReadLine, CheckLine, WriteLine},
        {K::Ellipse, "ellipse", "rect, corners, fill, fillPath", ReadEllipse, CheckEllipse, WriteEllipse},
        {K::Polygon, "polygon", "points, fill", ReadPolygon, CheckPolygon, WritePolygon},
        {K::Jump, "jump", "target, targetElement, repeat, counter", ReadJump, nullptr, WriteJump},
        {K::SetTTL, "setTTL", "port, value", ReadSetTTL, nullptr, WriteSetTTL},
        {K::PulseTTL, "pulseTTL", "port", ReadPulseTTL, nullptr, WritePulseTTL},
        {K::SetAnalog, "setAnalog", "port, value", ReadSetAnalog, nullptr, WriteSetAnalog},
        {K::WaitInput, "waitInput", "input, trigger", ReadWaitInput, nullptr, WriteWaitInput},
        {K::WaitUser, "waitUser", "value", ReadWaitUser, nullptr, WriteWaitUser},
    };
    return table;
}

const ElementEntry* EntryNamed(const std::string& name) {
    for (const ElementEntry& e : ElementTable())
        if (name == e.name) return &e;
    return nullptr;
}

const ElementEntry* EntryOf(korvan::ElementKind kind) {
    for (const ElementEntry& e : ElementTable())
        if (e.kind == kind) return &e;
    return nullptr;
}

const std::vector<std::pair<const char*, OutputPorts>>& LaserPorts() {
    static const std::vector<std::pair<const char*, OutputPorts>> ports = {
        {"laser1", LaserOutput1}, {"laser2", LaserOutput2}, {"laser3", LaserOutput3}, {"laser4", LaserOutput4}};
    return ports;
}

const std::vector<std::pair<const char*, OutputPorts>>& SwitchPorts() {
    static const std::vector<std::pair<const char*, OutputPorts>> ports = {
        {"laser1", LaserOutput1}, {"laser2", LaserOutput2}, {"laser3", LaserOutput3},
        {"laser4", LaserOutput4}, {"ttl1", TTLOutput1},     {"ttl2", TTLOutput2}};
    return ports;
}

}  // namespace sequence_file::detail
