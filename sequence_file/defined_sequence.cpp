#include <sequence_file/defined_sequence.h>

namespace sequence_file {

unsigned int DefineLasers(Korvan& korvan, const SequenceFile& file, std::vector<unsigned int>* ids,
                          std::string* failedPointer) {
    ids->clear();
    for (const FileLaser& l : file.lasers) {
        unsigned int id = 0;
        unsigned int r = korvan.AddLaser(l.Settings(), &id);
        if (r == 0) ids->push_back(id);
        if (r == 0 && !l.calibrationPath.empty()) {
            r = korvan.LoadCalibration(l.calibrationPath.c_str(), id);
            if (r != 0) *failedPointer = l.pointer + "/calibration";
        }
        if (r == 0 && l.stepSize > 0) {
            r = korvan.SetLaserStepSize(id, l.stepSize);
            if (r != 0) *failedPointer = l.pointer + "/stepSize";
        }
        if (r != 0) {
            if (failedPointer->empty()) *failedPointer = l.pointer;
            RemoveLasers(korvan, *ids);
            ids->clear();
            return r;
        }
    }
    return 0;
}

void RemoveLasers(Korvan& korvan, const std::vector<unsigned int>& ids) {
    for (unsigned int id : ids) korvan.RemoveLaser(id);
}

void ApplyFileTiming(Korvan& korvan, const SequenceFile& file) {
    korvan.SetScanMode(file.scanMode);
    if (unsigned int r = korvan.SetTickTime(file.tickTime)) throw DeviceError("cannot set the tick time", r);
}

DefinedSequence::DefinedSequence(Korvan& korvan, SequenceFile file) : compiled(std::move(file)), korvan_(korvan) {
    std::string pointer;
    if (unsigned int r = DefineLasers(korvan_, compiled.file, &laserIds_, &pointer)) {
        if (r == korvan::ResultCommunicationError)
            throw DeviceError("defining the laser at " + pointer + " failed: " + KorvanResultText(r), r);
        throw InputError(pointer, std::string("the device refused this laser: ") + KorvanResultText(r));
    }
    AssignLaserIds(compiled.file, laserIds_);
}

DefinedSequence::~DefinedSequence() { RemoveLasers(korvan_, laserIds_); }

}  // namespace sequence_file
