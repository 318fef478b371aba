#include <korvan/sequence/sequence_control.h>
#include <korvan/sequence/sequence_outputs.h>

SequenceJump::SequenceJump(unsigned int targetTick, unsigned int repeatCount, unsigned char counter)
    : targetTick(targetTick), counter(counter < 2 ? 2 : counter) {
    this->repeatCount = repeatCount;
}

SequenceWaitTTL::SequenceWaitTTL(InputPorts port, TriggerBehaviour trigger) : port(port), trigger(trigger) {}

SequenceWaitUser::SequenceWaitUser(unsigned short value) : value(value) {}

SequenceSetTTL::SequenceSetTTL(OutputPorts port, int value) : port(port), value(value) {}

SequencePulseTTL::SequencePulseTTL(OutputPorts port) : port(port) {}

SequenceSetAnalog::SequenceSetAnalog(OutputPorts port, unsigned short value) : port(port) { intensities[0] = value; }
