#pragma once
// Switching lines, analog levels, output defaults and the tick time.
#include <korvan/device/detail/session.h>
#include <korvan/export.h>

namespace korvan::detail {

/// Sets a switching line directly; 2 for a port without one. No state query.
KORVAN_API unsigned int SetDigital(Session& session, unsigned char port, int level);
/// Sets an analog channel directly; 2 for a port without one. No state query.
KORVAN_API unsigned int SetAnalog(Session& session, unsigned char port, unsigned short value);
KORVAN_API unsigned int SetOutputDefault(Session& session, OutputPorts port, int level);
KORVAN_API unsigned int GetOutputDefault(Session& session, OutputPorts port, int* level);
/// Brings a line's output default to `level`, reading it first so that an unchanged default
/// costs no write.
KORVAN_API unsigned int SetOutputDefaultTo(Session& session, OutputPorts port, int level);
KORVAN_API unsigned int SetTickTime(Session& session, unsigned int microseconds);

}  // namespace korvan::detail
