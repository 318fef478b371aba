// The Korvan operations that compile sequences and take them to the device.
#include <korvan/device/korvan.h>

#include <korvan/device/detail/exchange.h>
#include <korvan/device/detail/keep_alive.h>
#include <korvan/device/detail/process_state.h>
#include <korvan/sequence/sequence_compiler.h>

#include <chrono>
#include <thread>

using korvan::detail::Exchange;
using korvan::detail::Request;

namespace {

constexpr auto kDefragmentPoll = std::chrono::milliseconds(300);

// The one place where a compilation reads process-wide state: the device's sequences see the
// laser list and the scan mode that the application set for all objects.
korvan::SequenceSettings SettingsFor(unsigned int tickTime, bool allowLaserPorts) {
    const auto& process = korvan::detail::ProcessWide();
    korvan::SequenceSettings settings;
    settings.tickTime = tickTime;
    settings.scanMode = process.scanMode;
    settings.lasers = process.laserList.data();
    settings.laserCount = static_cast<unsigned int>(process.laserList.size());
    settings.allowLaserPorts = allowLaserPorts;
    return settings;
}

// Compiling a long sequence keeps the serial line quiet; the poller keeps the device's
// connection alive meanwhile and is joined before the image is used.
SequenceAnalysis Build(Korvan& device, const korvan::SequenceSettings& settings, SequenceObject** elements,
                       unsigned int count) {
    korvan::detail::KeepAlivePoller poller(device);
    SequenceAnalysis analysis = korvan::CompileSequence(elements, count, settings);
    poller.Stop();
    return analysis;
}

}  // namespace

unsigned int Korvan::UploadSequence(SequenceObject** elements, unsigned int count, unsigned short* sequenceNumber) {
    if (elements == nullptr || sequenceNumber == nullptr) return korvan::ResultInvalidArgument;  // nothing sent
    if (state != Idle) GetState(&state);
    if (state == NotConnected) return korvan::ResultCommunicationError;
    if (state != Idle) return korvan::ResultNotPossibleNow;
    return UploadSequenceInternal(elements, count, sequenceNumber, 0);
}

unsigned int Korvan::UploadSequenceInternal(SequenceObject** elements, unsigned int count,
                                            unsigned short* sequenceNumber, int allowLaserPorts) {
    using namespace korvan::detail;
    if (sequenceNumber == nullptr) return korvan::ResultInvalidArgument;
    SequenceAnalysis image = Build(*this, SettingsFor(tickTime, allowLaserPorts != 0), elements, count);
    if (image.result != korvan::ResultSuccess) return image.result;
    const auto length = static_cast<unsigned int>(image.image.size());

    unsigned short number = 0;
    if (AnnounceSequence(length, image.mainListLength, &number) != korvan::ResultSuccess) {
        if (unsigned int r = MakeRoomFor(length)) return r;
        if (AnnounceSequence(length, image.mainListLength, &number) != korvan::ResultSuccess)
            return korvan::ResultCommunicationError;
    }

    // The whole image in one send; the port reports progress and may be cancelled.
    SerialLine& line = *port;
    std::uint8_t reply = 0;
    line.rs232.sendProgressCallback = line.imageProgress;
    const bool sent = line.rs232.Send(image.image.data(), static_cast<int>(length));
    line.rs232.sendProgressCallback = nullptr;
    if (!sent) {
        AbandonImage(line);
        return korvan::ResultCommunicationError;
    }
    if (!ReceiveMore(line, &reply, 1, kImageReplyTimeoutMs)) return korvan::ResultCommunicationError;
    if (reply != kStatusDone) {
        // Noise in front of the reply leaves the reply itself on the line for the next exchange.
        line.staleInput = true;
        return korvan::ResultCommunicationError;
    }
    *sequenceNumber = number;
    return korvan::ResultSuccess;
}

