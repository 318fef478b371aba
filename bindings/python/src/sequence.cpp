// Sequences: the element classes, compiling and checking, upload with progress, start and wait
// (Ctrl-C stops the sequence), sequence files through the command-line tool's own reader, and
// previews drawn by the tool's own pictures.
#include "common.h"

#include "preview/pictures.h"
#include "preview/preview_files.h"

#include <sequence_file/compiled_sequence.h>
#include <sequence_file/defined_sequence.h>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <thread>
#include <vector>

namespace pykorvan {
namespace {

using Point = std::pair<double, double>;

constexpr unsigned int kFullIntensity = 10000;  // an element's intensity scale, 0..10000

py::tuple PointTuple(const RPOINTF& p) { return py::make_tuple(p.x, p.y); }
RPOINTF ToPoint(const Point& p) { return RPOINTF(p.first, p.second); }

/// A copy of an element of any kind, so that what the library reads with the interpreter lock
/// released cannot be changed or freed by Python meanwhile.
std::unique_ptr<SequenceObject> Clone(const SequenceObject& e) {
    return korvan::VisitElement(e, [](const auto& x) -> std::unique_ptr<SequenceObject> {
        return std::make_unique<std::decay_t<decltype(x)>>(x);
    });
}

/// A sequence file whose lasers are defined on a device; they are removed when it goes.
struct LoadedSequence {
    std::shared_ptr<DeviceHandle> device;
    std::unique_ptr<sequence_file::DefinedSequence> defined;
    const sequence_file::CompiledSequence& Compiled() const { return defined->compiled; }
    ~LoadedSequence() {
        if (!defined) return;
        py::gil_scoped_release release;  // removing lasers takes the device's lock
        std::lock_guard<std::mutex> lock(device->mutex);
        defined.reset();
    }
};

struct ElementArray {
    std::vector<std::unique_ptr<SequenceObject>> owned;
    std::vector<SequenceObject*> pointers;
    SequenceObject** Data() { return pointers.data(); }
    unsigned int Count() const { return static_cast<unsigned int>(pointers.size()); }
};

ElementArray Collect(py::handle elements) {
    ElementArray a;
    auto add = [&](const SequenceObject& e) {
        a.owned.push_back(Clone(e));
        a.pointers.push_back(a.owned.back().get());
    };
    if (py::isinstance<LoadedSequence>(elements)) {
        for (const auto& entry : elements.cast<LoadedSequence&>().Compiled().file.elements) add(*entry.element);
        return a;
    }
    for (py::handle item : elements) add(item.cast<const SequenceObject&>());
    return a;
}

[[noreturn]] void RaiseInputError(const sequence_file::InputError& e, const char* operation) {
    const std::string where = e.Pointer().empty() ? std::string() : e.Pointer() + ": ";
    try {
        RaiseResult(korvan::ResultInvalidArgument, operation, where + e.what());
    } catch (py::error_already_set& raised) {
        raised.value().attr("pointer") = e.Pointer();
        throw;
    }
}

/// Runs `f`, turning the sequence-file and preview exceptions into Python ones.
template <class F>
auto ToolCall(const char* operation, F&& f) {
    try {
        return f();
    } catch (const sequence_file::InputError& e) {
        RaiseInputError(e, operation);
    } catch (const sequence_file::DeviceError& e) {
        RaiseResult(e.Result() ? e.Result() : korvan::ResultCommunicationError, operation, e.what());
    } catch (const preview::FileError& e) {
        PyErr_SetString(PyExc_OSError, e.what());
        throw py::error_already_set();
    }
}

py::dict TraceSummary(const preview::BeamTrace& t) {
    py::dict d;
    d["end_us"] = t.endUs;
    d["lit_us"] = t.litUs;  // the compiler's light time, as `korvan check` tells it
    d["stays"] = t.stays.size();
    d["moves"] = t.moves.size();
    d["output_marks"] = t.marks.size();
    d["truncated"] = t.truncated;
    return d;
}

/// What an element list compiles to for `k` (its tick time, the process's lasers defined through
/// Device.add_laser), through the compiler itself: no device traffic.
SequenceAnalysis Analyze(const Korvan& k, ElementArray& a, korvan::SequenceSettings* used = nullptr) {
    korvan::SequenceSettings settings;
    k.GetSequenceSettings(&settings);
    if (used != nullptr) *used = settings;
    return korvan::CompileSequence(a.Data(), a.Count(), settings);
}

/// The same without a device, at the default tick time.
SequenceAnalysis AnalyzeOffline(ElementArray& a, korvan::SequenceSettings* used = nullptr) {
    return Analyze(Korvan(), a, used);
}

/// A Python warning (UserWarning) for each element whose positions the compiler moved onto the
/// edge of the mirror field: the beam would not be where the elements say. Needs the GIL.
const SequenceAnalysis& WarnClamped(const SequenceAnalysis& analysis) {
    for (const ClampedPosition& c : analysis.clampedPositions)
        if (PyErr_WarnEx(PyExc_UserWarning, korvan::DescribeClampedPosition(c).c_str(), 2) != 0)
            throw py::error_already_set();
    return analysis;
}

/// A Python warning (UserWarning) for each intensity below full given to a laser without
/// intensity control: such a laser is driven by its line alone and fires at full power. Needs the GIL.
void WarnUncontrolledIntensities(const ElementArray& a) {
    std::map<unsigned int, bool> controlled;  // per laser identifier, looked up once
    for (size_t index = 0; index < a.pointers.size(); ++index) {
        SequenceObject& e = *a.pointers[index];
        if (!e.IsIlluminationObject()) continue;
        for (size_t slot = 0; slot < 4; ++slot) {
            const unsigned int id = e.laserIds[slot];
            if (id == 0 || e.intensities[slot] >= kFullIntensity) continue;
            auto known = controlled.find(id);
            if (known == controlled.end()) {
                Laser laser;
                // An unknown laser is the compiler's to refuse, not a reason to warn.
                const bool found = Korvan().GetLaser(id, &laser) == korvan::ResultSuccess;
                known = controlled.emplace(id, !found || laser.CanChangeIntensity() != 0).first;
            }
            if (known->second) continue;
            const std::string message = "element " + std::to_string(index) + ": laser " + std::to_string(id) +
                                        " has no intensity control (min_intensity == max_intensity), so intensity " +
                                        std::to_string(e.intensities[slot]) + " is ignored and it fires at full power";
            if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 2) != 0) throw py::error_already_set();
        }
    }
}

