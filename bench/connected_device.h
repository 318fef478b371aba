#pragma once
// A Korvan object connected to an in-process virtual device, for the benchmarks that talk to one.
#include <korvan/korvan.h>
#include <sim/virtual_device.h>

#include <benchmark/benchmark.h>

#include <string>

/// Starts `device` and connects `korvan` to it. On failure the benchmark is skipped with the
/// reason and the result is false.
inline bool ConnectToVirtualDevice(benchmark::State& state, sim::VirtualDevice& device, Korvan& korvan) {
    std::string error;
    if (!device.Start(&error)) {
        state.SkipWithError(error.c_str());
        return false;
    }
    if (korvan.Connect(device.PortName().c_str()) != 0) {
        state.SkipWithError("cannot connect to the virtual device");
        return false;
    }
    return true;
}
