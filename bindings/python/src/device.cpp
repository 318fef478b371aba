// Devices: discovery, the Device handle (connection, state, outputs, moves, memory, user data,
// lasers, calibration runs), calibration tables and their quality report, firmware updates.
#include "common.h"

#include "tools/discovery.h"

#include <korvan/version.h>
#include <tessel/bootloader/bootloader.h>

#include <pybind11/stl.h>

#include <optional>
#include <regex>
#include <tuple>
#include <utility>
#include <vector>

namespace pykorvan {
namespace {

using Point = std::pair<double, double>;

py::tuple PointTuple(const RPOINTF& p) { return py::make_tuple(p.x, p.y); }

DeviceInfo ConnectedInfo(Device& d) {
    DeviceInfo info{};
    Check(d.handle->Call([&](Korvan& k) { return k.GetDeviceInfo(-1, &info); }), "get_device_info");
    return info;
}

}  // namespace

void Device::Connect(const std::string& target) {
    const unsigned int r = handle->Call([&](Korvan& k) { return k.Connect(target.c_str()); });
    if (r == korvan::ResultSuccess) return;
    DeviceInfo info{};
    const bool connected = handle->Call([&](Korvan& k) { return k.GetDeviceInfo(-1, &info); }) == 0;
    // Connect walks every port for a serial number; when it ends unconnected none carried it.
    if (!connected && std::regex_match(target, std::regex("[0-9]{3}-[0-9]{4}")))
        RaiseResult(r, "connect", tools::NoDeviceWithSerialNumber(target, tools::ListPorts().size()));
    RaiseResult(r, "connect");
}

void BindDevice(py::module_& m) {
    m.attr("library_version") = KorvanVersion();

    py::class_<DeviceInfo>(m, "DeviceInfo", "One device found by search() or the connected device (Device.info).")
        .def_property_readonly(
            "port_name", [](const DeviceInfo& i) { return std::string(i.portName); },
            "serial port name, as enumerated (\"ttyUSB0\", \"pts/3\")")
        .def_property_readonly(
            "serial_number", [](const DeviceInfo& i) { return std::string(i.serialNumber); },
            "three digits, a hyphen, four digits")
        .def_property_readonly(
            "description", [](const DeviceInfo& i) { return std::string(i.description); },
            "what the device calls itself")
        .def_readonly("revision", &DeviceInfo::revision, "hardware revision")
        .def_readonly("bootloader_version", &DeviceInfo::bootloaderVersion, "version of the device's bootloader")
        .def_readonly("firmware_version", &DeviceInfo::firmwareVersion, "version of the device's firmware")
        .def_readonly("device_type", &DeviceInfo::deviceType, "always 3 for this kind of device")
        .def_readonly("device_sub_type", &DeviceInfo::deviceSubType, "device variant")
        .def("__repr__", [](const DeviceInfo& i) {
            return "DeviceInfo(port_name='" + std::string(i.portName) + "', serial_number='" +
                   std::string(i.serialNumber) + "', firmware_version=" + std::to_string(i.firmwareVersion) + ")";
        });

    m.def(
        "list_ports",
        [] {
            py::gil_scoped_release release;
            return tools::ListPorts();
        },
        "The serial port names enumeration lists, in its order (TESSEL_EXTRA_PORTS and "
        "TESSEL_NO_HARDWARE_PORTS apply; the active console is never listed).");

    m.def(
        "search",
        [] {
            Korvan k;
            std::vector<DeviceInfo> found;
            {
                py::gil_scoped_release release;
                const unsigned int n = k.Search();
                for (unsigned int i = 0; i < n; ++i) {
                    DeviceInfo info{};
                    if (k.GetDeviceInfo(static_cast<int>(i), &info) == 0) found.push_back(info);
                }
            }
            return found;
        },
        "Asks every listed serial port for a device of this kind; their identities.");

    m.def(
        "update_firmware",
        [](const std::string& port, py::bytes image, int parameter, py::object progress, int timeoutMs) {
            std::string data = image;
            ProgressScope scope(progress);
            bool ok = false;
            const char* stage = "the bootloader did not answer";
            {
                py::gil_scoped_release release;
                Bootloader bootloader(port.c_str(), timeoutMs, true);
                if (bootloader.IsDeviceInfoAvailable()) {
                    stage = "the device did not enter programming mode";
                    if (bootloader.EnterBootloader()) {
                        stage = "the firmware update failed";
                        bootloader.progressCallback = &ProgressScope::Trampoline;
                        ok = bootloader.UpdateFirmware(parameter, reinterpret_cast<unsigned char*>(data.data()),
                                                       static_cast<long>(data.size()));
                    }
                }
            }
            scope.Finish();
            if (!ok) RaiseResult(korvan::ResultCommunicationError, "update_firmware", stage);
        },
        py::arg("port"), py::arg("image"), py::arg("parameter") = 0, py::arg("progress") = py::none(),
        py::arg("timeout_ms") = 1000,
        "Writes a raw firmware image through the bootloader of the device on `port` (not while a "
        "Device is connected to it). `progress(done, total)` is called per block. The interpreter "
        "lock is released while the image is written.");

    py::class_<Device>(m, "Device", R"doc(
Handle on one device, a context manager: leaving the block ends a calibration run (laser off)
and disconnects, which stops what runs and hands the device back at 9600 baud.

    with korvan.Device("123-4567") as dev:      # serial number or port name ("pts/3")
        dev.move_absolute(32768, 32768)

Connecting stops what runs, clears the device's errors and erases its stored sequences.
A result code other than success raises KorvanError. Lasers live in one list shared by every
Device of the process, independent of any connection.)doc")
        .def(py::init([](std::optional<std::string> target, bool keepBaudRate) {
                 auto d = std::make_unique<Device>(keepBaudRate);
                 if (target) d->Connect(*target);
                 return d;
             }),
             py::arg("target") = py::none(), py::kw_only(), py::arg("keep_baud_rate") = false,
             "Connects at once when `target` (port name or serial number) is given; "
             "`keep_baud_rate` stays at 9600 baud.")
        .def("connect", &Device::Connect, py::arg("target"),
             "Connects to a device given by port name or serial number.")
        .def("disconnect", &Device::Close,
             "Ends a calibration run, stops and resets the device, returns it to 9600 baud and closes "
             "the port. Harmless when not connected.")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__",
             [](Device& d, py::args) {
                 d.Close();
                 return false;
             })
        .def(
            "__repr__",
            [](Device& d) {
                // The cached identity only: a repr sends nothing to the device.
                DeviceInfo info{};
                if (d.handle->Call([&](Korvan& k) { return k.GetDeviceInfo(-1, &info); }) != 0)
                    return std::string("Device(not connected)");
                return "Device(port_name=" + ValueRepr(py::str(info.portName)) +
                       ", serial_number=" + ValueRepr(py::str(info.serialNumber)) + ")";
            },
            "Port name and serial number of the connected device.")
        .def_property_readonly("info", &ConnectedInfo, "Identity of the connected device.")
        .def_property_readonly("state", &Device::GetState,
                               "The device's state, queried now (NotConnected when the query fails).")
        .def(
            "get_state",
            [](Device& d) {
                State state = NotConnected;
                unsigned int counter = 0;
                unsigned short status = 0;
                Check(d.handle->Call([&](Korvan& k) { return k.GetState(&state, &counter, &status); }), "get_state");
                return py::make_tuple(state, counter, status);
            },
            "(state, sequence counter, status word); the status word from firmware 16 on, else 0.")
        .def_property_readonly(
            "last_device_error",
            [](Device& d) { return d.handle->Call([](Korvan& k) { return k.GetLastDeviceError(); }); },
            "The device error bits collected since the last clear.")
        .def(
            "clear_last_device_error",
            [](Device& d) {
                Check(d.handle->Call([](Korvan& k) { return k.ClearLastDeviceError(); }), "clear_last_device_error");
            },
            "Clears the device error bits (see last_device_error).")
        .def(
            "acknowledge_wait_for_user",
            [](Device& d) {
                Check(d.handle->Call([](Korvan& k) { return k.AcknowledgeWaitForUser(); }),
                      "acknowledge_wait_for_user");
            },
            "Releases a sequence that waits for the user.")
        .def(
            "stop", [](Device& d) { Check(d.handle->Call([](Korvan& k) { return k.Stop(); }), "stop"); },
            "Ends whatever runs: a sequence is stopped, a calibration ended.")
        .def(
            "delete_all_sequences",
            [](Device& d) {
                Check(d.handle->Call([](Korvan& k) { return k.DeleteAllSequences(); }), "delete_all_sequences");
            },
            "Deletes every sequence the device stores.")
        // Outputs, motion and timing
        .def(
            "set_output_default",
            [](Device& d, OutputPorts port, int level) {
                Check(d.handle->Call([&](Korvan& k) { return k.SetOutputDefault(port, level); }), "set_output_default");
            },
            py::arg("port"), py::arg("level"),
            "The level a switching line takes when no sequence drives it. Idle only.")
        .def(
            "get_output_default",
            [](Device& d, OutputPorts port) {
                int level = 0;
                Check(d.handle->Call([&](Korvan& k) { return k.GetOutputDefault(port, &level); }),
                      "get_output_default");
                return level;
            },
            py::arg("port"), "The level a switching line takes when no sequence drives it.")
        .def(
            "set_tick_time",
            [](Device& d, unsigned int us) {
                Check(d.handle->Call([&](Korvan& k) { return k.SetTickTime(us); }), "set_tick_time");
            },
            py::arg("microseconds"), "Length of a device tick (50 us by default). Idle only.")
        .def(
            "set_scan_mode",
            [](Device& d, ScanMode mode) { d.handle->Call([&](Korvan& k) { return k.SetScanMode(mode); }); },
            py::arg("mode"), "Scan lead of compiled sequences, for all devices of the process.")
        .def(
            "move_absolute",
            [](Device& d, unsigned int x, unsigned int y) {
                Check(d.handle->Call([&](Korvan& k) { return k.MoveAbsolute(x, y); }), "move_absolute");
            },
            py::arg("x"), py::arg("y"), "Moves the mirrors to (x, y), each 0..65535. Idle or Calibrating.")
        .def(
            "move_relative",
            [](Device& d, int dx, int dy) {
                Check(d.handle->Call([&](Korvan& k) { return k.MoveRelative(dx, dy); }), "move_relative");
            },
            py::arg("dx"), py::arg("dy"), "Moves the mirrors by (dx, dy); the target must stay in 0..65535.")
        .def_property_readonly(
            "actual_position",
            [](Device& d) {
                tagPOINT p{};
                Check(d.handle->Call([&](Korvan& k) { return k.GetActualPosition(&p); }), "get_actual_position");
                return py::make_tuple(p.x, p.y);
            },
            "The mirrors' position (x, y), read from the device.")
        // Sequence memory and user data
        .def(
            "stored_sequences",
            [](Device& d) {
                std::vector<std::pair<unsigned int, unsigned int>> out;
                d.handle->Call([&](Korvan& k) {
                    const unsigned int n = k.GetSequenceCount();
                    for (unsigned int i = 0; i < n; ++i) {
                        SequenceMemoryInfo info{};
                        if (k.GetMemoryUsage(i, &info) == 0) out.emplace_back(info.sequenceNumber, info.size);
                    }
                    return 0u;
                });
                return out;
            },
            "The sequences the device stores: (sequence number, bytes) each.")
        .def(
            "available_memory",
            [](Device& d) {
                unsigned int freeBytes = 0, largest = 0;
                Check(d.handle->Call([&](Korvan& k) { return k.GetAvailableMemory(&freeBytes, &largest); }),
                      "get_available_memory");
                return py::make_tuple(freeBytes, largest);
            },
            "(free bytes, largest contiguous free block) of the sequence memory.")
        .def(
            "delete_sequence",
            [](Device& d, unsigned short number) {
                Check(d.handle->Call([&](Korvan& k) { return k.DeleteSequence(number); }), "delete_sequence");
            },
            py::arg("sequence_number"), "Deletes one stored sequence.")
        .def_property(
            "user_data",
            [](Device& d) {
                unsigned char* data = nullptr;
                unsigned int length = 0;
                Check(d.handle->Call([&](Korvan& k) { return k.GetUserData(&data, &length); }), "get_user_data");
                py::bytes out(reinterpret_cast<const char*>(data), length);
                d.handle->korvan.FreeUserData(data);  // the library's own release, no device traffic
                return out;
            },
            [](Device& d, py::bytes value) {
                std::string data = value;
                Check(d.handle->Call([&](Korvan& k) {
                    return k.SetUserData(reinterpret_cast<const unsigned char*>(data.data()),
                                         static_cast<unsigned int>(data.size()));
                }),
                      "set_user_data");
            },
            "The device's user data block (1 to 60 bytes when written). Idle only.")
        // Lasers
        .def(
            "add_laser",
            [](Device& d, OutputPorts port, unsigned int switchOnDelay, unsigned int switchOffDelay,
               unsigned int intensityDelay, unsigned int minIntensity, unsigned int maxIntensity,
               unsigned int pulseFrequency, int activeLevel, unsigned int warmUpTime) {
                const LaserSettings settings{port,         switchOnDelay,  switchOffDelay, intensityDelay, minIntensity,
                                             maxIntensity, pulseFrequency, activeLevel,    warmUpTime};
                unsigned int id = 0;
                Check(d.handle->Call([&](Korvan& k) { return k.AddLaser(settings, &id); }), "add_laser");
                return id;
            },
            py::arg("port"), py::kw_only(), py::arg("switch_on_delay") = 0, py::arg("switch_off_delay") = 0,
            py::arg("intensity_delay") = 0, py::arg("min_intensity") = 0, py::arg("max_intensity") = 10000,
            py::arg("pulse_frequency") = 0, py::arg("active_level") = 1, py::arg("warm_up_time") = 0,
            "Defines a laser and returns its identifier. Delays are microseconds; min/max intensity "
            "(0..10000) are the analog levels of intensity 0 and 10000: by default the full range, as in "
            "sequence files; equal values mean no intensity control (the laser fires at full power "
            "whatever intensity an element asks for). pulse_frequency 0 is a continuous laser. active_level "
            "is the line level that switches the laser on: 1 or 0 (any other value raises KorvanError with "
            "RESULT_INVALID_ARGUMENT).")
        .def(
            "remove_laser",
            [](Device& d, unsigned int id) {
                Check(d.handle->Call([&](Korvan& k) { return k.RemoveLaser(id); }), "remove_laser");
            },
            py::arg("laser_id"), "Deletes a laser with its calibration.")
        .def(
            "get_port_for_laser",
            [](Device& d, unsigned int id) {
                OutputPorts port = NoOutput;
                Check(d.handle->Call([&](Korvan& k) { return k.GetPortForLaser(id, &port); }), "get_port_for_laser");
                return port;
            },
            py::arg("laser_id"), "The output a laser is on.")
        .def(
            "set_port_for_laser",
            [](Device& d, unsigned int id, OutputPorts port) {
                Check(d.handle->Call([&](Korvan& k) { return k.SetPortForLaser(id, port); }), "set_port_for_laser");
            },
            py::arg("laser_id"), py::arg("port"), "Moves a laser to another laser output (or NoOutput).")
        .def(
            "get_laser_step_size",
            [](Device& d, unsigned int id) {
                int step = 0;
                Check(d.handle->Call([&](Korvan& k) { return k.GetLaserStepSize(id, &step); }), "get_laser_step_size");
                return step;
            },
            py::arg("laser_id"), "Device units between the points of lines and shapes.")
        .def(
            "set_laser_step_size",
            [](Device& d, unsigned int id, int step) {
                Check(d.handle->Call([&](Korvan& k) { return k.SetLaserStepSize(id, step); }), "set_laser_step_size");
            },
            py::arg("laser_id"), py::arg("step_size"), "Sets a laser's scan step size (device units, at least 1).")
        .def(
            "get_laser",
            [](Device& d, unsigned int id) {
                auto laser = std::make_unique<Laser>();
                Check(d.handle->Call([&](Korvan& k) { return k.GetLaser(id, laser.get()); }), "get_laser");
                return laser;
            },
            py::arg("laser_id"),
            "A copy of a laser's whole definition: what add_laser took, its intensity, step size and "
            "calibration table.")
        .def(
            "set_laser_on_off",
            [](Device& d, unsigned int id, bool on) {
                Check(d.handle->Call([&](Korvan& k) { return k.SetLaserONOFF(id, on ? 1 : 0); }), "set_laser_on_off");
            },
            py::arg("laser_id"), py::arg("on"), "Switches a continuous laser on or off. Idle or Calibrating.")
        .def(
            "set_laser_intensity",
            [](Device& d, unsigned int id, unsigned int intensity) {
                Check(d.handle->Call([&](Korvan& k) { return k.SetLaserIntensity(id, intensity); }),
                      "set_laser_intensity");
            },
            py::arg("laser_id"), py::arg("intensity"), "0..10000; sent at once in Idle or Calibrating.")
        // Calibration runs
        .def(
            "start_calibration",
            [](Device& d, unsigned int count, unsigned int id) {
                Check(d.handle->Call([&](Korvan& k) { return k.StartCalibration(count, id); }), "start_calibration");
            },
            py::arg("point_count"), py::arg("laser_id"),
            "Starts a run of 3 or a square number of points with the laser lit. Idle only.")
        .def(
            "set_calibration_intensity",
            [](Device& d, unsigned int intensity) {
                Check(d.handle->Call([&](Korvan& k) { return k.SetCalibrationIntensity(intensity); }),
                      "set_calibration_intensity");
            },
            py::arg("intensity"), "The intensity (0..10000) of calibration runs; applied at once during a run.")
        .def(
            "set_calibration_point",
            [](Device& d, unsigned int index, Point camera, std::optional<Point> device) {
                const RPOINTF c(camera.first, camera.second);
                Check(d.handle->Call([&](Korvan& k) {
                    return device ? k.SetCalibrationPoint(index, c, RPOINTF(device->first, device->second))
                                  : k.SetCalibrationPoint(index, c);
                }),
                      "set_calibration_point");
            },
            py::arg("index"), py::arg("camera"), py::arg("device") = py::none(),
            "Records point `index`: its camera pixel and the device position (read from the mirrors "
            "when omitted). The last index ends the run; the laser goes off.")
        .def(
            "reset_calibration",
            [](Device& d, unsigned int id) {
                Check(d.handle->Call([&](Korvan& k) { return k.ResetCalibration(id); }), "reset_calibration");
            },
            py::arg("laser_id"), "Gives a laser the 16-point identity table again.")
        .def(
            "get_device_coordinates",
            [](Device& d, Point camera, unsigned int id) {
                RPOINTF out;
                Check(d.handle->Call([&](Korvan& k) {
                    return k.GetDeviceCoordinates(RPOINTF(camera.first, camera.second), &out, id);
                }),
                      "get_device_coordinates");
                return PointTuple(out);
            },
            py::arg("camera"), py::arg("laser_id"), "Maps a camera pixel through a laser's table.")
        .def(
            "load_calibration",
            [](Device& d, const std::filesystem::path& path, unsigned int id) {
                const unsigned int r =
                    d.handle->Call([&](Korvan& k) { return k.LoadCalibration(path.string().c_str(), id); });
                if (r == korvan::ResultSuccess) return;
                // The device call gives a code only; a refused file is read once more for its reason.
                Calibration scratch;
                std::string why;
                if (korvan::LoadCalibrationFile(scratch, path.string().c_str(), &why) != 0) {
                    if (!std::filesystem::exists(path)) RaiseFileNotFound(r, "load_calibration", path, why);
                    RaiseMessage(r, "load_calibration", why);
                }
                RaiseResult(r, "load_calibration");
            },
            py::arg("path"), py::arg("laser_id"),
            "Loads a laser's table from a file; a refused file raises KorvanError saying why and "
            "leaves the table in force.")
        .def(
            "save_calibration",
            [](Device& d, const std::filesystem::path& path, unsigned int id) {
                Check(d.handle->Call([&](Korvan& k) { return k.SaveCalibration(path.string().c_str(), id); }),
                      "save_calibration");
            },
            py::arg("path"), py::arg("laser_id"), "Saves a laser's table as an INI file.");