/// Polls the state in short slices, holding the interpreter lock only between them, so that
/// Ctrl-C is seen within a slice; it stops the sequence before the KeyboardInterrupt surfaces.
bool WaitForEnd(Device& d, std::optional<double> timeout, double pollInterval) {
    using Clock = std::chrono::steady_clock;
    const auto slice = std::chrono::duration<double>(std::min(std::max(pollInterval, 0.001), 0.1));
    const auto deadline =
        timeout ? Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*timeout))
                : Clock::time_point::max();
    for (;;) {
        State state = NotConnected;
        const unsigned int r = d.handle->Call([&](Korvan& k) {
            unsigned int counter = 0;
            return k.GetState(&state, &counter);
        });
        Check(r, "get_state");
        if (state == Idle || state == Calibrating) return true;
        if (Clock::now() >= deadline) return false;
        {
            py::gil_scoped_release release;
            std::this_thread::sleep_for(slice);
        }
        if (PyErr_CheckSignals() != 0) {
            py::error_already_set interrupt;
            d.handle->Call([](Korvan& k) { return k.Stop(); });
            throw interrupt;
        }
    }
}

unsigned short Upload(Device& d, py::handle elements, py::object progress) {
    ElementArray a = Collect(elements);
    WarnUncontrolledIntensities(a);
    ProgressScope scope(progress);  // only the image's send reports
    unsigned short number = 0;
    const bool report = !progress.is_none();
    const unsigned int r = d.handle->Call([&](Korvan& k) {
        k.SetSendingDataFct(report ? &ProgressScope::Trampoline : nullptr);
        const unsigned int result = k.UploadSequence(a.Data(), a.Count(), &number);
        k.SetSendingDataFct(nullptr);
        return result;
    });
    scope.Finish();
    if (r == korvan::ResultSequenceInvalid) {
        // Name the element the compiler refused, as the analysis does.
        SequenceAnalysis analysis = d.handle->Call([&](Korvan& k) { return Analyze(k, a); });
        RaiseResult(r, "upload_sequence", "element " + std::to_string(analysis.failedElement) + ": " + analysis.reason);
    }
    Check(r, "upload_sequence");
    return number;
}

/// Common element data given as keyword arguments; the rest go to `extra`. A laser given without
/// an intensity gets full intensity, as in sequence files, rather than 0 (no light).
template <class Extra>
void ApplyKeywords(SequenceObject& e, const py::kwargs& kw, Extra&& extra) {
    size_t intensitiesGiven = 0;
    for (auto item : kw) {
        const std::string key = item.first.cast<std::string>();
        py::handle value = item.second;
        if (key == "start_tick")
            e.startTick = value.cast<unsigned int>();
        else if (key == "repeat_count")
            e.repeatCount = value.cast<unsigned int>();
        else if (key == "laser_ids" || key == "intensities") {
            auto values = value.cast<std::vector<unsigned int>>();
            if (values.size() > 4) throw py::value_error(key + ": at most 4 entries");
            if (key == "intensities") intensitiesGiven = values.size();
            values.resize(4, 0);
            std::copy(values.begin(), values.end(), key == "laser_ids" ? e.laserIds : e.intensities);
        } else if (!extra(key, value))
            throw py::type_error("unexpected keyword argument '" + key + "'");
    }
    if (!e.IsIlluminationObject()) return;
    for (size_t slot = intensitiesGiven; slot < 4; ++slot)
        e.intensities[slot] = e.laserIds[slot] != 0 ? kFullIntensity : 0;
}
template <class T>
T& Keywords(T& e, const py::kwargs& kw) {
    ApplyKeywords(e, kw, [](const std::string&, py::handle) { return false; });
    return e;
}

template <class Array>
py::list ArrayList(const Array& a) {
    py::list out;
    for (auto v : a) out.append(v);
    return out;
}

