#pragma once
// The virtual device for applications: a stand-in for the scanner that runs inside the
// application's own process, for its tests and demos. A Korvan object connects to it as to real
// hardware, through a pseudo-terminal (so POSIX only); it answers the device protocols, runs
// uploaded sequences and records what they did.
//
//   sim::VirtualScanner device;                 // ScannerOptions: e.g. timeScale = 1 for real time
//   std::string error;
//   if (!device.Start(&error)) { ... }          // opens the pseudo-terminal, starts its thread
//   Korvan scanner;
//   scanner.Connect(device.PortName().c_str());
//   ...                                         // upload and start a sequence as usual
//   device.WaitUntilIdle(1000);
//   sim::image::Timeline timeline = device.ExecutedTimeline();
//
// Link the target korvan::sim (find_package(korvan) brings it). Every member may be called from
// any thread while the device runs. Within this project, tests use the fuller sim::VirtualDevice
// behind it (sim/virtual_device.h, not installed).
#include <sim/camera_mapping.h>
#include <sim/export.h>
#include <sim/fault.h>
#include <sim/image/timeline.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace sim {

class VirtualCamera;
class VirtualDevice;

struct ScannerOptions {
    /// Sequence clock: 0 runs sequences as fast as the computer can (tests), 1 in real time,
    /// s: s wall-clock seconds for each device second.
    double timeScale = 0;
    /// >= 0: a wait for a trigger input (and a start armed on one) is given its level once it
    /// has held this many milliseconds, for runs nobody triggers; -1: only SetInput gives it.
    int autoInputMs = -1;
    /// Timeline records kept in memory; later ones are only counted (Timeline::Dropped).
    std::size_t timelineCapacity = image::Timeline::kDefaultCapacity;
    /// The serial number the device reports, up to 8 characters.
    std::string serialNumber = "123-4567";
};

/// The device's outputs at one moment, which real hardware cannot report.
struct ScannerOutputs {
    /// Digital line levels by line code: 0 and 1 the TTL outputs, 6 to 9 laser outputs 1 to 4.
    std::array<std::uint8_t, 10> lineLevels{};
    /// Analog values by channel code: 2 mirror X, 3 mirror Y, 4 to 7 laser outputs 1 to 4.
    std::array<std::uint16_t, 8> analog{};
    /// Pulses given so far, by digital line code.
    std::array<std::uint32_t, 10> pulseCounts{};
    /// The number of the sequence that runs, -1 when none does.
    int runningSequence = -1;
};

class KORVAN_SIM_API VirtualScanner {
public:
    explicit VirtualScanner(const ScannerOptions& options = {});
    /// Stops the device.
    ~VirtualScanner();
    VirtualScanner(const VirtualScanner&) = delete;
    VirtualScanner& operator=(const VirtualScanner&) = delete;

    /// Opens the pseudo-terminal and starts answering. False, with the reason in `error` when
    /// given, if no pseudo-terminal can be had. Starting a started device does nothing.
    bool Start(std::string* error = nullptr);
    /// Stops answering and closes the pseudo-terminal; the recorded timeline stays.
    void Stop();
    /// The name to pass to Korvan::Connect while started, e.g. "pts/5"; empty before.
    std::string PortName() const;

    /// Sets trigger input `port` (0 to 3) high or low; a sequence waiting for it may go on.
    void SetInput(int port, bool high);

    /// Adds a fault the device commits on its replies (see sim/fault.h); rules apply in the order
    /// added, the first one that matches a request decides.
    void AddFault(const FaultRule& rule);
    /// Forgets the faults not yet committed.
    void ClearFaults();
    /// The line goes away now, as an unplugged cable; returns once it has.
    void DropLine();

    /// A copy of what the executed sequences did so far, in device time (sim/image/timeline.h).
    image::Timeline ExecutedTimeline() const;
    /// Forgets the timeline recorded so far.
    void ClearTimeline();
    /// Waits until no sequence runs; false when one still runs after `timeoutMs`.
    bool WaitUntilIdle(int timeoutMs);
    /// The device's outputs now.
    ScannerOutputs Outputs() const;

private:
    friend class ScannerCamera;
    std::unique_ptr<VirtualDevice> device_;
};

/// A camera looking at a virtual scanner's field: where the beam spot appears in its image
/// (the mapping is in sim/camera_mapping.h). The spot is visible while a laser line is at its
/// active level and while a running sequence pulses a laser line. Use it from one thread; it
/// must not outlive its scanner.
class KORVAN_SIM_API ScannerCamera {
public:
    explicit ScannerCamera(VirtualScanner& scanner, const CameraMapping& mapping = {});
    ~ScannerCamera();
    ScannerCamera(const ScannerCamera&) = delete;
    ScannerCamera& operator=(const ScannerCamera&) = delete;

    /// Sets the level that lights the laser on laser output 1 to 4 (1, active high, by default).
    void SetActiveLevel(int laserOutput, int level);
    /// Where the spot is now: the mirrors' position through the mapping, if a laser is on.
    CameraSpot Look();
    /// The mapping without noise.
    CameraPoint DeviceToCamera(double x, double y) const;
    /// Its inverse: the device position whose spot lands on pixel (x, y).
    CameraPoint CameraToDevice(double x, double y) const;

private:
    std::unique_ptr<VirtualCamera> camera_;
};

}  // namespace sim
