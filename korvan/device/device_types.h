#pragma once
// Enumerations of the device interface. All are unsigned 32-bit; the values are fixed because
// they travel to the device or are stored by applications.
#include <korvan/export.h>

/// An output of the device. Laser outputs have a switching line and an analog (intensity)
/// channel, TTL outputs only a switching line, the mirror axes only an analog channel.
enum OutputPorts : unsigned int {
    NoOutput = 0,
    LaserOutput1 = 2,
    LaserOutput2 = 3,
    LaserOutput3 = 4,
    LaserOutput4 = 5,
    TTLOutput1 = 6,
    TTLOutput2 = 7,
    MirrorY = 254,
    MirrorX = 255,
};

/// A trigger input that a sequence start may wait for; NoInput starts at once.
enum InputPorts : unsigned int {
    Input0 = 0,
    Input1 = 1,
    Input2 = 2,
    Input3 = 3,
    NoInput = 255,
};

/// How the device reacts to a trigger; passed through to the device unchanged.
enum TriggerBehaviour : unsigned int {
    Trigger1 = 1,
    Trigger2 = 2,
};

/// What the device is doing, as last learnt by a state query. Value 6 is never produced.
enum State : unsigned int {
    Idle = 0,            ///< connected, nothing running
    Calibrating = 1,     ///< a calibration runs (set by the host, kept while the device is idle or running)
    Running = 2,         ///< a sequence runs
    NotReady = 3,        ///< neither idle nor running; commands that need Idle are refused
    NotConnected = 4,    ///< no connection, or the last state query failed
    Defragmenting = 5,   ///< the device is reorganising its sequence memory
    ActiveA = 7,         ///< a sequence is active (firmware 16 or later)
    ActiveB = 8,         ///< a sequence is active (firmware 16 or later)
    WaitingForUser = 9,  ///< a sequence waits for AcknowledgeWaitForUser (firmware 16 or later)
    ActiveC = 10,        ///< a sequence is active (firmware 16 or later)
};

/// Scan lead of compiled sequences: ScanModeDefault 100 ticks, ScanModeShort 14 ticks.
enum ScanMode : unsigned int {
    ScanModeDefault = 0,
    ScanModeShort = 1,
};

/// True for the states in which a sequence is active: Running, ActiveA, ActiveB,
/// WaitingForUser and ActiveC.
KORVAN_API bool IsSequenceActive(State state);
