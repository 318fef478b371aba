#pragma once
// Elements that change an output at their startTick. They run beside the beam elements, on
// outputs no laser of the sequence uses.
#include <korvan/device/device_types.h>
#include <korvan/export.h>
#include <korvan/sequence/sequence_object.h>

/// Sets a switching line (a laser output or TTLOutput1/2) to `value`.
class KORVAN_API SequenceSetTTL : public SequenceObject {
public:
    SequenceSetTTL(OutputPorts port, int value);

    OutputPorts port;
    /// Line level; the low 8 bits are sent.
    int value;
};

/// Gives a short pulse on a switching line.
class KORVAN_API SequencePulseTTL : public SequenceObject {
public:
    explicit SequencePulseTTL(OutputPorts port);

    OutputPorts port;
};

/// Sets the analog channel of a laser output to intensities[0] (0..10000, hundredths of full
/// scale).
class KORVAN_API SequenceSetAnalog : public SequenceObject {
public:
    SequenceSetAnalog(OutputPorts port, unsigned short value);

    OutputPorts port;
};
