// The virtual device in this process: start it, find it, drive its inputs, read what it
// executed (records or a numpy structured array), and a virtual camera looking at it.
#include "common.h"

#include <sim/virtual_camera.h>
#include <sim/virtual_device.h>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstddef>
#include <memory>
#include <optional>

namespace pykorvan {
namespace {

using sim::image::Event;
using sim::image::Record;

/// The device is shared with the cameras looking at it, so either may go first.
struct VirtualDevice {
    std::shared_ptr<sim::VirtualDevice> device;
    std::string listedPort;  // the name added to TESSEL_EXTRA_PORTS, removed again at stop

    ~VirtualDevice() {
        try {
            if (!listedPort.empty()) Stop();
        } catch (...) {
            // The interpreter is shutting down; the environment no longer matters.
        }
    }

    void Stop() {
        {
            py::gil_scoped_release release;
            device->Stop();
        }
        if (listedPort.empty()) return;
        // Leave the enumeration list as it was, but for this port.
        py::object environ = py::module_::import("os").attr("environ");
        std::string kept;
        const std::string ports = py::str(environ.attr("get")("TESSEL_EXTRA_PORTS", "")).cast<std::string>();
        size_t begin = 0;
        while (begin <= ports.size()) {
            size_t end = ports.find(':', begin);
            if (end == std::string::npos) end = ports.size();
            const std::string name = ports.substr(begin, end - begin);
            if (!name.empty() && name != listedPort) kept += (kept.empty() ? "" : ":") + name;
            begin = end + 1;
        }
        environ[py::str("TESSEL_EXTRA_PORTS")] = kept;
        listedPort.clear();
    }
};

struct VirtualCamera {
    std::shared_ptr<sim::VirtualDevice> device;
    std::unique_ptr<sim::VirtualCamera> camera;
    std::mutex mutex;  // a camera is for one thread at a time
};

py::dtype TimelineDType() {
    py::list names, formats, offsets;
    names.append("time_us"), formats.append("<u8"), offsets.append(offsetof(Record, timeUs));
    names.append("event"), formats.append("u1"), offsets.append(offsetof(Record, event));
    names.append("list"), formats.append("u1"), offsets.append(offsetof(Record, list));
    names.append("channel"), formats.append("<u2"), offsets.append(offsetof(Record, channel));
    names.append("value"), formats.append("<u4"), offsets.append(offsetof(Record, value));
    py::dict layout;
    layout["names"] = names, layout["formats"] = formats, layout["offsets"] = offsets,
    layout["itemsize"] = sizeof(Record);
    return py::dtype::from_args(layout);
}

}  // namespace

void BindVirtual(py::module_& m) {
    DefineIntEnum<Event>(m, "TimelineEvent", "What a timeline record reports (see VirtualDevice.timeline).",
                         {{"RunStart", Event::RunStart},
                          {"RunEnd", Event::RunEnd},
                          {"ListEnd", Event::ListEnd},
                          {"Stop", Event::Stop},
                          {"MirrorX", Event::MirrorX},
                          {"MirrorY", Event::MirrorY},
                          {"Line", Event::Line},
                          {"Pulse", Event::Pulse},
                          {"Analog", Event::Analog},
                          {"WaitInput", Event::WaitInput},
                          {"WaitUser", Event::WaitUser},
                          {"WaitReleased", Event::WaitReleased},
                          {"Jump", Event::Jump}});

    py::class_<Record>(m, "TimelineRecord", R"doc(
One executed step in device time. `channel` and `value` by event: run_start/run_end/stop
sequence and run number; list_end 0 and the list's end tick; mirror_x/mirror_y analog channel
and position; line digital line code and level; pulse line code; analog channel code and value;
wait_input input port and trigger; wait_user 0 and the wait's value; wait_released input port
(255 for a user wait) and microseconds it held; jump loop counter and target tick.)doc")
        .def_readonly("time_us", &Record::timeUs, "device time in microseconds since the start command")
        .def_readonly("event", &Record::event, "what happened (TimelineEvent)")
        .def_property_readonly(
            "event_name", [](const Record& r) { return std::string(sim::image::EventName(r.event)); },
            "the event as the CSV form names it (\"mirror_x\", ...)")
        .def_property_readonly(
            "list", [](const Record& r) { return std::string(sim::image::ListName(r.list)); },
            "\"main\", \"output\" or \"-\"")
        .def_readonly("channel", &Record::channel, "the output channel or input the record concerns")
        .def_readonly("value", &Record::value, "the value written or reached")
        .def("__eq__", [](const Record& a, const Record& b) { return a == b; })
        .def("__repr__", [](const Record& r) {
            return "TimelineRecord(" + std::to_string(r.timeUs) + " us, " + sim::image::EventName(r.event) + ", " +
                   sim::image::ListName(r.list) + ", " + std::to_string(r.channel) + ", " + std::to_string(r.value) +
                   ")";
        });

    // Registered before VirtualDevice, so that VirtualDevice.camera's signature names it.
    py::class_<VirtualCamera> camera(m, "VirtualCamera", R"doc(
A camera looking at a virtual device's scan field: it sees the spot while a laser line is at its
active level or a running sequence pulses a laser line.)doc");

    py::class_<VirtualDevice>(m, "VirtualDevice", R"doc(
The virtual device in this process, on a pseudo-terminal; a context manager that stops it.
It starts at once and, with `discoverable` (the default), its port joins TESSEL_EXTRA_PORTS so
that search() and Device("123-4567") find it. `time_scale` 0 runs sequences as fast as
possible, 1 in real time.

    with korvan.VirtualDevice() as sim, korvan.Device(sim.port_name) as dev:
        ...)doc")
        .def(py::init([](const std::string& serial, int firmware, double timeScale, size_t capacity,
                         const std::filesystem::path& timelinePath, bool discoverable) {
                 sim::Options options;
                 options.identity.serialNumber = serial;
                 options.identity.firmwareVersion = firmware;
                 options.timeScale = timeScale;
                 options.timelineCapacity = capacity;
                 options.timelinePath = timelinePath.string();
                 auto v = std::make_unique<VirtualDevice>();
                 v->device = std::make_shared<sim::VirtualDevice>(options);
                 std::string error;
                 bool started;
                 {
                     py::gil_scoped_release release;
                     started = v->device->Start(&error);
                 }
                 if (!started) throw std::runtime_error("cannot start the virtual device: " + error);
                 if (discoverable) {
                     py::object environ = py::module_::import("os").attr("environ");
                     std::string ports = py::str(environ.attr("get")("TESSEL_EXTRA_PORTS", "")).cast<std::string>();
                     ports += (ports.empty() ? "" : ":") + v->device->PortName();
                     environ[py::str("TESSEL_EXTRA_PORTS")] = ports;
                     v->listedPort = v->device->PortName();
                 }
                 return v;
             }),
             py::kw_only(), py::arg("serial_number") = "123-4567", py::arg("firmware_version") = 16,
             py::arg("time_scale") = 0.0, py::arg("timeline_capacity") = sim::image::Timeline::kDefaultCapacity,
             py::arg("timeline_path") = "", py::arg("discoverable") = true,
             "Starts a virtual device on a new pseudo-terminal (see the class description).")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__",
             [](VirtualDevice& v, py::args) {
                 v.Stop();
                 return false;
             })
        .def("stop", &VirtualDevice::Stop, "Stops answering and closes the pseudo-terminal.")
        .def_property_readonly(
            "port_name", [](const VirtualDevice& v) { return v.device->PortName(); },
            "\"pts/N\": the name Device() takes")
        .def(
            "set_input", [](VirtualDevice& v, int port, bool high) { v.device->SetInput(port, high); }, py::arg("port"),
            py::arg("high"), "Sets trigger input 0..3 high or low; a waiting sequence may go on.")
        .def(
            "timeline", [](VirtualDevice& v) { return v.device->ExecutedTimeline().Records(); },
            "The executed records so far, oldest first.")
        .def(
            "timeline_array",
            [](VirtualDevice& v) {
                auto records = std::make_unique<std::vector<Record>>(v.device->ExecutedTimeline().Records());
                const py::ssize_t n = static_cast<py::ssize_t>(records->size());
                Record* data = records->data();
                // The array owns the copied records through the capsule: no second copy.
                py::capsule owner(records.release(), [](void* p) { delete static_cast<std::vector<Record>*>(p); });
                return py::array(TimelineDType(), {n}, {static_cast<py::ssize_t>(sizeof(Record))}, data, owner);
            },
            "The executed records as a numpy structured array (time_us, event, list, channel, value); "
            "`event` holds TimelineEvent values, `list` 0 main, 1 output, 2 none.")
        .def_property_readonly(
            "timeline_dropped", [](VirtualDevice& v) { return v.device->ExecutedTimeline().Dropped(); },
            "Records that did not fit into the timeline's capacity.")
        .def(
            "clear_timeline", [](VirtualDevice& v) { v.device->ClearTimeline(); },
            "Forgets the records executed so far.")
        .def(
            "wait_until_idle",
            [](VirtualDevice& v, double timeout) {
                py::gil_scoped_release release;
                return v.device->WaitUntilIdle(static_cast<int>(timeout * 1000));
            },
            py::arg("timeout") = 5.0, "Waits until no sequence runs; False when one still runs after `timeout` s.")
        .def_property_readonly(
            "sequence_active", [](VirtualDevice& v) { return v.device->GetRunState().active; },
            "A started sequence has not ended or been stopped.")
        .def(
            "camera",
            [](VirtualDevice& v, double scaleX, double scaleY, double rotation, double centerX, double centerY,
               double distortion, double noise, std::uint32_t seed) {
                sim::CameraMapping mapping;
                mapping.scaleX = scaleX, mapping.scaleY = scaleY, mapping.rotationDegrees = rotation;
                mapping.centerX = centerX, mapping.centerY = centerY, mapping.distortion = distortion;
                mapping.noisePixels = noise, mapping.seed = seed;
                auto c = std::make_unique<VirtualCamera>();
                c->device = v.device;
                c->camera = std::make_unique<sim::VirtualCamera>(*v.device, mapping);
                return c;
            },
            py::kw_only(), py::arg("scale_x") = 0.0125, py::arg("scale_y") = 0.0125, py::arg("rotation_degrees") = 3.0,
            py::arg("center_x") = 640.0, py::arg("center_y") = 512.0, py::arg("distortion") = 0.005,
            py::arg("noise_pixels") = 0.0, py::arg("seed") = 1,
            "A camera looking at this device's scan field (scale in pixels per device unit, rotation, "
            "the pixel of the field's centre, radial distortion, Gaussian noise with a fixed seed).");

