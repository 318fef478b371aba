#include "tools/sequence_file.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <utility>

namespace tools {
namespace {

using Json = nlohmann::json;

constexpr double kFieldMax = 65535.0;
// Files are hand-written or generated; anything this large is a mistake, and reading it whole
// would only waste memory.
constexpr std::streamoff kMaxFileBytes = 256 * 1024 * 1024;

std::string Escape(const std::string& key) {
    std::string s;
    for (char c : key) {
        if (c == '~')
            s += "~0";
        else if (c == '/')
            s += "~1";
        else
            s += c;
    }
    return s;
}

std::string Child(const std::string& pointer, const std::string& key) { return pointer + "/" + Escape(key); }
std::string Child(const std::string& pointer, size_t index) { return pointer + "/" + std::to_string(index); }

const char* TypeName(const Json& j) {
    switch (j.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return "a boolean";
    case Json::value_t::string: return "a string";
    case Json::value_t::array: return "an array";
    case Json::value_t::object: return "an object";
    case Json::value_t::number_float: return "a number with a fraction";
    default: return j.is_number_unsigned() || j.is_number_integer() ? "an integer" : "something else";
    }
}

[[noreturn]] void Fail(const std::string& pointer, const std::string& message) { throw InputError(pointer, message); }

[[noreturn]] void Expected(const std::string& pointer, const std::string& what, const Json& found) {
    Fail(pointer, "expected " + what + ", found " + TypeName(found));
}

unsigned long long Unsigned(const Json& j, const std::string& pointer, unsigned long long min, unsigned long long max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    if (j.is_number_unsigned() || (j.is_number_integer() && j.get<long long>() >= 0)) {
        const auto v = j.get<unsigned long long>();
        if (v >= min && v <= max) return v;
        Fail(pointer, "expected an integer " + range + ", found " + std::to_string(v));
    }
    if (j.is_number_integer())
        Fail(pointer, "expected an integer " + range + ", found " + std::to_string(j.get<long long>()));
    Expected(pointer, "an integer " + range, j);
}

double Number(const Json& j, const std::string& pointer) {
    if (!j.is_number()) Expected(pointer, "a number", j);
    const double v = j.get<double>();
    if (!std::isfinite(v)) Fail(pointer, "expected a finite number");
    return v;
}

// Reads one JSON object; every key must be asked for, so a misspelt field is reported instead of
// silently ignored.
class Object {
public:
    Object(const Json& j, std::string pointer, const char* what) : j_(j), pointer_(std::move(pointer)) {
        if (!j.is_object()) Expected(pointer_, std::string("an object (") + what + ")", j);
    }
    const std::string& Pointer() const { return pointer_; }
    std::string PointerOf(const std::string& key) const { return Child(pointer_, key); }
    const Json* Find(const std::string& key) {
        used_.insert(key);
        auto it = j_.find(key);
        return it == j_.end() ? nullptr : &*it;
    }
    const Json& Need(const std::string& key, const char* what) {
        const Json* v = Find(key);
        if (v == nullptr) Fail(pointer_, std::string("missing \"") + key + "\" (" + what + ")");
        return *v;
    }
    unsigned long long UnsignedOr(const std::string& key, unsigned long long fallback, unsigned long long min,
                                  unsigned long long max) {
        const Json* v = Find(key);
        return v ? Unsigned(*v, PointerOf(key), min, max) : fallback;
    }
    bool BoolOr(const std::string& key, bool fallback) {
        const Json* v = Find(key);
        if (v == nullptr) return fallback;
        if (!v->is_boolean()) Expected(PointerOf(key), "true or false", *v);
        return v->get<bool>();
    }
    std::string StringOr(const std::string& key, const std::string& fallback) {
        const Json* v = Find(key);
        if (v == nullptr) return fallback;
        if (!v->is_string()) Expected(PointerOf(key), "a string", *v);
        return v->get<std::string>();
    }
    // Reports the first key nobody asked for.
    void Finish(const std::string& allowedHint) const {
        for (auto it = j_.begin(); it != j_.end(); ++it)
            if (!used_.count(it.key()))
                Fail(Child(pointer_, it.key()), "unknown field \"" + it.key() + "\"" +
                                                    (allowedHint.empty() ? "" : " (known here: " + allowedHint + ")"));
    }

private:
    const Json& j_;
    std::string pointer_;
    std::set<std::string> used_;
};

template <class T>
T Choice(const Json& j, const std::string& pointer, const std::vector<std::pair<const char*, T>>& choices) {
    std::string names;
    for (const auto& c : choices) names += std::string(names.empty() ? "" : ", ") + "\"" + c.first + "\"";
    if (!j.is_string()) Expected(pointer, "one of " + names, j);
    for (const auto& c : choices)
        if (j.get<std::string>() == c.first) return c.second;
    Fail(pointer, "expected one of " + names + ", found \"" + j.get<std::string>() + "\"");
}

const std::vector<std::pair<const char*, OutputPorts>> kLaserPorts = {
    {"laser1", LaserOutput1}, {"laser2", LaserOutput2}, {"laser3", LaserOutput3}, {"laser4", LaserOutput4}};
const std::vector<std::pair<const char*, OutputPorts>> kSwitchPorts = {
    {"laser1", LaserOutput1}, {"laser2", LaserOutput2}, {"laser3", LaserOutput3},
    {"laser4", LaserOutput4}, {"ttl1", TTLOutput1},     {"ttl2", TTLOutput2}};

enum class Units { Camera, Device };

struct Context {
    Units units = Units::Camera;
    std::vector<LaserSpec>* lasers = nullptr;
    std::map<std::string, int> laserByName;
};

RPOINTF Point(const Json& j, const std::string& pointer) {
    if (!j.is_array() || j.size() != 2) {
        if (j.is_array()) Fail(pointer, "expected [x, y], found an array of " + std::to_string(j.size()));
        Expected(pointer, "a point [x, y]", j);
    }
    return RPOINTF(Number(j[0], Child(pointer, 0)), Number(j[1], Child(pointer, 1)));
}

std::string Format(RPOINTF p) {
    std::ostringstream s;
    s << "(" << p.x << ", " << p.y << ")";
    return s.str();
}

// A beam position must land inside the mirror field; the compiler would clamp it silently.
void CheckInField(RPOINTF p, Units units, LaserSpec& laser, const std::string& pointer) {
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

LaserSpec ReadLaser(const Json& j, const std::string& pointer, const std::string& baseDir) {
    Object o(j, pointer, "a laser");
    LaserSpec l;
    l.pointer = pointer;
    const Json& name = o.Need("name", "the name elements use for this laser");
    if (!name.is_string() || name.get<std::string>().empty()) Expected(o.PointerOf("name"), "a non-empty string", name);
    l.name = name.get<std::string>();
    l.port = Choice(o.Need("port", "the laser output it hangs on"), o.PointerOf("port"), kLaserPorts);
    const unsigned long long kU32 = UINT_MAX;
    l.switchOnDelay = static_cast<unsigned int>(o.UnsignedOr("switchOnDelay", 0, 0, kU32));
    l.switchOffDelay = static_cast<unsigned int>(o.UnsignedOr("switchOffDelay", 0, 0, kU32));
    l.intensityDelay = static_cast<unsigned int>(o.UnsignedOr("intensityDelay", 0, 0, kU32));
    l.minIntensity = static_cast<unsigned int>(o.UnsignedOr("minIntensity", 0, 0, 10000));
    l.maxIntensity = static_cast<unsigned int>(o.UnsignedOr("maxIntensity", 10000, 0, 10000));
    if (l.minIntensity > l.maxIntensity)
        Fail(o.PointerOf("minIntensity"), "minIntensity " + std::to_string(l.minIntensity) +
                                              " lies above maxIntensity " + std::to_string(l.maxIntensity));
    l.pulseFrequency = static_cast<unsigned int>(o.UnsignedOr("pulseFrequency", 0, 0, kU32));
    l.warmUpTime = static_cast<unsigned int>(o.UnsignedOr("warmUpTime", 0, 0, kU32));
    l.activeLevel = static_cast<int>(o.UnsignedOr("activeLevel", 1, 0, 1));
    l.stepSize = static_cast<int>(o.UnsignedOr("stepSize", 0, 1, 65535));
    l.color = o.StringOr("color", "");
    if (!l.color.empty() && !std::regex_match(l.color, std::regex("#[0-9a-fA-F]{6}")))
        Fail(o.PointerOf("color"), "expected a colour \"#rrggbb\", found \"" + l.color + "\"");
    l.calibration = std::make_unique<Calibration>();
    if (const Json* c = o.Find("calibration"); c != nullptr && !c->is_null()) {
        if (!c->is_string() || c->get<std::string>().empty())
            Expected(o.PointerOf("calibration"), "a calibration file path or null", *c);
        std::string path = c->get<std::string>();
        if (path[0] != '/' && !baseDir.empty()) path = baseDir + "/" + path;
        l.calibrationPath = path;
        if (unsigned int r = l.calibration->LoadCalibration(path.c_str()))
            Fail(o.PointerOf("calibration"),
                 "cannot load calibration file " + path +
                     (r == 2 ? " (missing, unreadable or a bad point count)"
                             : " (a section, the step size or the point count is missing)"));
    }
    o.Finish(
        "name, port, switchOnDelay, switchOffDelay, intensityDelay, minIntensity, maxIntensity, "
        "pulseFrequency, warmUpTime, activeLevel, stepSize, calibration, color");
    return l;
}

// The lasers of a beam element: "laser" (+ "intensity") or "lasers": [{"laser", "intensity"}].
void ReadLasers(Object& o, ElementSpec& e, Context& ctx) {
    const Json* one = o.Find("laser");
    const Json* many = o.Find("lasers");
    const Json* intensity = o.Find("intensity");
    auto lookup = [&](const Json& name, const std::string& pointer) {
        if (!name.is_string()) Expected(pointer, "a laser name", name);
        auto it = ctx.laserByName.find(name.get<std::string>());
        if (it == ctx.laserByName.end())
            Fail(pointer, "unknown laser \"" + name.get<std::string>() + "\" (define it under /lasers)");
        return it->second;
    };
    if (one && many) Fail(o.PointerOf("lasers"), "give either \"laser\" or \"lasers\", not both");
    if (one) {
        e.laserSlots[0] = lookup(*one, o.PointerOf("laser"));
        e.element->intensities[0] =
            intensity ? static_cast<unsigned int>(Unsigned(*intensity, o.PointerOf("intensity"), 0, 10000)) : 10000;
    } else if (many) {
        if (intensity) Fail(o.PointerOf("intensity"), "with \"lasers\", give each laser its own intensity");
        const std::string lp = o.PointerOf("lasers");
        if (!many->is_array() || many->empty() || many->size() > 4)
            Fail(lp, many->is_array() ? "expected 1 to 4 lasers, found " + std::to_string(many->size())
                                      : std::string("expected an array of lasers, found ") + TypeName(*many));
        for (size_t i = 0; i < many->size(); ++i) {
            Object slot((*many)[i], Child(lp, i), "a laser of the element");
            int index = lookup(slot.Need("laser", "a laser name"), slot.PointerOf("laser"));
            for (size_t k = 0; k < i; ++k)
                if (e.laserSlots[k] == index) Fail(slot.PointerOf("laser"), "the same laser twice");
            e.laserSlots[i] = index;
            e.element->intensities[i] = static_cast<unsigned int>(slot.UnsignedOr("intensity", 10000, 0, 10000));
            slot.Finish("laser, intensity");
        }
    } else {
        if (intensity) Fail(o.PointerOf("intensity"), "an intensity needs a \"laser\"");
        Fail(o.Pointer(), "a " + e.type + " needs a laser: give \"laser\" or \"lasers\"");
    }
}

Units ReadUnits(Object& o, Units fallback) {
    const Json* u = o.Find("units");
    if (u == nullptr) return fallback;
    return Choice(*u, o.PointerOf("units"),
                  std::vector<std::pair<const char*, Units>>{{"camera", Units::Camera}, {"device", Units::Device}});
}

// Lines and shapes always go through the first laser's calibration; device units are only
// exact when that calibration is the identity.
void RequireShapeUnits(Units units, LaserSpec& laser, const std::string& pointer) {
    if (units == Units::Device && !laser.calibrationPath.empty())
        Fail(pointer, "lines and shapes are mapped through the calibration of laser \"" + laser.name +
                          "\"; give them in camera units (\"units\": \"camera\")");
}

ElementSpec ReadElement(const Json& j, const std::string& pointer, Context& ctx) {
    Object o(j, pointer, "an element");
    ElementSpec e;
    e.pointer = pointer;
    const Json& type =
        o.Need("type", "point, line, ellipse, polygon, jump, setTTL, pulseTTL, setAnalog, waitInput or waitUser");
    if (!type.is_string()) Expected(o.PointerOf("type"), "an element type name", type);
    e.type = type.get<std::string>();
    const std::string& t = e.type;
    o.Find("comment");
    const Units units = ReadUnits(o, ctx.units);
    std::string known = "type, start, comment";
    bool beam = false;

    if (t == "point") {
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
        e.element = std::move(p);
        known += ", at, switchLaserOn, setIntensity, switchLaserOff, waitForMirror, stamps";
        beam = true;
    } else if (t == "line") {
        RPOINTF a = Point(o.Need("from", "the start [x, y]"), o.PointerOf("from"));
        RPOINTF b = Point(o.Need("to", "the end [x, y]"), o.PointerOf("to"));
        e.element = std::make_unique<SequenceLine>(a, b);
        known += ", from, to";
        beam = true;
    } else if (t == "ellipse") {
        const Json* rect = o.Find("rect");
        const Json* corners = o.Find("corners");
        std::unique_ptr<SequenceEllipse> el;
        if ((rect == nullptr) == (corners == nullptr))
            Fail(pointer, "an ellipse needs either \"rect\" [x, y, width, height] or \"corners\" [[x, y] x 3]");
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
        e.element = std::move(el);
        known += ", rect, corners, fill, fillPath";
        beam = true;
    } else if (t == "polygon") {
        const Json& pts = o.Need("points", "the corners [[x, y], ...]");
        const std::string pp = o.PointerOf("points");
        if (!pts.is_array()) Expected(pp, "an array of points", pts);
        std::vector<RPOINTF> points;
        for (size_t i = 0; i < pts.size(); ++i) points.push_back(Point(pts[i], Child(pp, i)));
        const bool fill = o.BoolOr("fill", false);
        if (points.size() < (fill ? 3u : 2u))
            Fail(pp, std::string("a ") +
                         (fill ? "filled polygon needs at least 3 points" : "path needs at least 2 points"));
        e.element =
            std::make_unique<SequencePolygon>(points.data(), static_cast<unsigned int>(points.size()), fill ? 1 : 0);
        known += ", points, fill";
        beam = true;
    } else if (t == "jump") {
        const Json* target = o.Find("target");
        const Json* targetElement = o.Find("targetElement");
        if ((target == nullptr) == (targetElement == nullptr))
            Fail(pointer,
                 "a jump needs either \"target\" (a tick) or \"targetElement\" (the index of an earlier element)");
        unsigned int tick = 0;
        if (target)
            tick = static_cast<unsigned int>(Unsigned(*target, o.PointerOf("target"), 0, UINT_MAX));
        else
            e.targetElement = static_cast<int>(Unsigned(*targetElement, o.PointerOf("targetElement"), 0, INT_MAX));
        const auto repeat = static_cast<unsigned int>(
            Unsigned(o.Need("repeat", "how often the jump is taken"), o.PointerOf("repeat"), 1, UINT_MAX));
        const auto counter = static_cast<unsigned char>(o.UnsignedOr("counter", 2, 2, 255));
        e.element = std::make_unique<SequenceJump>(tick, repeat, counter);
        known += ", target, targetElement, repeat, counter";
    } else if (t == "setTTL") {
        OutputPorts port = Choice(o.Need("port", "the output"), o.PointerOf("port"), kSwitchPorts);
        int value = static_cast<int>(Unsigned(o.Need("value", "the line level, 0 or 1"), o.PointerOf("value"), 0, 1));
        e.element = std::make_unique<SequenceSetTTL>(port, value);
        e.isOutput = true;
        known += ", port, value";
    } else if (t == "pulseTTL") {
        e.element =
            std::make_unique<SequencePulseTTL>(Choice(o.Need("port", "the output"), o.PointerOf("port"), kSwitchPorts));
        e.isOutput = true;
        known += ", port";
    } else if (t == "setAnalog") {
        OutputPorts port = Choice(o.Need("port", "the laser output"), o.PointerOf("port"), kLaserPorts);
        auto value =
            static_cast<unsigned short>(Unsigned(o.Need("value", "0 to 10000"), o.PointerOf("value"), 0, 10000));
        e.element = std::make_unique<SequenceSetAnalog>(port, value);
        e.isOutput = true;
        known += ", port, value";
    } else if (t == "waitInput") {
        auto input =
            static_cast<InputPorts>(Unsigned(o.Need("input", "the input, 0 or 1"), o.PointerOf("input"), 0, 1));
        auto trigger = static_cast<TriggerBehaviour>(o.UnsignedOr("trigger", 1, 1, 2));
        e.element = std::make_unique<SequenceWaitTTL>(input, trigger);
        known += ", input, trigger";
    } else if (t == "waitUser") {
        e.element = std::make_unique<SequenceWaitUser>(static_cast<unsigned short>(o.UnsignedOr("value", 0, 0, 65535)));
        known += ", value";
    } else {
        Fail(o.PointerOf("type"), "unknown element type \"" + t +
                                      "\" (known: point, line, ellipse, polygon, jump, setTTL, pulseTTL, setAnalog, "
                                      "waitInput, waitUser)");
    }

    if (const Json* start = o.Find("start")) {
        e.element->startTick = static_cast<unsigned int>(Unsigned(*start, o.PointerOf("start"), 0, UINT_MAX));
        e.hasStart = true;
    }
    if (t != "jump") {
        if (const Json* repeat = o.Find("repeat")) {
            if (!beam) Fail(o.PointerOf("repeat"), "only beam elements and jumps repeat");
            e.element->repeatCount = static_cast<unsigned int>(Unsigned(*repeat, o.PointerOf("repeat"), 0, UINT_MAX));
        }
    }
    if (beam) {
        known += ", repeat, laser, lasers, intensity, units";
        ReadLasers(o, e, ctx);
        LaserSpec& first = (*ctx.lasers)[static_cast<size_t>(e.laserSlots[0])];
        if (t == "point") {
            CheckInField(static_cast<SequencePoint&>(*e.element).position, units, first, o.PointerOf("at"));
        } else {
            RequireShapeUnits(units, first, pointer);
            if (t == "line") {
                auto& line = static_cast<SequenceLine&>(*e.element);
                CheckInField(line.start, units, first, o.PointerOf("from"));
                CheckInField(line.end, units, first, o.PointerOf("to"));
            } else if (t == "polygon") {
                auto& poly = static_cast<SequencePolygon&>(*e.element);
                for (unsigned int i = 0; i < poly.pointCount; ++i)
                    CheckInField(poly.points[i], units, first, Child(o.PointerOf("points"), i));
            } else {
                auto& el = static_cast<SequenceEllipse&>(*e.element);
                const std::string where = o.PointerOf(o.Find("rect") ? "rect" : "corners");
                RPOINTF fourth(el.corners[0].x + el.corners[2].x - el.corners[1].x,
                               el.corners[0].y + el.corners[2].y - el.corners[1].y);
                for (RPOINTF c : {el.corners[0], el.corners[1], el.corners[2], fourth})
                    CheckInField(c, units, first, where);
            }
        }
    } else {
        for (const char* k : {"laser", "lasers", "intensity"})
            if (o.Find(k)) Fail(o.PointerOf(k), "only points, lines, ellipses and polygons use lasers");
        if (o.Find("units") && t != "point") Fail(o.PointerOf("units"), "only beam elements have coordinates");
    }
    o.Finish(known);
    return e;
}

Json Parse(const std::string& text) {
    try {
        return Json::parse(text, nullptr, true, /*ignore_comments=*/true);
    } catch (const Json::parse_error& e) {
        // Turn the byte offset into a line and column people can find.
        size_t line = 1, column = 1;
        for (size_t i = 0; i + 1 < e.byte && i < text.size(); ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        std::string what = e.what();
        const auto colon = what.find("syntax error");
        if (colon != std::string::npos) what = what.substr(colon);
        throw InputError(
            "", "not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what);
    } catch (const Json::out_of_range& e) {
        // A number too large for a double, such as 50e3221.
        throw InputError("", std::string("a number in the file is out of range: ") + e.what());
    }
}

}  // namespace

std::vector<SequenceObject*> SequenceFile::Pointers() const {
    std::vector<SequenceObject*> v;
    for (const ElementSpec& e : elements) v.push_back(e.element.get());
    return v;
}

SequenceFile ParseSequenceText(const std::string& text, const std::string& baseDir) {
    const Json doc = Parse(text);
    Object top(doc, "", "a sequence file");
    SequenceFile file;
    top.UnsignedOr("version", 1, 1, 1);
    file.description = top.StringOr("description", "");
    file.tickTime = static_cast<unsigned int>(top.UnsignedOr("tickTime", 50, 1, 1000000));
    if (const Json* m = top.Find("scanMode"))
        file.scanMode = Choice(
            *m, top.PointerOf("scanMode"),
            std::vector<std::pair<const char*, ScanMode>>{{"default", ScanModeDefault}, {"short", ScanModeShort}});
    Context ctx;
    ctx.lasers = &file.lasers;
    ctx.units = ReadUnits(top, Units::Camera);

    const Json& lasers = top.Need("lasers", "the lasers the elements use");
    if (!lasers.is_array()) Expected("/lasers", "an array of lasers", lasers);
    if (lasers.size() > 4)
        Fail("/lasers", "the device drives at most 4 lasers, found " + std::to_string(lasers.size()));
    for (size_t i = 0; i < lasers.size(); ++i) {
        LaserSpec l = ReadLaser(lasers[i], Child("/lasers", i), baseDir);
        if (ctx.laserByName.count(l.name))
            Fail(Child(Child("/lasers", i), "name"), "a second laser named \"" + l.name + "\"");
        for (const LaserSpec& other : file.lasers)
            if (other.port == l.port)
                Fail(Child(Child("/lasers", i), "port"), "laser \"" + other.name + "\" already uses this output");
        ctx.laserByName[l.name] = static_cast<int>(i);
        file.lasers.push_back(std::move(l));
    }

    const Json& elements = top.Need("elements", "what the device does");
    if (!elements.is_array()) Expected("/elements", "an array of elements", elements);
    for (size_t i = 0; i < elements.size(); ++i)
        file.elements.push_back(ReadElement(elements[i], Child("/elements", i), ctx));
    top.Finish("version, description, tickTime, scanMode, units, lasers, elements");
    return file;
}

SequenceFile ReadSequenceFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError("", "cannot open " + path);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw InputError("", "cannot read " + path + " (not a regular file?)");
    if (size > kMaxFileBytes) throw InputError("", "file too large (" + std::to_string(size) + " bytes)");
    in.seekg(0);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), size)) throw InputError("", "cannot read " + path);
    const auto slash = path.find_last_of('/');
    SequenceFile file = ParseSequenceText(text, slash == std::string::npos ? "." : path.substr(0, slash));
    file.path = path;
    return file;
}