    py::class_<Laser>(m, "LaserDefinition", "A copy of one laser's definition (Device.get_laser).")
        .def_readonly("id", &Laser::id, "identifier of the laser")
        .def_readonly("port", &Laser::port, "the output the laser is on")
        .def_readonly("switch_on_delay", &Laser::switchOnDelay, "microseconds the laser needs after switching on")
        .def_readonly("switch_off_delay", &Laser::switchOffDelay, "microseconds after switching off")
        .def_readonly("intensity_delay", &Laser::intensityDelay, "microseconds an intensity change needs")
        .def_readonly("min_intensity", &Laser::minIntensity, "analog level of intensity 0 (0..10000)")
        .def_readonly("max_intensity", &Laser::maxIntensity, "analog level of intensity 10000 (0..10000)")
        .def_readonly("intensity", &Laser::intensity, "the intensity last set (0..10000)")
        .def_readonly("pulse_frequency", &Laser::pulseFrequency, "pulses per second; 0 for a continuous laser")
        .def_readonly("warm_up_time", &Laser::warmUpTime, "microseconds")
        .def_readonly("active_level", &Laser::activeLevel, "line level that switches the laser on (1 or 0)")
        .def_property_readonly(
            "intensity_controlled", [](const Laser& l) { return l.CanChangeIntensity() != 0; },
            "True when elements' intensities apply (min_intensity below max_intensity); otherwise the "
            "laser fires at full power whenever it is on")
        .def_property_readonly(
            "step_size", [](const Laser& l) { return l.calibration->scanStepSize; },
            "device units between the points of lines and shapes")
        .def_property_readonly(
            "calibration", [](const Laser& l) { return Calibration(*l.calibration); },
            "a copy of the laser's calibration table")
        .def("__repr__", [](py::handle self) {
            return ReprOf(
                self, {"id", "port", "min_intensity", "max_intensity", "intensity", "pulse_frequency", "active_level",
                       "switch_on_delay", "switch_off_delay", "intensity_delay", "warm_up_time", "step_size"});
        });

