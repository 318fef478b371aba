#pragma once
// Elements that steer the sequence itself: jumps and waits.
#include <korvan/device/device_types.h>
#include <korvan/export.h>
#include <korvan/sequence/sequence_object.h>

/// At its startTick, execution continues at `targetTick` (not after the jump), repeatCount
/// times; after that the sequence goes on behind the jump. Elements after the loop start at or
/// after (startTick - targetTick + 1) * repeatCount + startTick + 1.
class KORVAN_API SequenceJump : public SequenceObject {
public:
    /// `counter` 0 and 1 are stored as 2 (counter 1 is used by the loops of points and lines).
    SequenceJump(unsigned int targetTick, unsigned int repeatCount, unsigned char counter);

    unsigned int targetTick;
    /// Device loop counter number, at least 2; nested loops need different counters.
    unsigned char counter;
};

/// Waits at its startTick until an input triggers; the schedule resumes after it.
class KORVAN_API SequenceWaitTTL : public SequenceObject {
public:
    SequenceWaitTTL(InputPorts port, TriggerBehaviour trigger);

    /// Input0 or Input1.
    InputPorts port;
    TriggerBehaviour trigger;
};

/// Waits at its startTick until the application calls Korvan::AcknowledgeWaitForUser.
class KORVAN_API SequenceWaitUser : public SequenceObject {
public:
    SequenceWaitUser(unsigned short value);

    /// Carried to the device with the wait.
    unsigned short value;
};