void SetArray(unsigned int* target, const std::vector<unsigned int>& values, const char* name) {
    if (values.size() > 4) throw py::value_error(std::string(name) + ": at most 4 entries");
    for (size_t i = 0; i < 4; ++i) target[i] = i < values.size() ? values[i] : 0;
}

std::vector<RPOINTF> ToPoints(const std::vector<Point>& points) {
    std::vector<RPOINTF> out;
    for (const Point& p : points) out.push_back(ToPoint(p));
    return out;
}

/// The fields of an element as its constructor takes them; the lasers only in the slots in use.
std::string ElementRepr(py::handle self) {
    auto& e = self.cast<SequenceObject&>();
    const std::string kind = py::str(self.get_type().attr("__name__"));
    std::string own;
    auto add = [&own](const std::string& text) { own += (own.empty() ? "" : ", ") + text; };
    if (e.IsIlluminationObject()) {
        size_t used = 4;
        while (used > 0 && e.laserIds[used - 1] == 0) --used;
        py::list ids, levels;
        for (size_t i = 0; i < used; ++i) ids.append(e.laserIds[i]), levels.append(e.intensities[i]);
        add("laser_ids=" + std::string(py::repr(ids)) + ", intensities=" + std::string(py::repr(levels)));
    }
    add("repeat_count=" + std::to_string(e.repeatCount) + ", start_tick=" + std::to_string(e.startTick));
    if (kind == "SequencePoint") {
        const auto& p = static_cast<const SequencePoint&>(e);
        std::string head = "x=" + std::string(py::repr(py::float_(p.position.x))) +
                           ", y=" + std::string(py::repr(py::float_(p.position.y)));
        if (p.intensityCount > 0) head += ", stamps=" + std::string(py::repr(self.attr("stamps")));
        std::string flags;
        for (const char* flag : {"use_calibration", "switch_laser_on", "set_intensity", "switch_laser_off",
                                 "wait_for_mirror"})  // shown only where they differ from the default True
            if (!self.attr(flag).cast<bool>()) flags += std::string(", ") + flag + "=False";
        return kind + "(" + head + ", " + own + flags + ")";
    }
    if (kind == "SequencePolygon")
        return ReprOf(self, {"fill"}, "points=<" + std::to_string(py::len(self.attr("points"))) + " points>, " + own);
    if (kind == "SequenceLine") return ReprOf(self, {"start", "end"}, own);
    if (kind == "SequenceEllipse") return ReprOf(self, {"corners", "fill", "fill_path"}, own);
    if (kind == "SequenceJump") return ReprOf(self, {"target_tick", "counter"}, own);
    if (kind == "SequenceWaitTTL") return ReprOf(self, {"port", "trigger"}, own);
    if (kind == "SequencePulseTTL") return ReprOf(self, {"port"}, own);
    if (kind == "SequenceWaitUser") return ReprOf(self, {"value"}, own);
    if (kind == "SequenceSetTTL" || kind == "SequenceSetAnalog") return ReprOf(self, {"port", "value"}, own);
    return ReprOf(self, {}, own);
}

}  // namespace

