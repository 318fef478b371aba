#pragma once
// SequenceObject: the base of every sequence element, with the data all elements share.
//
// An application describes what the device does as an array of pointers to elements. It
// creates, fills and owns them and passes the array to Korvan::UploadSequence,
// Korvan::CalcMemoryUsage or one element to Korvan::GetTiming; none of these changes an element.
// Times are device ticks (Korvan::SetTickTime, 50 µs by default); intensities and analog values
// are hundredths of a percent, 0 to 10000.
#include <korvan/export.h>

/// An intensity change during a point's dwell.
struct KORVAN_API IntensityStamp {
    /// Ticks from the start of the point's illumination.
    unsigned int time;
    /// New intensity, 0..10000; used without the laser's minimum/maximum scaling.
    unsigned int intensity;
};

/// Base class of all sequence elements. A plain SequenceObject does nothing and is rejected by
/// the compiler; use one of the derived classes.
class KORVAN_API SequenceObject {
public:
    /// All common data 0.
    SequenceObject();
    SequenceObject(const SequenceObject& other) = default;
    SequenceObject& operator=(const SequenceObject& other) = default;

    /// 1 for the elements that move the mirrors and light a laser (points, lines, ellipses,
    /// polygons), 0 for all others.
    virtual int IsIlluminationObject();
    /// The same answer for a const element (it asks the overridable one above, which only reads).
    int IsIlluminationObject() const;
    virtual ~SequenceObject();

    /// Copies startTick, repeatCount, laserIds and intensities from `source` (null is ignored).
    void CopyCommonDataFromObj(const SequenceObject* source);

    /// Tick at which the element begins, counted from the start of the sequence. Elements that
    /// move the mirrors must not overlap: each starts at or after the end of the one before.
    unsigned int startTick;
    /// Extra repetitions: of the laser pulse train for a point, of the whole element for lines
    /// and shapes, the number of jumps for a SequenceJump.
    unsigned int repeatCount;
    /// Identifiers of up to four lasers (from Korvan::AddLaser); 0 marks an empty slot.
    unsigned int laserIds[4];
    /// Intensity of the laser in the same slot, 0..10000. SequenceSetAnalog keeps its value in
    /// intensities[0].
    unsigned int intensities[4];
};