unsigned int DefineLasers(Korvan& korvan, SequenceFile& file, std::vector<unsigned int>* ids,
                          std::string* failedPointer) {
    ids->clear();
    for (LaserSpec& l : file.lasers) {
        unsigned int id = 0;
        unsigned int r = korvan.AddLaser(l.switchOnDelay, l.switchOffDelay, l.intensityDelay, l.port, l.minIntensity,
                                         l.maxIntensity, l.pulseFrequency, &id, l.activeLevel, l.warmUpTime);
        if (r == 0) ids->push_back(id);
        if (r == 0 && !l.calibrationPath.empty()) {
            r = korvan.LoadCalibration(l.calibrationPath.c_str(), id);
            if (r != 0) *failedPointer = l.pointer + "/calibration";
        }
        if (r == 0 && l.stepSize > 0) {
            r = korvan.SetLaserStepSize(id, l.stepSize);
            if (r != 0) *failedPointer = l.pointer + "/stepSize";
        }
        if (r != 0) {
            if (failedPointer->empty()) *failedPointer = l.pointer;
            RemoveLasers(korvan, *ids);
            ids->clear();
            return r;
        }
    }
    for (ElementSpec& e : file.elements)
        for (int s = 0; s < 4; ++s)
            if (e.laserSlots[s] >= 0) e.element->laserIds[s] = (*ids)[static_cast<size_t>(e.laserSlots[s])];
    return 0;
}

