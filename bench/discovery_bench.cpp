// Discovery over many ports, some of them silent (a port with nothing behind it, or a slow
// Bluetooth port, costs a whole reply time-out and the fast-rate probes after it). Sixteen ports:
// eight virtual devices and eight silent pseudo-terminals, interleaved. Asked one by one, as
// discovery did before, against side by side through the library's Search and the tool's list.
#include <korvan/korvan.h>
#include <sim/virtual_device.h>
#include <tools/discovery.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

constexpr int kProbeTimeoutMs = 500;  // the library's and the tool's bootloader time-out

// A pseudo-terminal whose far end never answers.
class SilentPort {
public:
    SilentPort() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) name_ = ptsname(master_) + 5;  // "pts/N"
    }
    ~SilentPort() {
        if (master_ >= 0) close(master_);
    }
    const std::string& Name() const { return name_; }

private:
    int master_ = -1;
    std::string name_;
};

struct SixteenPorts {
    std::vector<std::unique_ptr<sim::VirtualDevice>> devices;
    std::vector<std::unique_ptr<SilentPort>> silent;
    std::vector<std::string> order;

    SixteenPorts() {
        for (int i = 0; i < 8; ++i) {
            sim::Identity id;
            id.serialNumber = "100-000" + std::to_string(i);
            devices.push_back(std::make_unique<sim::VirtualDevice>(id));
            devices.back()->Start();
            silent.push_back(std::make_unique<SilentPort>());
            order.push_back(silent.back()->Name());
            order.push_back(devices.back()->PortName());
        }
        std::string list;
        for (const std::string& port : order) list += (list.empty() ? "" : ":") + port;
        setenv("TESSEL_NO_HARDWARE_PORTS", "1", 1);
        setenv("TESSEL_EXTRA_PORTS", list.c_str(), 1);
    }
};

SixteenPorts& Ports() {
    static SixteenPorts ports;
    return ports;
}

void BM_OneByOne(benchmark::State& state) {
    const std::vector<std::string> ports = tools::ListPorts();
    int found = 0;
    for (auto _ : state) {
        found = 0;
        for (const std::string& port : ports) {
            tools::FoundDevice d;
            found += tools::Identify(port, kProbeTimeoutMs, &d) ? 1 : 0;
        }
    }
    state.counters["ports"] = static_cast<double>(ports.size());
    state.counters["devices"] = found;
}

void BM_SideBySide(benchmark::State& state) {
    const std::vector<std::string> ports = tools::ListPorts();
    int found = 0;
    for (auto _ : state) {
        found = 0;
        for (const std::optional<tools::FoundDevice>& d : tools::IdentifyAll(ports, kProbeTimeoutMs))
            found += d ? 1 : 0;
    }
    state.counters["ports"] = static_cast<double>(ports.size());
    state.counters["devices"] = found;
}

void BM_KorvanSearch(benchmark::State& state) {
    Korvan k;
    unsigned int found = 0;
    for (auto _ : state) found = k.Search();
    state.counters["devices"] = found;
}

void BM_ConnectBySerialNumber(benchmark::State& state) {
    Korvan k;
    unsigned int result = 0;
    for (auto _ : state) {
        result = k.Connect("100-0007");  // on the last port
        k.Disconnect();
    }
    state.counters["result"] = result;
}

}  // namespace

int main(int argc, char** argv) {
    Ports();
    for (auto* b : {benchmark::RegisterBenchmark("Discovery/OneByOne", BM_OneByOne),
                    benchmark::RegisterBenchmark("Discovery/SideBySide", BM_SideBySide),
                    benchmark::RegisterBenchmark("Discovery/KorvanSearch", BM_KorvanSearch),
                    benchmark::RegisterBenchmark("Discovery/ConnectBySerialNumber", BM_ConnectBySerialNumber)})
        b->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
