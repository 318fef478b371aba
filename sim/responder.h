#pragma once
// The plug-in point for the protocols the virtual device speaks.
//
// The device's thread collects the bytes the host sends and offers the pending bytes to its
// responders, one at a time, in this order: the device command protocol (registered by
// VirtualDevice's constructor), then those added with VirtualDevice::AddResponder, and the
// bootloader last. The first responder that consumes bytes has answered that request; the device
// then offers the rest again from the top.
// A byte that every responder calls "not mine" is dropped, as a real device ignores it.
//
// A responder that is in the middle of a transfer of several parts (a firmware image, a sequence
// image after its announcement) says so through HoldsLine(): while it does, it alone is offered
// the input, so bytes that look like requests of another protocol are not taken from it.
//
// Bytes shared by two protocols (0x1E: the bootloader answers 1E 20, the device protocol 1E FF)
// go to whichever responder claims them first; since the bootloader is asked last, the device
// protocol decides when it owns such a byte.
//
// Besides requests, a responder may have work of its own between them (a running sequence) and
// output it keeps beyond the device's life (a timeline file): Advance, OnStart and OnStop.
//
// Responders run on the device's thread with the device's lock held; they must not block.
// OnStart and OnStop run on the thread that starts or stops the device, under the lock too.
#include <sim/fault_plan.h>
#include <sim/identity.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

// State that belongs to the device as a whole rather than to one protocol.
struct SimState {
    Identity identity;
    int lineRate = 9600;               // the rate the device's UART runs at; responders change it
    int hostLineRate = 0;              // the rate the host had configured when the last bytes arrived
    bool programMode = false;          // the bootloader waits for firmware
    FaultPlan faults;                  // applied by the router to every reply (see router.h)
    std::map<int, int> requestCounts;  // answered requests by request code
};

// One reply to one consumed request.
struct Reply {
    std::vector<uint8_t> bytes;  // empty: nothing is sent back
    int request = kAnyRequest;   // code fault rules match on; kAnyRequest: the first consumed byte
    int statusIndex = -1;        // position of the status byte in `bytes`, -1 when it has none
};

class Responder {
public:
    // Offer results besides a positive count of consumed bytes.
    static constexpr long kIncomplete = 0;  // the request has begun but is not complete: wait
    static constexpr long kNotMine = -1;    // the first byte starts no request of this protocol

    virtual ~Responder() = default;

    // `input` holds `size` >= 1 pending bytes, the oldest first. Returns how many of them make up
    // one request this responder has handled (filling `reply`), kIncomplete or kNotMine.
    virtual long Offer(const uint8_t* input, size_t size, SimState& state, Reply& reply) = 0;

    // True while a transfer of several parts is going on (see above).
    virtual bool HoldsLine() const { return false; }

    // Pending input stayed incomplete for too long (the host gave up or went away): forget any
    // half-received request.
    virtual void Reset() {}

    // Called on every turn of the device's thread: runs what is due. Returns the wall-clock ms
    // until more is due, 0 for at once, -1 when nothing is scheduled.
    virtual int Advance() { return -1; }

    // The device starts answering. False (with `error`) fails the start.
    virtual bool OnStart(std::string* /*error*/) { return true; }
    // The device has stopped answering: write out what is still held back.
    virtual void OnStop() {}
};

}  // namespace sim
