// The applications' facade: forwards to the virtual device and its camera, so that the
// installed interface stays free of the device's internal headers.
#include <sim/virtual_scanner.h>

#include <sim/device_responder.h>
#include <sim/virtual_camera.h>
#include <sim/virtual_device.h>

namespace sim {
namespace {

Options DeviceOptions(const ScannerOptions& options) {
    Options o;
    o.identity.serialNumber = options.serialNumber;
    o.timeScale = options.timeScale;
    o.autoInputMs = options.autoInputMs;
    o.timelineCapacity = options.timelineCapacity;
    return o;
}

}  // namespace

VirtualScanner::VirtualScanner(const ScannerOptions& options)
    : device_(std::make_unique<VirtualDevice>(DeviceOptions(options))) {}

VirtualScanner::~VirtualScanner() = default;

bool VirtualScanner::Start(std::string* error) { return device_->Start(error); }
void VirtualScanner::Stop() { device_->Stop(); }
std::string VirtualScanner::PortName() const { return device_->PortName(); }
void VirtualScanner::SetInput(int port, bool high) { device_->SetInput(port, high); }
void VirtualScanner::AddFault(const FaultRule& rule) { device_->AddFault(rule); }
void VirtualScanner::ClearFaults() { device_->ClearFaults(); }
void VirtualScanner::DropLine() { device_->DropLine(); }
image::Timeline VirtualScanner::ExecutedTimeline() const { return device_->ExecutedTimeline(); }
void VirtualScanner::ClearTimeline() { device_->ClearTimeline(); }
bool VirtualScanner::WaitUntilIdle(int timeoutMs) { return device_->WaitUntilIdle(timeoutMs); }

ScannerOutputs VirtualScanner::Outputs() const {
    return device_->WithResponder<DeviceResponder>([](DeviceResponder* r) {
        ScannerOutputs o;
        if (r == nullptr) return o;
        const DeviceModel& m = r->Model();
        o.lineLevels = m.lineLevels;
        o.analog = m.analog;
        o.pulseCounts = m.pulseCounts;
        o.runningSequence = m.runningSequence;
        return o;
    });
}

ScannerCamera::ScannerCamera(VirtualScanner& scanner, const CameraMapping& mapping)
    : camera_(std::make_unique<VirtualCamera>(*scanner.device_, mapping)) {}

ScannerCamera::~ScannerCamera() = default;

void ScannerCamera::SetActiveLevel(int laserOutput, int level) { camera_->SetActiveLevel(laserOutput, level); }
CameraSpot ScannerCamera::Look() { return camera_->Look(); }
CameraPoint ScannerCamera::DeviceToCamera(double x, double y) const { return camera_->DeviceToCamera(x, y); }
CameraPoint ScannerCamera::CameraToDevice(double x, double y) const { return camera_->CameraToDevice(x, y); }

}  // namespace sim
