#pragma once
// A stand-in for the scanning device on a pseudo-terminal, for tests, demos and korvan-sim.
//
//   sim::VirtualDevice device;            // default identity: type 3, serial "123-4567", ...
//   device.Start();                       // opens the pseudo-terminal, starts the device thread
//   RS232 port; port.Connect(name);       // name = device.PortName(), e.g. "pts/5"
//
// The device answers on the master side of the pseudo-terminal through its responders (see
// responder.h for their order; the bootloader is asked last). It keeps a trace of
// what the host sent, tells which line rate the host configured, and commits the faults it is
// given. All members may be called from any thread while the device runs.
//
// Inside, three parts under one lock: the line (line.h: the pseudo-terminal and its faults), the
// router (router.h: responders and reply faults) and the responders themselves. This class wires
// them together and runs the device's thread.
#include <sim/bootloader_responder.h>
#include <sim/detail/pty.h>
#include <sim/device_sequence_runner.h>
#include <sim/fault.h>
#include <sim/identity.h>
#include <sim/line.h>
#include <sim/responder.h>
#include <sim/router.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace sim {

struct Options {
    Identity identity;
    // A UART running at another rate than the sender reads garbage: bytes that arrive while the
    // host's configured rate differs from the device's are counted as garbled and dropped.
    bool checkLineRate = true;
    // Pending input that stays incomplete this long is discarded and the responders reset; so is
    // a transfer of several parts (an announced sequence image) whose data pauses this long.
    int staleInputMs = 1000;
    /// Sequence clock: 0 as fast as possible (tests), 1 real time, s: s wall seconds per device
    /// second (see device_sequence_runner.h).
    double timeScale = 0;
    /// When set, the executed timeline is written there as CSV (sim/image/timeline.h): the file is
    /// created at Start(), the new records are appended whenever a run ends, the rest at Stop().
    std::string timelinePath{};
    /// Records the executed timeline keeps in memory; later ones are only counted.
    size_t timelineCapacity = image::Timeline::kDefaultCapacity;
    /// Keep every byte the host sent, for BytesFromHost. Long runs that watch memory turn it off.
    bool keepHostBytes = true;
    /// >= 0: the device itself gives every wait for an input (and an armed start) its level once
    /// it has held this many wall-clock milliseconds, for runs nobody is there to trigger; -1: only
    /// SetInput does.
    int autoInputMs = -1;
};

class DeviceResponder;

class VirtualDevice {
public:
    explicit VirtualDevice(Options options = {});
    explicit VirtualDevice(const Identity& identity);
    ~VirtualDevice();
    VirtualDevice(const VirtualDevice&) = delete;
    VirtualDevice& operator=(const VirtualDevice&) = delete;

    // Adds a protocol; it is asked before the bootloader and before responders added later.
    void AddResponder(std::unique_ptr<Responder> responder);

    // Opens the pseudo-terminal and starts answering. False (with `error`) when it cannot.
    bool Start(std::string* error = nullptr);
    // Stops answering and closes the pseudo-terminal. Also done by the destructor.
    void Stop();
    // "pts/N" while started: the name RS232::Connect takes (and TESSEL_EXTRA_PORTS lists).
    const std::string& PortName() const { return line_.PortName(); }

    // Fault injection. Rules apply to replies in the order added (see fault.h).
    void AddFault(const FaultRule& rule);
    void ClearFaults();
    // Line noise: the `n`th byte the host sends from now on (0 = the next) arrives XORed with `mask`.
    void CorruptInputByte(size_t n, uint8_t mask = 0xFF);
    // The line goes away once `n` more bytes have arrived from the host (mid-transfer).
    void DropLineAfterInputBytes(size_t n);
    // The line goes away now; returns once it has.
    void DropLine();
    // Unsolicited bytes to the host, as from a disturbed line.
    void SendToHost(const std::vector<uint8_t>& bytes);

    // Observations.
    int LineRate() const;      // the device's own UART rate
    int HostLineRate() const;  // the rate the host has configured on its side, read now
    bool InProgramMode() const;
    bool LineGone() const { return line_.Gone(); }
    int RequestCount(int request) const;  // requests answered, by request code
    FirmwareUpdateRecord LastUpdate() const;
    std::vector<uint8_t> BytesFromHost() const;  // everything received, in order (kept unless keepHostBytes is off)
    size_t GarbledBytes() const;                 // dropped for a line-rate mismatch
    size_t UnclaimedBytes() const;               // dropped because no protocol took them
    void SetIdentity(const Identity& identity);

    // Sequence execution (the device command protocol's running sequence).
    /// Sets trigger input `port` (0 to 3) high or low; a waiting sequence may go on.
    void SetInput(int port, bool high);
    /// A copy of the executed timeline so far.
    image::Timeline ExecutedTimeline() const;
    void ClearTimeline();
    RunState GetRunState() const;
    /// Waits until no sequence runs; false when one still runs after `timeoutMs`.
    bool WaitUntilIdle(int timeoutMs);

    // Runs `f(T*)` under the device's lock with the first responder of type T (null if none).
    template <class T, class F>
    auto WithResponder(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& r : router_.Responders())
            if (auto* t = dynamic_cast<T*>(r.get())) return f(t);
        return f(static_cast<T*>(nullptr));
    }
    // Runs `f(SimState&)` under the device's lock.
    template <class F>
    auto WithState(F&& f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(state_);
    }

private:
    VirtualDevice(Options options, std::unique_ptr<BootloaderResponder> bootloader);
    void Run();
    // Offers the pending input to the responders until it runs out or the line is to go.
    void Answer(std::vector<Outgoing>& out);

    Options options_;
    std::thread thread_;
    std::atomic<bool> stop_{false};

    mutable std::mutex mutex_;
    SimState state_;
    Line line_;
    // The two responders this device created itself, for the accessors above. The bootloader's
    // pointer is declared before the router, which takes ownership of it.
    BootloaderResponder* bootloader_ = nullptr;
    DeviceResponder* device_ = nullptr;
    Router router_;
};

}  // namespace sim
