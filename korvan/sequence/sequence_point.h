#pragma once
// SequencePoint: the beam dwells at one position, optionally with intensity changes.
#include <korvan/export.h>
#include <korvan/sequence/sequence_object.h>
#include <tessel/geometry/rpointf.h>

/// A dwell of the beam at `position`. With no delays and a continuous laser the light is on for
/// repeatCount + 1 ticks; lead times of the lasers and the mirrors come before that.
///
/// The point owns its intensity list: copies get their own list, the destructor frees it.
class KORVAN_API SequencePoint : public SequenceObject {
public:
    /// Position (x, y); the five switches 1; no intensity list.
    SequencePoint(RPOINTF p);
    SequencePoint(double x, double y);
    /// As above, with a copy of `count` stamps of `list` (none when `list` is null or `count` 0).
    SequencePoint(RPOINTF p, const IntensityStamp* list, unsigned int count);
    SequencePoint(double x, double y, const IntensityStamp* list, unsigned int count);
    /// Deep copy.
    SequencePoint(const SequencePoint& other);
    /// Takes over the other's list; `other` is left without one.
    SequencePoint(SequencePoint&& other) noexcept;
    /// Frees this point's list, then copies the other's.
    SequencePoint& operator=(const SequencePoint& other);
    SequencePoint& operator=(SequencePoint&& other) noexcept;
    ~SequencePoint() override;

    using SequenceObject::IsIlluminationObject;
    int IsIlluminationObject() override;

    /// Replaces the intensity list by a copy of `count` stamps of `list` (empty when `list` is
    /// null or `count` 0).
    void SetIntensityList(const IntensityStamp* list, unsigned int count);
    /// A new copy of the intensity list with its length in `*count`; null (and 0) when the point
    /// has none. Release the copy with FreeIntensityList.
    IntensityStamp* GetIntensityList(unsigned int* count) const;
    /// Releases a list from GetIntensityList; null is ignored.
    static void FreeIntensityList(IntensityStamp* list);

    /// Camera coordinates when useCalibration is set (mapped through the calibration of the
    /// point's first laser), else device coordinates 0..65535.
    RPOINTF position;
    /// Map `position` from camera to device coordinates.
    unsigned int useCalibration;
    /// Switch the lasers on at the start, after their switch-on delay and warm-up.
    unsigned int switchLaserOn;
    /// Set the intensity of intensity-controlled lasers at the start.
    unsigned int setIntensity;
    /// Switch the lasers off at the end.
    unsigned int switchLaserOff;
    /// Let the mirrors settle (the scan mode's lead) before the light comes.
    unsigned int waitForMirror;
    /// Intensity changes during the dwell, ascending in time; owned by the point.
    IntensityStamp* intensityList;
    unsigned int intensityCount;

private:
    void init(double x, double y, const IntensityStamp* list, unsigned int count);
    void CopyScalars(const SequencePoint& other);
};
