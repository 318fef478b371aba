#pragma once
// End-to-end tests: a Korvan object against the virtual device on a pseudo-terminal, with the
// enumeration limited to the virtual devices' ports and the process-wide state put back after.
#include <korvan/device/korvan.h>
#include <sim/device_responder.h>
#include <support/process_state_guard.h>
#include <support/scoped_env.h>
#include <sim/virtual_device.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace devicetest {

using testsupport::ProcessStateGuard;

using testsupport::ScopedEnv;

class SimTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim.Start()); }

    /// Runs f(DeviceModel&) under the virtual device's lock.
    template <class F>
    auto Model(sim::VirtualDevice& device, F f) {
        return device.WithResponder<sim::DeviceResponder>([&](sim::DeviceResponder* r) {
            static sim::DeviceModel none;  // keeps a missing responder a test failure, not a crash
            if (r == nullptr) ADD_FAILURE() << "the virtual device has no device protocol";
            return f(r != nullptr ? r->Model() : none);
        });
    }
    template <class F>
    auto Model(F f) {
        return Model(sim, f);
    }

    /// Connects `k` by port name and expects success.
    void ConnectByPort(Korvan& k) { ASSERT_EQ(k.Connect(sim.PortName().c_str()), 0u); }

    State StateOf(Korvan& k) {
        State s = NotConnected;
        k.GetState(&s);
        return s;
    }

    ProcessStateGuard processState_;
    ScopedEnv noHardware_{"TESSEL_NO_HARDWARE_PORTS", "1"};
    sim::VirtualDevice sim;
};

}  // namespace devicetest
