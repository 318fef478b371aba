#pragma once
// The soak cycle, shared by the soak benchmark and its short form in the test suite: upload,
// start, wait for the end and delete, against the virtual device at its fastest time scale, with
// the device memory fragmented and then defragmented by the upload every `defragEvery` cycles.
// Also reads the process's resident memory and open file descriptors.
#include <korvan/device/korvan.h>
#include <korvan/sequence/sequence_elements.h>
#include <sim/device_responder.h>
#include <sim/virtual_device.h>

#if !defined(_WIN32)
#include <dirent.h>
#include <unistd.h>
#endif

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace soak {

#if !defined(_WIN32)  // both read /proc
/// Resident memory of this process in KiB (0 when /proc cannot be read).
inline long ResidentKiB() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    const int n = std::fscanf(f, "%ld %ld", &pages, &resident);
    std::fclose(f);
    return n == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

/// Open file descriptors of this process.
inline int OpenFds() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    int count = 0;
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count - 3;  // ".", ".." and the directory's own descriptor
}
#endif

/// Elements of `points` device points one after the other, lit by laser `laser`.
inline std::vector<std::unique_ptr<SequenceObject>> Points(int points, unsigned int laser) {
    std::vector<std::unique_ptr<SequenceObject>> out;
    for (int i = 0; i < points; ++i) {
        auto p = std::make_unique<SequencePoint>(100.0 * i, 50.0 * i);
        p->useCalibration = 0;
        p->laserIds[0] = laser;
        p->startTick = 200u * static_cast<unsigned>(i);
        out.push_back(std::move(p));
    }
    return out;
}

struct Counts {
    unsigned long cycles = 0;
    unsigned long failures = 0;  ///< operations that did not give 0
    unsigned long defragmentations = 0;
    std::string firstFailure;
};

/// A connected Korvan object and a virtual device sized so that every `defragEvery`-th cycle
/// finds its memory fragmented.
class Soak {
public:
    Soak() : device_(Options()) {}
    ~Soak() {
        if (laser_ != 0) k_.RemoveLaser(laser_);
    }
    Soak(const Soak&) = delete;
    Soak& operator=(const Soak&) = delete;

    /// False, with the reason in Error(), when the device or the connection fails.
    bool Start() {
        if (!device_.Start(&error_)) return false;
        std::string name = device_.PortName();
        if (k_.Connect(name.data()) != 0) return Fail("connect failed");
        if (k_.AddLaser(0, 0, 0, LaserOutput1, 0, 0, 0, &laser_) != 0) return Fail("no laser");
        small_ = Points(2, laser_);
        big_ = Points(2 * kBigPoints, laser_);
        unsigned int smallSize = 0, bigSize = 0;
        if (unsigned r = Size(small_, &smallSize) + Size(big_, &bigSize)) return Fail("sizes: " + std::to_string(r));
        // Three small ones fill it but for half of one; with the first and third deleted the big
        // one fits in the total free memory but in no single gap.
        const uint32_t capacity = 3 * smallSize + smallSize / 2;
        if (bigSize <= smallSize + smallSize / 2 || bigSize > capacity - smallSize)
            return Fail("sizes do not fragment: " + std::to_string(smallSize) + ", " + std::to_string(bigSize));
        device_.WithResponder<sim::DeviceResponder>([&](sim::DeviceResponder* r) {
            if (r) r->Model().memory.SetCapacity(capacity);
        });
        return true;
    }

    /// One cycle; every `defragEvery`-th one goes through the fragmented memory.
    void Cycle(Counts& counts, unsigned long defragEvery) {
        ++counts.cycles;
        if (defragEvery > 0 && counts.cycles % defragEvery == 0) {
            unsigned short a = 0, b = 0, c = 0;
            Check(counts, Upload(small_, &a), "upload a");
            Check(counts, Upload(small_, &b), "upload b");
            Check(counts, Upload(small_, &c), "upload c");
            Check(counts, k_.DeleteSequence(a), "delete a");
            Check(counts, k_.DeleteSequence(c), "delete c");
            const int before = device_.RequestCount(0x44);
            Run(counts, big_);
            counts.defragmentations += static_cast<unsigned long>(device_.RequestCount(0x44) - before);
            Check(counts, k_.DeleteSequence(b), "delete b");
            return;
        }
        Run(counts, small_);
    }

    const std::string& Error() const { return error_; }
    Korvan& Device() { return k_; }
    sim::VirtualDevice& Virtual() { return device_; }

private:
    static constexpr int kBigPoints = 2;

    bool Fail(std::string why) {
        error_ = std::move(why);
        return false;
    }

    static sim::Options Options() {
        sim::Options o;
        o.timeScale = 0;          // as fast as possible
        o.timelineCapacity = 64;  // the soak watches memory, not what ran
        o.keepHostBytes = false;  // nor what was sent: the device's own log would grow
        return o;
    }

    static std::vector<SequenceObject*> Pointers(const std::vector<std::unique_ptr<SequenceObject>>& owned) {
        std::vector<SequenceObject*> out;
        for (auto& e : owned) out.push_back(e.get());
        return out;
    }
    unsigned int Size(const std::vector<std::unique_ptr<SequenceObject>>& owned, unsigned int* size) {
        auto elements = Pointers(owned);
        return k_.CalcMemoryUsage(elements.data(), static_cast<unsigned>(elements.size()), size);
    }
    unsigned int Upload(const std::vector<std::unique_ptr<SequenceObject>>& owned, unsigned short* number) {
        auto elements = Pointers(owned);
        return k_.UploadSequence(elements.data(), static_cast<unsigned>(elements.size()), number);
    }
    void Run(Counts& counts, const std::vector<std::unique_ptr<SequenceObject>>& owned) {
        unsigned short number = 0;
        if (!Check(counts, Upload(owned, &number), "upload")) return;
        Check(counts, k_.StartSequence(number, NoInput, Trigger1, 1), "start");
        if (!device_.WaitUntilIdle(5000)) Check(counts, 1, "wait for the end");
        device_.ClearTimeline();
        Check(counts, k_.DeleteSequence(number), "delete");
    }
    static bool Check(Counts& counts, unsigned int result, const char* what) {
        if (result == 0) return true;
        if (counts.failures++ == 0)
            counts.firstFailure =
                std::string(what) + " gave " + std::to_string(result) + " in cycle " + std::to_string(counts.cycles);
        return false;
    }

    sim::VirtualDevice device_;
    Korvan k_;
    std::vector<std::unique_ptr<SequenceObject>> small_, big_;
    std::string error_;
    unsigned int laser_ = 0;
};

}  // namespace soak