void BindSequence(py::module_& m) {
    const char* kCommonKeywords =
        " Keyword arguments set the common data: start_tick, repeat_count, laser_ids and "
        "intensities (up to 4 each; 0 marks an empty slot).";

    py::class_<SequenceObject>(m, "SequenceObject", R"doc(
Base of every sequence element. Times are device ticks (50 us by default), intensities and analog
values hundredths of a percent (0..10000). Beam elements must not overlap: place each at or after
the end of the one before (Device.get_timing gives an element's duration).)doc")
        .def_readwrite("start_tick", &SequenceObject::startTick, "Tick at which the element begins.")
        .def_readwrite("repeat_count", &SequenceObject::repeatCount,
                       "Extra repetitions (of the light for a point, of the whole element for shapes, "
                       "the number of jumps for a jump).")
        .def_property(
            "laser_ids", [](const SequenceObject& e) { return ArrayList(e.laserIds); },
            [](SequenceObject& e, const std::vector<unsigned int>& v) { SetArray(e.laserIds, v, "laser_ids"); },
            "Identifiers of up to four lasers (0: empty slot), always 4 entries when read.")
        .def_property(
            "intensities", [](const SequenceObject& e) { return ArrayList(e.intensities); },
            [](SequenceObject& e, const std::vector<unsigned int>& v) { SetArray(e.intensities, v, "intensities"); },
            "Intensity of the laser in the same slot, 0..10000.")
        .def_property_readonly(
            "is_illumination", [](SequenceObject& e) { return e.IsIlluminationObject() != 0; },
            "True for elements that move the mirrors and light a laser.")
        .def(
            "copy", [](const SequenceObject& e) { return Clone(e); }, "An independent copy.")
        .def("__repr__", &ElementRepr);

    py::class_<SequencePoint, SequenceObject>(m, "SequencePoint", "A dwell of the beam at `position`.")
        .def(py::init([](double x, double y, std::optional<std::vector<std::pair<unsigned, unsigned>>> stamps,
                         py::kwargs kw) {
                 auto p = std::make_unique<SequencePoint>(x, y);
                 if (stamps) {
                     std::vector<IntensityStamp> list;
                     for (auto& s : *stamps) list.push_back({s.first, s.second});
                     p->SetIntensityList(list.data(), static_cast<unsigned int>(list.size()));
                 }
                 SequencePoint& point = *p;
                 ApplyKeywords(point, kw, [&](const std::string& key, py::handle v) {
                     unsigned int* flag = key == "use_calibration"    ? &point.useCalibration
                                          : key == "switch_laser_on"  ? &point.switchLaserOn
                                          : key == "set_intensity"    ? &point.setIntensity
                                          : key == "switch_laser_off" ? &point.switchLaserOff
                                          : key == "wait_for_mirror"  ? &point.waitForMirror
                                                                      : nullptr;
                     if (flag) *flag = v.cast<bool>() ? 1 : 0;
                     return flag != nullptr;
                 });
                 return p;
             }),
             py::arg("x"), py::arg("y"), py::arg("stamps") = py::none(),
             (std::string("A point at (x, y); `stamps` are (time, intensity) changes during the light. "
                          "Also use_calibration, switch_laser_on, set_intensity, switch_laser_off and "
                          "wait_for_mirror (all True by default) as keywords.") +
              kCommonKeywords)
                 .c_str())
        .def_property(
            "position", [](const SequencePoint& p) { return PointTuple(p.position); },
            [](SequencePoint& p, Point v) { p.position = ToPoint(v); },
            "Camera coordinates when use_calibration is set, else device coordinates 0..65535.")
        .def_property(
            "use_calibration", [](const SequencePoint& p) { return p.useCalibration != 0; },
            [](SequencePoint& p, bool v) { p.useCalibration = v; },
            "Positions are camera pixels mapped through the first laser's calibration (else device units).")
        .def_property(
            "switch_laser_on", [](const SequencePoint& p) { return p.switchLaserOn != 0; },
            [](SequencePoint& p, bool v) { p.switchLaserOn = v; }, "Switch the laser on at the start of the dwell.")
        .def_property(
            "set_intensity", [](const SequencePoint& p) { return p.setIntensity != 0; },
            [](SequencePoint& p, bool v) { p.setIntensity = v; }, "Set the laser's intensity before it lights.")
        .def_property(
            "switch_laser_off", [](const SequencePoint& p) { return p.switchLaserOff != 0; },
            [](SequencePoint& p, bool v) { p.switchLaserOff = v; }, "Switch the laser off at the end of the dwell.")
        .def_property(
            "wait_for_mirror", [](const SequencePoint& p) { return p.waitForMirror != 0; },
            [](SequencePoint& p, bool v) { p.waitForMirror = v; }, "Wait for the mirrors to settle before the light.")
        .def_property(
            "stamps",
            [](const SequencePoint& p) {
                std::vector<std::pair<unsigned, unsigned>> out;
                for (unsigned int i = 0; i < p.intensityCount; ++i)
                    out.emplace_back(p.intensityList[i].time, p.intensityList[i].intensity);
                return out;
            },
            [](SequencePoint& p, const std::vector<std::pair<unsigned, unsigned>>& stamps) {
                std::vector<IntensityStamp> list;
                for (auto& s : stamps) list.push_back({s.first, s.second});
                p.SetIntensityList(list.data(), static_cast<unsigned int>(list.size()));
            },
            "Intensity changes during the dwell: (ticks from the start of the light, intensity), ascending.");

    py::class_<SequenceLine, SequenceObject>(
        m, "SequenceLine", "A straight scan in camera coordinates (through the first laser's calibration).")
        .def(py::init([](Point start, Point end, py::kwargs kw) {
                 auto l = std::make_unique<SequenceLine>(ToPoint(start), ToPoint(end));
                 Keywords(*l, kw);
                 return l;
             }),
             py::arg("start"), py::arg("end"), (std::string("A line from `start` to `end`.") + kCommonKeywords).c_str())
        .def_property(
            "start", [](const SequenceLine& l) { return PointTuple(l.start); },
            [](SequenceLine& l, Point p) { l.start = ToPoint(p); }, "Where the line begins (camera coordinates).")
        .def_property(
            "end", [](const SequenceLine& l) { return PointTuple(l.end); },
            [](SequenceLine& l, Point p) { l.end = ToPoint(p); }, "Where the line ends (camera coordinates).");

    py::class_<SequenceEllipse, SequenceObject>(m, "SequenceEllipse",
                                                "An ellipse, outlined or filled, in camera coordinates.")
        .def(py::init([](double x, double y, double w, double h, bool fill, bool fillPath, py::kwargs kw) {
                 auto e = std::make_unique<SequenceEllipse>(x, y, w, h, fill ? 1 : 0);
                 e->fillPath = fillPath ? 1 : 0;
                 Keywords(*e, kw);
                 return e;
             }),
             py::arg("x"), py::arg("y"), py::arg("width"), py::arg("height"), py::arg("fill") = false,
             py::arg("fill_path") = false,
             (std::string("Axis-parallel bounding rectangle at (x, y); `fill_path` fills with one continuous "
                          "path of rings instead of hatch lines.") +
              kCommonKeywords)
                 .c_str())
        .def_static(
            "from_corners",
            [](std::vector<Point> corners, bool fill, py::kwargs kw) {
                if (corners.size() != 3) throw py::value_error("corners: three consecutive corners of the rectangle");
                std::vector<RPOINTF> c = ToPoints(corners);
                auto e = std::make_unique<SequenceEllipse>(c.data(), fill ? 1 : 0);
                ApplyKeywords(*e, kw, [&](const std::string& key, py::handle v) {
                    if (key != "fill_path") return false;
                    e->fillPath = v.cast<bool>();
                    return true;
                });
                return e;
            },
            py::arg("corners"), py::arg("fill") = false,
            "Three consecutive corners of a possibly rotated bounding rectangle.")
        .def_property(
            "fill", [](const SequenceEllipse& e) { return e.fill != 0; },
            [](SequenceEllipse& e, bool v) { e.fill = v; }, "Fill the ellipse instead of drawing its outline.")
        .def_property(
            "fill_path", [](const SequenceEllipse& e) { return e.fillPath != 0; },
            [](SequenceEllipse& e, bool v) { e.fillPath = v; }, "Fill along the outline path rather than in rows.")
        .def_property_readonly(
            "corners",
            [](const SequenceEllipse& e) {
                return py::make_tuple(PointTuple(e.corners[0]), PointTuple(e.corners[1]), PointTuple(e.corners[2]));
            },
            "The three corners of the ellipse's box, as from_corners takes them.");

    py::class_<SequencePolygon, SequenceObject>(m, "SequencePolygon", R"doc(
A path through points (camera coordinates), or with `fill` the area it encloses hatched. The
outline is not closed: repeat the first point at the end for a closed outline.)doc")
        .def(py::init([](std::vector<Point> points, bool fill, py::kwargs kw) {
                 std::vector<RPOINTF> p = ToPoints(points);
                 auto e =
                     std::make_unique<SequencePolygon>(p.data(), static_cast<unsigned int>(p.size()), fill ? 1 : 0);
                 Keywords(*e, kw);
                 return e;
             }),
             py::arg("points"), py::arg("fill") = false,
             (std::string("`points`: a sequence of (x, y) or an N x 2 array.") + kCommonKeywords).c_str())
        .def_property(
            "fill", [](const SequencePolygon& e) { return e.fill != 0; },
            [](SequencePolygon& e, bool v) { e.fill = v; }, "Fill the polygon instead of drawing its outline.")
        .def_property(
            "points",
            [](const SequencePolygon& e) {
                py::array_t<double> out({static_cast<py::ssize_t>(e.pointCount), py::ssize_t{2}});
                auto w = out.mutable_unchecked<2>();
                for (unsigned int i = 0; i < e.pointCount; ++i) {
                    w(i, 0) = e.points[i].x;
                    w(i, 1) = e.points[i].y;
                }
                return out;
            },
            [](SequencePolygon& e, std::vector<Point> points) {
                std::vector<RPOINTF> p = ToPoints(points);
                e.SetPolygonPoints(p.data(), static_cast<unsigned int>(p.size()));
            },
            "The points as an N x 2 float64 array (a copy).");

    py::class_<SequenceJump, SequenceObject>(m, "SequenceJump", R"doc(
At its start_tick, execution continues at `target_tick`, repeat_count times; then the sequence
goes on behind the jump. `counter` is the device loop counter (at least 2; nested loops need
different counters).)doc")
        .def(py::init([](unsigned int target, unsigned int repeat, unsigned char counter, py::kwargs kw) {
                 auto j = std::make_unique<SequenceJump>(target, repeat, counter);
                 Keywords(*j, kw);
                 return j;
             }),
             py::arg("target_tick"), py::arg("repeat_count"), py::arg("counter") = 2,
             "Jumps back to `target_tick` `repeat_count` times, counting with loop counter `counter`.")
        .def_readwrite("target_tick", &SequenceJump::targetTick, "tick the jump goes back to")
        .def_readwrite("counter", &SequenceJump::counter, "which of the device's loop counters the jump uses");

    py::class_<SequenceWaitTTL, SequenceObject>(m, "SequenceWaitTTL",
                                                "Waits until an input (Input0 or Input1) triggers.")
        .def(py::init([](InputPorts port, TriggerBehaviour trigger, py::kwargs kw) {
                 auto w = std::make_unique<SequenceWaitTTL>(port, trigger);
                 Keywords(*w, kw);
                 return w;
             }),
             py::arg("port"), py::arg("trigger") = Trigger1, "Waits until `port` triggers as `trigger` says.")
        .def_readwrite("port", &SequenceWaitTTL::port, "the trigger input waited for")
        .def_readwrite("trigger", &SequenceWaitTTL::trigger,
                       "whether the input must be high (Trigger1) or low (Trigger2)");

    py::class_<SequenceWaitUser, SequenceObject>(m, "SequenceWaitUser",
                                                 "Waits until Device.acknowledge_wait_for_user().")
        .def(py::init([](unsigned short value, py::kwargs kw) {
                 auto w = std::make_unique<SequenceWaitUser>(value);
                 Keywords(*w, kw);
                 return w;
             }),
             py::arg("value") = 0, "Waits until the user acknowledges (Device.acknowledge_wait_for_user).")
        .def_readwrite("value", &SequenceWaitUser::value, "value the device reports while it waits");

    py::class_<SequenceSetTTL, SequenceObject>(m, "SequenceSetTTL", "Sets a switching line to `value`.")
        .def(py::init([](OutputPorts port, int value, py::kwargs kw) {
                 auto s = std::make_unique<SequenceSetTTL>(port, value);
                 Keywords(*s, kw);
                 return s;
             }),
             py::arg("port"), py::arg("value"), "Sets line `port` to `value` (0 or 1).")
        .def_readwrite("port", &SequenceSetTTL::port, "the switching line")
        .def_readwrite("value", &SequenceSetTTL::value, "the level it is set to (0 or 1)");

    py::class_<SequencePulseTTL, SequenceObject>(m, "SequencePulseTTL", "A short pulse on a switching line.")
        .def(py::init([](OutputPorts port, py::kwargs kw) {
                 auto s = std::make_unique<SequencePulseTTL>(port);
                 Keywords(*s, kw);
                 return s;
             }),
             py::arg("port"), "A short pulse on line `port`.")
        .def_readwrite("port", &SequencePulseTTL::port, "the switching line pulsed");

    py::class_<SequenceSetAnalog, SequenceObject>(m, "SequenceSetAnalog",
                                                  "Sets a laser output's analog channel to `value` (0..10000).")
        .def(py::init([](OutputPorts port, unsigned short value, py::kwargs kw) {
                 auto s = std::make_unique<SequenceSetAnalog>(port, value);
                 Keywords(*s, kw);
                 return s;
             }),
             py::arg("port"), py::arg("value"), "Sets the analog channel of laser output `port` to `value` (0..10000).")
        .def_readwrite("port", &SequenceSetAnalog::port, "the laser output whose analog channel is set")
        .def_property(
            "value", [](const SequenceSetAnalog& s) { return s.intensities[0]; },
            [](SequenceSetAnalog& s, unsigned int v) { s.intensities[0] = v; }, "The analog value, 0..10000.");

    py::class_<SequenceElementTiming>(m, "SequenceElementTiming", "Timing of one element as compiled, in ticks.")
        .def_readonly("start_tick", &SequenceElementTiming::startTick, "tick at which the element begins")
        .def_readonly("duration", &SequenceElementTiming::duration, "from start_tick to the end, loops included")
        .def_readonly("illumination", &SequenceElementTiming::illumination, "ticks with light")
        .def("__repr__", [](const SequenceElementTiming& t) {
            return "SequenceElementTiming(start_tick=" + std::to_string(t.startTick) +
                   ", duration=" + std::to_string(t.duration) + ", illumination=" + std::to_string(t.illumination) +
                   ")";
        });

    py::class_<SequenceAnalysis>(m, "SequenceAnalysis", "What a sequence compiles to, without a device.")
        .def_readonly("result", &SequenceAnalysis::result,
                      "the result an upload would have from compiling: 0, 2, 3 or 4")
        .def_readonly("failed_element", &SequenceAnalysis::failedElement,
                      "index of the element that failed, -1 when none")
        .def_readonly("reason", &SequenceAnalysis::reason, "why it failed, in words")
        .def_readonly("elements", &SequenceAnalysis::elements, "per element, in order")
        .def_property_readonly(
            "image",
            [](const SequenceAnalysis& a) {
                return py::bytes(reinterpret_cast<const char*>(a.image.data()), a.image.size());
            },
            "the image as it would be uploaded (main list, then output list)")
        .def_property_readonly(
            "memory_usage", [](const SequenceAnalysis& a) { return a.image.size(); },
            "bytes of device memory the sequence needs")
        .def_readonly("main_list_length", &SequenceAnalysis::mainListLength,
                      "bytes of the main list at the start of the image")
        .def_property_readonly(
            "clamped_positions",
            [](const SequenceAnalysis& a) {
                py::list out;
                for (const ClampedPosition& c : a.clampedPositions) {
                    py::dict d;
                    d["element"] = c.element;
                    d["asked"] = py::make_tuple(c.askedX, c.askedY);
                    d["used"] = py::make_tuple(c.usedX, c.usedY);
                    d["positions"] = c.positions;
                    out.append(d);
                }
                return out;
            },
            "elements with positions outside the mirror field: index, asked and used (device) position, "
            "how many positions were moved")
        .def_readonly("tick_time", &SequenceAnalysis::tickTime, "microseconds per tick it was compiled with")
        .def_property_readonly(
            "ok", [](const SequenceAnalysis& a) { return a.result == 0; }, "True when it compiled (result 0).");

    m.def(
        "analyze_sequence",
        [](py::object elements) {
            ElementArray a = Collect(elements);
            WarnUncontrolledIntensities(a);
            SequenceAnalysis analysis;
            {
                py::gil_scoped_release release;
                analysis = AnalyzeOffline(a);
            }
            WarnClamped(analysis);
            return analysis;
        },
        py::arg("elements"),
        "Compiles without a device at the default tick time (50 us): per element its start, duration "
        "and light, the element that fails and why, and the image. Warns (UserWarning) for every element "
        "with positions outside the mirror field 0..65535, which the device would light on the field's edge.");

    // Sequence files, read by the command-line tool's reader.
    py::class_<LoadedSequence>(m, "LoadedSequence", R"doc(
A sequence file with its lasers defined on a Device (removed again when this object goes) and
its start ticks laid out; upload it with Device.upload.)doc")
        .def_property_readonly(
            "path", [](const LoadedSequence& s) { return s.Compiled().file.path; }, "the file it was read from")
        .def_property_readonly(
            "description", [](const LoadedSequence& s) { return s.Compiled().file.description; },
            "the file's description text")
        .def_property_readonly(
            "tick_time", [](const LoadedSequence& s) { return s.Compiled().file.tickTime; },
            "microseconds per tick the file asks for")
        .def_property_readonly(
            "laser_ids",
            [](const LoadedSequence& s) {
                py::dict out;
                const auto& ids = s.defined->LaserIds();
                for (size_t i = 0; i < ids.size() && i < s.Compiled().file.lasers.size(); ++i)
                    out[py::str(s.Compiled().file.lasers[i].name)] = ids[i];
                return out;
            },
            "Laser name -> identifier on the device.")
        .def_property_readonly(
            "elements",
            [](const LoadedSequence& s) {
                py::list out;
                for (const auto& entry : s.Compiled().file.elements) out.append(py::cast(Clone(*entry.element)));
                return out;
            },
            "Copies of the elements, with their start ticks and laser identifiers.")
        .def_property_readonly(
            "pointers",
            [](const LoadedSequence& s) {
                std::vector<std::string> out;
                for (const auto& entry : s.Compiled().file.elements) out.push_back(entry.pointer);
                return out;
            },
            "The JSON pointer of each element in the file.")
        .def_property_readonly(
            "analysis", [](const LoadedSequence& s) { return s.Compiled().analysis; }, "what the sequence compiles to")
        .def_property_readonly(
            "end_tick", [](const LoadedSequence& s) { return s.Compiled().endTick; },
            "the tick at which the last element ends")
        .def(
            "preview",
            [](const LoadedSequence& s, const std::filesystem::path& svg, const std::filesystem::path& png) {
                return TraceSummary(ToolCall("preview", [&] {
                    py::gil_scoped_release release;
                    return preview::WritePreview(s.Compiled(), svg.string(), png.string());
                }));
            },
            py::arg("svg"), py::arg("png") = "", "Draws the sequence (SVG, and the dose map as PNG when given).");

    m.def(
        "check_sequence_file",
        [](const std::filesystem::path& path) {
            return ToolCall("check_sequence_file", [&] {
                py::gil_scoped_release release;
                // Offline: the file's own lasers and timing; the process's state stays as it is.
                sequence_file::CompiledSequence compiled(sequence_file::ReadSequenceFile(path.string()));
                compiled.ThrowIfFailed();
                return compiled.analysis;
            });
        },
        py::arg("path"),
        "Reads and compiles a sequence file without a device, as `korvan check` does; raises "
        "KorvanError (with `pointer`, the JSON pointer of the fault) for a bad file.");

    m.def(
        "preview",
        [](py::object source, const std::filesystem::path& svg, const std::filesystem::path& png) {
            if (py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__")) {
                const std::string path = py::module_::import("os").attr("fspath")(source).cast<std::string>();
                return TraceSummary(ToolCall("preview", [&] {
                    py::gil_scoped_release release;
                    sequence_file::CompiledSequence compiled(sequence_file::ReadSequenceFile(path));
                    compiled.ThrowIfFailed();
                    return preview::WritePreview(compiled, svg.string(), png.string());
                }));
            }
            ElementArray a = Collect(source);
            return TraceSummary(ToolCall("preview", [&] {
                py::gil_scoped_release release;
                korvan::SequenceSettings settings;
                SequenceAnalysis analysis = AnalyzeOffline(a, &settings);
                if (analysis.result != 0)
                    throw sequence_file::DeviceError(
                        "element " + std::to_string(analysis.failedElement) + ": " + analysis.reason, analysis.result);
                // The lasers as defined (port, active level, intensity control), the ones the elements name.
                std::vector<preview::TraceLaser> lasers;
                const auto all = sequence_file::PreviewLasersOf(settings.lasers, settings.laserCount);
                for (unsigned int i = 0; i < settings.laserCount && lasers.size() < 4; ++i) {
                    const unsigned int id = settings.lasers[i].id;
                    const bool named = std::any_of(a.pointers.begin(), a.pointers.end(), [id](SequenceObject* e) {
                        return std::find(std::begin(e->laserIds), std::end(e->laserIds), id) != std::end(e->laserIds);
                    });
                    if (named) lasers.push_back(all[i]);
                }
                preview::BeamTrace trace = preview::TraceCompiled(analysis, lasers);
                preview::WritePictures(trace, lasers, preview::LegendOf("sequence", analysis, trace, a.pointers.size()),
                                       analysis.tickTime, svg.string(), png.string());
                return trace;
            }));
        },
        py::arg("source"), py::arg("svg"), py::arg("png") = "",
        "Draws a sequence file (path) or a list of elements, as `korvan preview` does: the SVG of the "
        "beam paths and, when `png` is given, the dose map. Returns a summary of the executed trace.");

    // The Device's sequence operations.
    auto device = py::reinterpret_borrow<py::class_<Device>>(m.attr("Device"));
    device
        .def("upload", &Upload, py::arg("elements"), py::arg("progress") = py::none(), R"doc(
Compiles the elements (a list, or a LoadedSequence) and stores the image in the device; returns
the sequence number. `progress(bytes_sent, total)` is called during the image transfer;
returning False (or raising, or Ctrl-C) cancels it: KorvanError code 1 with failure
'Cancelled'. A short rest of the image is sent and the stored image deleted, so the next command
goes at once; after a long rest, or a broken line, the next command waits about 1.5 s until the
device has dropped the partial image. The interpreter lock is released meanwhile.)doc")
        .def(
            "calc_memory_usage",
            [](Device& d, py::object elements) {
                ElementArray a = Collect(elements);
                unsigned int size = 0;
                Check(d.handle->Call([&](Korvan& k) { return k.CalcMemoryUsage(a.Data(), a.Count(), &size); }),
                      "calc_memory_usage");
                return size;
            },
            py::arg("elements"), "Bytes of device memory the elements need.")
        .def(
            "get_timing",
            [](Device& d, const SequenceObject& element) {
                std::unique_ptr<SequenceObject> e = Clone(element);
                unsigned int duration = 0, illumination = 0;
                Check(d.handle->Call([&](Korvan& k) { return k.GetTiming(*e, &duration, &illumination); }),
                      "get_timing");
                return py::make_tuple(duration, illumination);
            },
            py::arg("element"), "(duration, illumination) of one element in ticks of this device's tick time.")
        .def(
            "analyze",
            [](Device& d, py::object elements) {
                ElementArray a = Collect(elements);
                WarnUncontrolledIntensities(a);
                return WarnClamped(d.handle->Call([&](Korvan& k) { return Analyze(k, a); }));
            },
            py::arg("elements"), "As analyze_sequence (with its warnings), at this device's tick time.")
        .def(
            "start_sequence",
            [](Device& d, unsigned short number, InputPorts input, TriggerBehaviour trigger, unsigned int runs) {
                Check(d.handle->Call([&](Korvan& k) { return k.StartSequence(number, input, trigger, runs); }),
                      "start_sequence");
            },
            py::arg("sequence_number"), py::arg("input") = NoInput, py::arg("trigger") = Trigger1, py::arg("runs") = 1,
            "Runs a stored sequence `runs` times (0: until stop()). Idle only.")
        .def("wait", &WaitForEnd, py::arg("timeout") = py::none(), py::arg("poll_interval") = 0.02, R"doc(
Waits until no sequence runs (the state is Idle or Calibrating again); False when `timeout`
seconds pass first. Ctrl-C stops the sequence and raises KeyboardInterrupt. The interpreter lock is
released between the state queries.)doc")
        .def(
            "run",
            [](Device& d, py::object elements, unsigned int runs, py::object progress, std::optional<double> timeout) {
                const unsigned short number = Upload(d, elements, progress);
                Check(d.handle->Call([&](Korvan& k) { return k.StartSequence(number, NoInput, Trigger1, runs); }),
                      "start_sequence");
                if (!WaitForEnd(d, timeout, 0.02)) {
                    d.handle->Call([](Korvan& k) { return k.Stop(); });
                    throw py::value_error("the sequence did not end within the time-out; it was stopped");
                }
                return number;
            },
            py::arg("elements"), py::arg("runs") = 1, py::arg("progress") = py::none(), py::arg("timeout") = py::none(),
            "Uploads, starts at once and waits for the end; returns the sequence number.")
        .def(
            "load_sequence_file",
            [](Device& d, const std::filesystem::path& path) {
                auto loaded = std::make_unique<LoadedSequence>();
                loaded->device = d.handle;
                ToolCall("load_sequence_file", [&] {
                    sequence_file::SequenceFile file;
                    {
                        py::gil_scoped_release release;
                        file = sequence_file::ReadSequenceFile(path.string());
                    }
                    d.handle->Call([&](Korvan& k) {
                        // Uploading on this device: its tick time and the process's scan mode follow the file.
                        sequence_file::ApplyFileTiming(k, file);
                        loaded->defined = std::make_unique<sequence_file::DefinedSequence>(k, std::move(file));
                        return 0;
                    });
                    loaded->Compiled().ThrowIfFailed();
                    return 0;
                });
                return loaded;
            },
            py::arg("path"), R"doc(
Reads a sequence file (the command-line tool's format, docs/sequence-format.md), sets its tick
time on this device and its scan mode (which every device of the process shares), defines its
lasers and lays out its starts. Raises
KorvanError with `pointer` for a fault in the file.)doc");
}

}  // namespace pykorvan
