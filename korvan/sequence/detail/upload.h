#pragma once
// Compiling sequences for a session and taking them to its device: announce, make room, send the
// image, start.
#include <korvan/device/detail/session.h>
#include <korvan/export.h>
#include <korvan/sequence/sequence_analysis.h>
#include <korvan/sequence/sequence_compiler.h>
#include <korvan/sequence/sequence_object.h>

namespace korvan::detail {

/// The one place where a compilation reads process-wide state: a session's sequences see the
/// laser list and the scan mode that the application set for all objects.
KORVAN_API SequenceSettings SequenceSettingsFor(const Session& session, bool allowLaserPorts);

/// Korvan::UploadSequence: Idle only.
KORVAN_API unsigned int UploadSequence(Session& session, const SequenceObject* const* elements, unsigned int count,
                                       unsigned short* sequenceNumber);
/// Compiles and stores an image without the state gate; `allowLaserPorts` lets the elements
/// drive a laser's own port (a pulsed laser's pulse sequence).
KORVAN_API unsigned int UploadImage(Session& session, const SequenceObject* const* elements, unsigned int count,
                                    unsigned short* sequenceNumber, bool allowLaserPorts);
/// Sends the announcement of an image; 0 with the device's number for it in `*number`.
KORVAN_API unsigned int AnnounceSequence(Session& session, unsigned int length, unsigned int mainLength,
                                         unsigned short* number);
/// Makes room for an image after a refused announcement: 3 when the free memory is too small,
/// else defragments when needed and waits for the end of it.
KORVAN_API unsigned int MakeRoomFor(Session& session, unsigned int length);

KORVAN_API unsigned int CalcMemoryUsage(Session& session, const SequenceObject* const* elements, unsigned int count,
                                        unsigned int* size);
KORVAN_API unsigned int AnalyzeSequence(Session& session, const SequenceObject* const* elements, unsigned int count,
                                        SequenceAnalysis* analysis);
KORVAN_API unsigned int GetTiming(const Session& session, const SequenceObject& element, unsigned int* duration,
                                  unsigned int* illumination);

/// Korvan::StartSequence: Idle only.
KORVAN_API unsigned int StartSequence(Session& session, unsigned short sequenceNumber, InputPorts input,
                                      TriggerBehaviour trigger, unsigned int runs);
/// Sends the start without the state gate, then refreshes the cached state.
KORVAN_API unsigned int StartStoredSequence(Session& session, unsigned short sequenceNumber, InputPorts input,
                                            TriggerBehaviour trigger, unsigned int runs);

}  // namespace korvan::detail