    py::class_<CalibrationPointQuality>(m, "CalibrationPointQuality",
                                        "How well one recorded point agrees with the rest of the table.")
        .def_readonly("leave_one_out_device", &CalibrationPointQuality::leaveOneOutDevice,
                      "error in device units when this point is predicted from the others")
        .def_readonly("leave_one_out_pixels", &CalibrationPointQuality::leaveOneOutPixels,
                      "the same error in camera pixels")
        .def_readonly("affine_deviation", &CalibrationPointQuality::affineDeviation,
                      "distance from the best affine fit of all points, device units")
        .def_readonly("in_folded_cell", &CalibrationPointQuality::inFoldedCell,
                      "True when the point belongs to a folded grid cell");

    py::class_<CalibrationQuality>(m, "CalibrationQuality", R"doc(
The quality report of a calibration table. Compare errors with `grid_spacing` (device units
between grid neighbours): `looks_sound()` asks for every leave-one-out error below 5 % of it
and no folded cell. A good table usually stays well below that; a folded cell almost always means two points were swapped or one was clicked on the wrong spot.)doc")
        .def_readonly("result", &CalibrationQuality::result, "0 when assessed; 2 without a usable grid")
        .def_readonly("point_count", &CalibrationQuality::pointCount, "number of points assessed")
        .def_readonly("grid_size", &CalibrationQuality::gridSize, "points per row and column of the grid")
        .def_readonly("grid_spacing", &CalibrationQuality::gridSpacing, "device units between grid neighbours")
        .def_readonly("grid_spacing_pixels", &CalibrationQuality::gridSpacingPixels,
                      "camera pixels between grid neighbours")
        .def_readonly("leave_one_out_mean", &CalibrationQuality::leaveOneOutMean,
                      "mean leave-one-out error, device units")
        .def_readonly("leave_one_out_max", &CalibrationQuality::leaveOneOutMax,
                      "largest leave-one-out error, device units")
        .def_readonly("leave_one_out_mean_pixels", &CalibrationQuality::leaveOneOutMeanPixels,
                      "mean leave-one-out error, camera pixels")
        .def_readonly("leave_one_out_max_pixels", &CalibrationQuality::leaveOneOutMaxPixels,
                      "largest leave-one-out error, camera pixels")
        .def_readonly("worst_point", &CalibrationQuality::worstPoint,
                      "index of the point with the largest leave-one-out error")
        .def_readonly("scale_x", &CalibrationQuality::scaleX, "device units per camera pixel along x of the affine fit")
        .def_readonly("scale_y", &CalibrationQuality::scaleY, "device units per camera pixel along y of the affine fit")
        .def_readonly("rotation_degrees", &CalibrationQuality::rotationDegrees, "rotation of the affine fit in degrees")
        .def_readonly("skew_degrees", &CalibrationQuality::skewDegrees, "skew of the affine fit in degrees")
        .def_readonly("mirrored", &CalibrationQuality::mirrored,
                      "True when camera and device axes are mirrored against each other")
        .def_readonly("affine_max_deviation", &CalibrationQuality::affineMaxDeviation,
                      "largest distance of a point from the affine fit, device units")
        .def_readonly("affine_max_deviation_pixels", &CalibrationQuality::affineMaxDeviationPixels,
                      "the same in camera pixels")
        .def_readonly("affine_worst_point", &CalibrationQuality::affineWorstPoint,
                      "index of the point farthest from the affine fit")
        .def_readonly("folded_cells", &CalibrationQuality::foldedCells,
                      "indices of grid cells whose corners are out of order")
        .def_readonly("points", &CalibrationQuality::points, "the quality of each point, in table order")
        .def("looks_sound", &CalibrationQuality::LooksSound,
             "No folded cell and every leave-one-out error below 5 % of the grid spacing.")
        .def("__repr__", [](const CalibrationQuality& q) {
            return "CalibrationQuality(point_count=" + std::to_string(q.pointCount) +
                   ", leave_one_out_max=" + std::to_string(q.leaveOneOutMax) +
                   ", folded_cells=" + std::to_string(q.foldedCells.size()) +
                   ", looks_sound=" + (q.LooksSound() ? "True" : "False") + ")";
        });

