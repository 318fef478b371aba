#include "tools/sequence_build.h"

#include "tools/report.h"

#include <cstring>
#include <regex>

namespace tools {

const char* ResultName(unsigned int result) {
    switch (result) {
    case 0: return "success";
    case 1: return "communication failure or no connection";
    case 2: return "invalid argument";
    case 3: return "device memory too small";
    case 4: return "the sequence failed the compiler's checks";
    case 5: return "not possible in the device's state";
    }
    return "unknown result";
}

BuiltSequence::BuiltSequence(Korvan& korvan, SequenceFile f) : file(std::move(f)), korvan_(korvan) {
    std::string pointer;
    if (unsigned int r = DefineLasers(korvan_, file, &laserIds_, &pointer)) {
        if (r == korvan::ResultCommunicationError)
            throw DeviceError("defining the laser at " + pointer + " failed: " + ResultName(r), r);
        throw InputError(pointer, std::string("the device refused this laser: ") + ResultName(r));
    }
    timing = Schedule(korvan_, file);
    endTick = EndTick(file, timing);
    std::vector<SequenceObject*> elements = file.Pointers();
    korvan_.AnalyzeSequence(elements.data(), static_cast<unsigned int>(elements.size()), &analysis);
}

BuiltSequence::~BuiltSequence() { RemoveLasers(korvan_, laserIds_); }

std::optional<InputError> BuiltSequence::Failure() const {
    if (analysis.result == 0) return std::nullopt;
    std::string reason = analysis.reason.empty() ? ResultName(analysis.result) : analysis.reason;
    if (analysis.failedElement >= 0 && static_cast<size_t>(analysis.failedElement) < file.elements.size())
        return InputError(file.elements[static_cast<size_t>(analysis.failedElement)].pointer, reason);
    return InputError("", reason);
}

void BuiltSequence::ThrowIfFailed() const {
    if (auto failure = Failure()) throw *failure;
}

OfflineBuild::OfflineBuild(const std::string& path) {
    SequenceFile file = ReadSequenceFile(path);
    if (file.tickTime != 50) {
        host_ = std::make_unique<VirtualHost>(sim::Options{});
        ConnectTo(korvan_, host_->PortName());
    }
    ApplyTiming(korvan_, file, host_ != nullptr);
    built_ = std::make_unique<BuiltSequence>(korvan_, std::move(file));
}

OfflineBuild::~OfflineBuild() {
    built_.reset();  // its lasers go before the connection
    if (host_) korvan_.Disconnect();
}

void ConnectTo(Korvan& korvan, const std::string& target) {
    const unsigned int count = korvan.Search();
    DeviceInfo info{};
    bool found = false;
    for (unsigned int i = 0; i < count && !found; ++i)
        found =
            korvan.GetDeviceInfo(static_cast<int>(i), &info) == 0 &&
            (target == info.portName || target == info.serialNumber || target == std::string("/dev/") + info.portName);
    if (!found)
        throw DeviceError("no device " + target + " found (" + std::to_string(count) +
                          " device(s) on the serial ports)");
    // Connect takes a serial number only in the form 123-4567; other identities go by port.
    const bool bySerial = std::regex_match(info.serialNumber, std::regex("[0-9]{3}-[0-9]{4}"));
    if (unsigned int r = korvan.Connect(bySerial ? info.serialNumber : info.portName))
        throw DeviceError(std::string("cannot connect to ") + info.portName + ": " + ResultName(r), r);
}

void ApplyTiming(Korvan& korvan, const SequenceFile& file, bool connected) {
    korvan.SetScanMode(file.scanMode);
    if (connected)
        if (unsigned int r = korvan.SetTickTime(file.tickTime)) throw DeviceError("cannot set the tick time", r);
}

}  // namespace tools