void RemoveLasers(Korvan& korvan, const std::vector<unsigned int>& ids) {
    for (unsigned int id : ids) korvan.RemoveLaser(id);
}

namespace {
// Where a beam element or a loop ends, as the compiler counts it.
unsigned long long ElementEnd(const ElementSpec& e, const ScheduledElement& t) {
    const unsigned long long start = e.element->startTick;
    if (auto* jump = dynamic_cast<const SequenceJump*>(e.element.get()); jump && jump->repeatCount > 0)
        return (start - jump->targetTick + t.duration) * jump->repeatCount + start + t.duration;
    return start + t.duration;
}
}  // namespace

std::vector<ScheduledElement> Schedule(Korvan& korvan, SequenceFile& file) {
    std::vector<ScheduledElement> timing(file.elements.size());
    unsigned long long end = 0;  // where the next element without a start begins
    for (size_t i = 0; i < file.elements.size(); ++i) {
        ElementSpec& e = file.elements[i];
        if (e.targetElement >= 0) {
            if (static_cast<size_t>(e.targetElement) >= i)
                Fail(e.pointer + "/targetElement", "a jump goes back to an earlier element; element " +
                                                       std::to_string(e.targetElement) + " does not come before it");
            static_cast<SequenceJump&>(*e.element).targetTick =
                file.elements[static_cast<size_t>(e.targetElement)].element->startTick;
        }
        if (!e.hasStart) {
            if (end > UINT_MAX)
                Fail(e.pointer, "would start at tick " + std::to_string(end) + ", beyond the device's 32-bit ticks");
            e.element->startTick = static_cast<unsigned int>(end);
        }
        if (auto* jump = dynamic_cast<SequenceJump*>(e.element.get()); jump && jump->targetTick > jump->startTick)
            Fail(e.pointer + (e.targetElement >= 0 ? "/targetElement" : "/target"),
                 "a jump goes back: its target tick " + std::to_string(jump->targetTick) + " lies after its start " +
                     std::to_string(jump->startTick));
        ScheduledElement& t = timing[i];
        t.start = e.element->startTick;
        t.timed = korvan.GetTiming(*e.element, &t.duration, &t.illumination) == 0;
        if (!e.isOutput) end = std::max(end, ElementEnd(e, t));
    }
    return timing;
}

unsigned long long EndTick(const SequenceFile& file, const std::vector<ScheduledElement>& timing) {
    unsigned long long end = 0;
    for (size_t i = 0; i < file.elements.size() && i < timing.size(); ++i)
        end = std::max(end, ElementEnd(file.elements[i], timing[i]));
    return end;
}

}  // namespace tools