    camera
        .def(
            "__repr__",
            [](VirtualCamera& c) {
                return "VirtualCamera(port_name=" + ValueRepr(py::str(c.device->PortName())) + ")";
            },
            "The virtual device the camera looks at.")
        .def(
            "look",
            [](VirtualCamera& c) -> std::optional<std::pair<double, double>> {
                py::gil_scoped_release release;
                std::lock_guard<std::mutex> lock(c.mutex);
                const sim::CameraSpot spot = c.camera->Look();
                if (!spot.visible) return std::nullopt;
                return std::make_pair(spot.x, spot.y);
            },
            "The spot's pixel (x, y), or None while no laser is on.")
        .def(
            "set_active_level",
            [](VirtualCamera& c, int output, int level) {
                std::lock_guard<std::mutex> lock(c.mutex);
                c.camera->SetActiveLevel(output, level);
            },
            py::arg("laser_output"), py::arg("level"), "The level that lights the laser on laser output 1..4.")
        .def(
            "device_to_camera",
            [](VirtualCamera& c, double x, double y) {
                const sim::CameraPoint p = c.camera->DeviceToCamera(x, y);
                return py::make_tuple(p.x, p.y);
            },
            py::arg("x"), py::arg("y"), "The mapping itself, without noise.")
        .def(
            "camera_to_device",
            [](VirtualCamera& c, double x, double y) {
                const sim::CameraPoint p = c.camera->CameraToDevice(x, y);
                return py::make_tuple(p.x, p.y);
            },
            py::arg("x"), py::arg("y"), "Its inverse: the device position whose spot lands on pixel (x, y).");
}

}  // namespace pykorvan