    py::class_<Calibration>(m, "Calibration", R"doc(
A laser's calibration table: camera/device point pairs evaluated piecewise affinely, plus the
scan step size. A new table is an identity grid over the device range 0..65535.)doc")
        .def(py::init<unsigned int>(), py::arg("point_count") = 16,
             "A new identity table of `point_count` points (3 or a square number).")
        .def_static(
            "load",
            [](const std::filesystem::path& path) {
                auto c = std::make_unique<Calibration>();
                unsigned int r;
                std::string why;
                {
                    py::gil_scoped_release release;
                    r = korvan::LoadCalibrationFile(*c, path.string().c_str(), &why);
                }
                if (r != korvan::ResultSuccess && !std::filesystem::exists(path))
                    RaiseFileNotFound(r, "load_calibration", path, why);
                if (r != korvan::ResultSuccess) RaiseMessage(r, "load_calibration", why);
                return c;
            },
            py::arg("path"),
            "Reads a file written by save(); raises KorvanError saying why for a file that is missing "
            "or holds a missing, unreadable or out-of-range value.")
        .def(
            "save",
            [](Calibration& c, const std::filesystem::path& path) {
                Check(c.SaveCalibration(path.string().c_str()), "save_calibration");
            },
            py::arg("path"), "Writes the table as an INI file (replaced only when complete).")
        .def_readwrite("scan_step_size", &Calibration::scanStepSize,
                       "device units between the points of lines and shapes")
        .def_readonly("point_count", &Calibration::pointCount, "number of points of the table")
        .def(
            "init", [](Calibration& c, unsigned int n) { Check(c.Init(n), "init"); }, py::arg("point_count"),
            "Replaces the table by an identity grid of `point_count` points.")
        .def(
            "set_calibration_point",
            [](Calibration& c, unsigned int index, Point camera, Point device) {
                Check(c.SetCalibrationPoint(index, RPOINTF(camera.first, camera.second),
                                            RPOINTF(device.first, device.second)),
                      "set_calibration_point");
            },
            py::arg("index"), py::arg("camera"), py::arg("device"),
            "Sets point `index` of the table: its camera pixel and device position.")
        .def_property_readonly(
            "points",
            [](const Calibration& c) {
                std::vector<std::tuple<Point, Point>> out;
                for (unsigned int i = 0; i < c.pointCount; ++i) {
                    const CalibrationPoint& p = c.calibrationPoints[i];
                    out.emplace_back(Point(p.camera.x, p.camera.y), Point(p.device.x, p.device.y));
                }
                return out;
            },
            "((camera x, y), (device x, y)) per point, row by row.")
        .def(
            "device_coordinates",
            [](Calibration& c, Point camera) {
                return PointTuple(c.DeviceCoordinates(RPOINTF(camera.first, camera.second)));
            },
            py::arg("camera"), "Device position of a camera pixel (truncated).")
        .def(
            "camera_coordinates",
            [](Calibration& c, Point device) {
                return PointTuple(c.CameraCoordinates(RPOINTF(device.first, device.second)));
            },
            py::arg("device"), "Camera pixel of a device position (truncated).")
        .def("assess", &AssessCalibration, "The quality report of this table (no device needed).");
}

}  // namespace pykorvan