unsigned int Korvan::AnnounceSequence(unsigned int length, unsigned int mainLength, unsigned short* number) {
    using namespace korvan::detail;
    const auto reply = Exchange(*port, Request(kAnnounceUpload).U32(length).U32(mainLength));
    // A garbled reply may hide an accepted announcement: the device then takes whatever comes
    // next as image bytes until the line pauses, so the next exchange waits for that pause.
    if (reply.outcome == Outcome::WrongEcho) AbandonImage(*port);
    if (!reply.Done()) return korvan::ResultNotPossibleNow;
    *number = static_cast<unsigned short>(reply.At<2>(2));
    return korvan::ResultSuccess;
}

unsigned int Korvan::MakeRoomFor(unsigned int length) {
    unsigned int freeBytes = 0, largest = 0;
    if (unsigned int r = GetAvailableMemory(&freeBytes, &largest)) return r;
    if (freeBytes < length) return korvan::ResultMemoryTooSmall;
    if (length <= largest) return korvan::ResultSuccess;
    DefragmentMemory();
    do {
        if (unsigned int r = GetState(&state)) return r;
        if (state == Defragmenting) std::this_thread::sleep_for(kDefragmentPoll);
    } while (state == Defragmenting);
    return korvan::ResultSuccess;
}

unsigned int Korvan::CalcMemoryUsage(SequenceObject** elements, unsigned int count, unsigned int* size) {
    if (size == nullptr) return korvan::ResultInvalidArgument;
    const SequenceAnalysis image = Build(*this, SettingsFor(tickTime, state == Calibrating), elements, count);
    if (image.result != korvan::ResultSuccess) return image.result;
    *size = static_cast<unsigned int>(image.image.size());
    return korvan::ResultSuccess;
}

unsigned int Korvan::AnalyzeSequence(SequenceObject** elements, unsigned int count, SequenceAnalysis* analysis) {
    if (analysis == nullptr) return korvan::ResultInvalidArgument;
    *analysis = Build(*this, SettingsFor(tickTime, state == Calibrating), elements, count);
    return analysis->result;
}

unsigned int Korvan::GetTiming(SequenceObject& element, unsigned int* duration, unsigned int* illumination) {
    if (duration == nullptr || illumination == nullptr) return korvan::ResultInvalidArgument;
    SequenceElementTiming timing;
    const unsigned int result = korvan::TimeSequenceElement(element, SettingsFor(tickTime, false), &timing);
    *duration = timing.duration;
    *illumination = timing.illumination;
    return result;
}

unsigned int Korvan::StartSequence(unsigned short sequenceNumber, InputPorts input, TriggerBehaviour trigger,
                                   unsigned int runs) {
    if (state != Idle) GetState(&state);
    if (state == NotConnected) return korvan::ResultCommunicationError;
    if (state != Idle) return korvan::ResultNotPossibleNow;
    return StartSequenceInternal(sequenceNumber, input, trigger, runs);
}

unsigned int Korvan::StartSequenceInternal(unsigned short sequenceNumber, InputPorts input, TriggerBehaviour trigger,
                                           unsigned int runs) {
    using namespace korvan::detail;
    const bool inputValid = input == NoInput || input <= Input3;
    const bool triggerValid = trigger == Trigger1 || trigger == Trigger2;
    if (!inputValid && !triggerValid) return korvan::ResultInvalidArgument;
    const auto reply = Exchange(*port, Request(kStartSequence)
                                           .U16(sequenceNumber)
                                           .U8(static_cast<std::uint8_t>(input))
                                           .U8(static_cast<std::uint8_t>(trigger))
                                           .U32(runs));
    switch (reply.outcome) {
    case Outcome::Done: break;
    case Outcome::Refused:
        return reply.Status() == 0x01 || reply.Status() == 0x03 ? korvan::ResultInvalidArgument
                                                                : korvan::ResultNotPossibleNow;
    default: return korvan::ResultCommunicationError;
    }
    return GetState(&state);
}

unsigned int Korvan::StartExternMode(InputPorts) { return korvan::ResultNotPossibleNow; }
