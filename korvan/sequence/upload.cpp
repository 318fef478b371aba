// Compiling sequences for a session and taking them to its device.
#include <korvan/sequence/detail/upload.h>

#include <korvan/device/detail/device_state.h>
#include <korvan/device/detail/keep_alive.h>
#include <korvan/device/detail/memory.h>
#include <korvan/device/detail/process_state.h>
#include <korvan/sequence/sequence_compiler.h>

#include <chrono>
#include <thread>

namespace korvan::detail {
namespace {

constexpr auto kDefragmentPoll = std::chrono::milliseconds(300);
// Start refusals that blame the arguments (also a number the device does not hold).
constexpr std::uint8_t kStartBadSequence = 0x01;
constexpr std::uint8_t kStartBadArguments = 0x03;

// Where an image send stood when the caller's progress function cancelled it. The port takes a
// plain function, so the watch is reached through a thread-local pointer while the send runs.
struct ImageSendWatch {
    bool (*caller)(int, int) = nullptr;
    bool cancelled = false;
    int bytesOnLine = 0;  ///< bytes sent before the cancelling report
};
thread_local ImageSendWatch* tImageSend = nullptr;

bool WatchImageProgress(int position, int total) {
    ImageSendWatch& watch = *tImageSend;
    if (watch.caller(position, total)) return true;
    watch.cancelled = true;
    // A report before a piece gives the piece's offset plus 1; the final report gives the total.
    watch.bytesOnLine = position >= total ? total : position - 1;
    return false;
}

// Sends the image, reporting to the caller's progress function (if any).
bool SendImage(SerialLine& line, std::vector<std::uint8_t>& image, ImageSendWatch& watch) {
    watch.caller = line.imageProgress;
    if (watch.caller != nullptr) {
        tImageSend = &watch;
        line.rs232.sendProgressCallback = &WatchImageProgress;
    }
    const bool sent = line.rs232.Send(image.data(), static_cast<int>(image.size()));
    line.rs232.sendProgressCallback = nullptr;
    tImageSend = nullptr;
    return sent;
}

// The device takes every byte after an announcement as image data until the announced length has
// arrived or the line pauses. After a cancel, sending the rest and deleting the stored image ends
// that sooner than the pause when the rest is short; a long rest is abandoned instead, and the
// next exchange waits for the pause. Either way the device ends up without the image.
unsigned int EndCancelledImage(Session& session, std::vector<std::uint8_t>& image, int bytesOnLine,
                               unsigned short number) {
    SerialLine& line = session.Line();
    const long long rest = static_cast<long long>(image.size()) - bytesOnLine;
    const int baud = line.rs232.baudRate > 0 ? line.rs232.baudRate : 9600;
    const long long restMs = rest * 10 * 1000 / baud;  // ten bit times per byte
    if (restMs > kAbandonedImagePauseMs / 2) {
        AbandonImage(line);
        line.failure = Failure::Cancelled;
        return ResultCommunicationError;
    }
    if (rest > 0 && !line.rs232.Send(image.data() + bytesOnLine, static_cast<int>(rest))) {
        line.failure = Failure::LineBroken;
        return ResultCommunicationError;
    }
    std::uint8_t reply = 0;
    if (!ReceiveMore(line, &reply, 1, kImageReplyTimeoutMs)) return ResultCommunicationError;
    // Stored after all: it goes again. A refused image is not stored.
    if (reply == kStatusDone && !Exchange(line, Request(kDeleteSequence).U16(number)).Done())
        return ResultCommunicationError;
    line.failure = Failure::Cancelled;
    return ResultCommunicationError;
}

// Compiling a long sequence keeps the serial line quiet; the poller keeps the device's
// connection alive meanwhile and is joined before the image is used.
SequenceAnalysis Build(Session& session, const SequenceSettings& settings, const SequenceObject* const* elements,
                       unsigned int count) {
    KeepAlivePoller poller(session);
    SequenceAnalysis analysis = CompileSequence(elements, count, settings);
    poller.Stop();
    return analysis;
}

// The Idle gate of the application's sequence calls: a cached Idle is trusted without a query.
unsigned int RequireIdleCached(Session& session) {
    if (session.state != Idle) RefreshState(session);
    if (session.state == NotConnected) return ResultCommunicationError;
    if (session.state != Idle) return ResultNotPossibleNow;
    return ResultSuccess;
}

}  // namespace

SequenceSettings SequenceSettingsFor(const Session& session, bool allowLaserPorts) {
    const auto& process = ProcessWide();
    SequenceSettings settings;
    settings.tickTime = session.tickTime;
    settings.scanMode = process.scanMode;
    settings.lasers = process.laserList.data();
    settings.laserCount = static_cast<unsigned int>(process.laserList.size());
    settings.allowLaserPorts = allowLaserPorts;
    return settings;
}

unsigned int UploadSequence(Session& session, const SequenceObject* const* elements, unsigned int count,
                            unsigned short* sequenceNumber) {
    if (elements == nullptr || sequenceNumber == nullptr) return ResultInvalidArgument;  // nothing sent
    if (unsigned int r = RequireIdleCached(session)) return r;
    return UploadImage(session, elements, count, sequenceNumber, false);
}

unsigned int UploadImage(Session& session, const SequenceObject* const* elements, unsigned int count,
                         unsigned short* sequenceNumber, bool allowLaserPorts) {
    if (sequenceNumber == nullptr) return ResultInvalidArgument;
    SequenceAnalysis image = Build(session, SequenceSettingsFor(session, allowLaserPorts), elements, count);
    if (image.result != ResultSuccess) return image.result;
    const auto length = static_cast<unsigned int>(image.image.size());

    unsigned short number = 0;
    if (AnnounceSequence(session, length, image.mainListLength, &number) != ResultSuccess) {
        if (unsigned int r = MakeRoomFor(session, length)) return r;
        if (AnnounceSequence(session, length, image.mainListLength, &number) != ResultSuccess)
            return ResultCommunicationError;
    }

    // The whole image in one send; the port reports progress and may be cancelled.
    SerialLine& line = session.Line();
    ImageSendWatch watch;
    if (!SendImage(line, image.image, watch)) {
        if (watch.cancelled) return EndCancelledImage(session, image.image, watch.bytesOnLine, number);
        AbandonImage(line);
        line.failure = Failure::LineBroken;
        return ResultCommunicationError;
    }
    std::uint8_t reply = 0;
    if (!ReceiveMore(line, &reply, 1, kImageReplyTimeoutMs)) return ResultCommunicationError;
    if (reply != kStatusDone) {
        // Noise in front of the reply leaves the reply itself on the line for the next exchange.
        line.staleInput = true;
        line.failure = Failure::DeviceRefused;
        return ResultCommunicationError;
    }
    *sequenceNumber = number;
    return ResultSuccess;
}

unsigned int AnnounceSequence(Session& session, unsigned int length, unsigned int mainLength, unsigned short* number) {
    const auto reply = Exchange(session.Line(), Request(kAnnounceUpload).U32(length).U32(mainLength));
    // A garbled reply may hide an accepted announcement: the device then takes whatever comes
    // next as image bytes until the line pauses, so the next exchange waits for that pause.
    if (reply.outcome == Outcome::WrongEcho) AbandonImage(session.Line());
    if (!reply.Done()) return ResultNotPossibleNow;
    *number = static_cast<unsigned short>(reply.At<2>(2));
    return ResultSuccess;
}

unsigned int MakeRoomFor(Session& session, unsigned int length) {
    unsigned int freeBytes = 0, largest = 0;
    if (unsigned int r = GetAvailableMemory(session, &freeBytes, &largest)) return r;
    if (freeBytes < length) return ResultMemoryTooSmall;
    if (length <= largest) return ResultSuccess;
    DefragmentMemory(session);
    do {
        if (unsigned int r = RefreshState(session)) return r;
        if (session.state == Defragmenting) std::this_thread::sleep_for(kDefragmentPoll);
    } while (session.state == Defragmenting);
    return ResultSuccess;
}

unsigned int CalcMemoryUsage(Session& session, const SequenceObject* const* elements, unsigned int count,
                             unsigned int* size) {
    if (size == nullptr) return ResultInvalidArgument;
    const SequenceAnalysis image =
        Build(session, SequenceSettingsFor(session, session.state == Calibrating), elements, count);
    if (image.result != ResultSuccess) return image.result;
    *size = static_cast<unsigned int>(image.image.size());
    return ResultSuccess;
}

unsigned int AnalyzeSequence(Session& session, const SequenceObject* const* elements, unsigned int count,
                             SequenceAnalysis* analysis) {
    if (analysis == nullptr) return ResultInvalidArgument;
    *analysis = Build(session, SequenceSettingsFor(session, session.state == Calibrating), elements, count);
    return analysis->result;
}

unsigned int GetTiming(const Session& session, const SequenceObject& element, unsigned int* duration,
                       unsigned int* illumination) {
    if (duration == nullptr || illumination == nullptr) return ResultInvalidArgument;
    SequenceElementTiming timing;
    const unsigned int result = TimeSequenceElement(element, SequenceSettingsFor(session, false), &timing);
    *duration = timing.duration;
    *illumination = timing.illumination;
    return result;
}

unsigned int StartSequence(Session& session, unsigned short sequenceNumber, InputPorts input, TriggerBehaviour trigger,
                           unsigned int runs) {
    if (unsigned int r = RequireIdleCached(session)) return r;
    return StartStoredSequence(session, sequenceNumber, input, trigger, runs);
}

unsigned int StartStoredSequence(Session& session, unsigned short sequenceNumber, InputPorts input,
                                 TriggerBehaviour trigger, unsigned int runs) {
    const bool inputValid = input == NoInput || input <= Input3;
    const bool triggerValid = trigger == Trigger1 || trigger == Trigger2;
    if (!inputValid && !triggerValid) return ResultInvalidArgument;
    const auto reply = Exchange(session.Line(), Request(kStartSequence)
                                                    .U16(sequenceNumber)
                                                    .U8(static_cast<std::uint8_t>(input))
                                                    .U8(static_cast<std::uint8_t>(trigger))
                                                    .U32(runs));
    switch (reply.outcome) {
    case Outcome::Done: break;
    case Outcome::Refused:
        return reply.Status() == kStartBadSequence || reply.Status() == kStartBadArguments ? ResultInvalidArgument
                                                                                           : ResultNotPossibleNow;
    default: return ResultCommunicationError;
    }
    return RefreshState(session);
}

}  // namespace korvan::detail
