#pragma once
// Korvan: the application's handle on one laser scanning device.
#include <korvan/device/device_info.h>
#include <korvan/device/device_types.h>
#include <korvan/device/laser.h>
#include <korvan/device/laser_settings.h>
#include <korvan/device/result_codes.h>
#include <korvan/device/sequence_memory_info.h>
#include <korvan/export.h>
#include <tessel/geometry/rpointf.h>
#include <tessel/geometry/tag_point.h>

#include <cstdint>
#include <memory>

class SequenceObject;
struct SequenceAnalysis;

namespace korvan {
struct SequenceSettings;
}
namespace korvan::detail {
struct Session;
class CalibrationRun;
}  // namespace korvan::detail

/// Handle on one device. Create it, call Search to list the attached devices, Connect to one,
/// then drive it. Unless stated otherwise an operation returns a result code (see
/// <korvan/device/result_codes.h>): 0 success, 1 communication failure or no connection,
/// 2 invalid argument, 5 not possible in the device's current state.
///
/// Operations that need the device first query its state; a failed state query is treated as
/// a lost connection and closes the port.
///
/// Threads. An object is not synchronised: one thread at a time uses it (another thread may take
/// it over afterwards). Copies share the serial port, and the port is closed when the last copy is
/// destroyed; copies are not independent: two copies used at the same time, from two threads,
/// mix their commands on the one line and lose the device. Two separate objects (not copies of one
/// another), each connected to its own device, may be used from two threads at the same time,
/// within the rule for the process-wide lists: lasers (the AddLaser section), the devices Search
/// found, the stored-sequence table read by GetSequenceCount, and the scan mode belong to the
/// process and are not locked. Calls that change them (Search, GetSequenceCount, SetScanMode,
/// AddLaser, RemoveLaser, SetPortForLaser, SetLaserStepSize, SetLaserIntensity, ResetCalibration,
/// LoadCalibration, and SetCalibrationPoint, whose last point stores a laser's table) must not
/// overlap any other call of any object; calls that only read them (compiling and uploading
/// sequences, switching lasers, GetLaser, GetDeviceInfo, GetMemoryUsage) may overlap each other.
/// Compiling without an object (korvan::CompileSequence) reads nothing of the process.
///
/// Destroying the object closes the port without telling the device (it keeps its raised
/// baud rate); call Disconnect first to hand the device back in its default state.
/// An object that is destroyed, or connects or searches again, during a calibration run
/// switches the calibration laser off first (best effort), so that no laser stays lit because a
/// program ended; copies of a calibrating object each do so.
class KORVAN_API Korvan {
public:
    /// Not connected; Connect raises the line to the device's maximum baud rate.
    Korvan();
    /// As Korvan(), but a non-zero `keepBaudRate` makes Connect stay at 9600 baud.
    explicit Korvan(int keepBaudRate);
    Korvan(const Korvan& other);
    Korvan& operator=(const Korvan& other);
    ~Korvan();

    // ---- Discovery and connection -------------------------------------------------------

    /// Lists the devices of this kind on all serial ports into the process-wide device list,
    /// which it replaces. Closes this object's connection first, handing its device back at
    /// 9600 baud without stopping what it runs. A port silent at 9600 baud is also asked at the
    /// fast rates of <korvan/device/line_rates.h>, so a device that a program left running at
    /// its raised rate is listed too. Returns the number found.
    unsigned int Search();
    /// Copies entry `index` of the device list into `*info`; index -1 means the connected
    /// device. 2: null `info` or index outside -1 .. count-1; 1: index -1 while not connected.
    unsigned int GetDeviceInfo(int index, DeviceInfo* info);
    /// Connects to a device given by port name ("ttyUSB0") or by serial number ("123-4567",
    /// the whole argument). Raises the baud rate (unless built with keepBaudRate), stops what
    /// runs, clears the device's errors, erases its stored sequences and sets the device's tick
    /// time to this object's (50 µs unless SetTickTime changed it), which the device would
    /// otherwise keep from an earlier program. An open connection of this object is first handed
    /// back at 9600 baud (as Search does). A device that does not answer at 9600 baud is tried at
    /// the rate of this object's previous connection and at the fast rates of
    /// <korvan/device/line_rates.h>: a lost connection, or a program that ended without
    /// Disconnect, leaves the device at such a rate.
    /// 2: null argument; 1: no such device or the port did not open; otherwise the result of the
    /// first clean-up step that failed (the connection then stays open).
    unsigned int Connect(const char* portNameOrSerialNumber);
    /// Stops and resets the device, returns it to 9600 baud and closes the port.
    /// 0 also when not connected (nothing is sent then).
    unsigned int Disconnect();
    /// Sets the progress function called while a sequence image is sent: (bytes sent, total);
    /// returning false cancels that image (the upload gives 1, the connection stays usable).
    /// Only image sends report; the commands around them never call it. Search and Connect drop
    /// it, so set it after Connect.
    void SetSendingDataFct(bool (*function)(int, int));

    // ---- State, errors and reset --------------------------------------------------------

    /// Queries the device. `*sequenceCounter` is meaningful while a sequence is active (0
    /// otherwise); `*statusWord` is written only for firmware 16 or later (null is skipped).
    /// 2: `state` or `sequenceCounter` null (nothing sent); 1: the query failed, the port is
    /// closed and `*state` is NotConnected.
    unsigned int GetState(State* state, unsigned int* sequenceCounter, unsigned short* statusWord);
    /// The same query; the omitted outputs are dropped.
    unsigned int GetState(State* state, unsigned int* sequenceCounter);
    unsigned int GetState(State* state);
    /// The device error bits collected since the last clear (after a fresh state query).
    unsigned char GetLastDeviceError();
    /// Clears the device's errors and the collected bits. 1 when the device does not confirm.
    unsigned int ClearLastDeviceError();
    /// Releases a sequence that waits for the user. 5 unless the state is WaitingForUser or
    /// when the device refuses.
    unsigned int AcknowledgeWaitForUser();
    /// Ends whatever runs: a sequence is stopped, a calibration ended. 1 when not connected,
    /// else the result of a final state query.
    unsigned int Stop();
    /// Erases every stored sequence. Idle only (5 otherwise).
    unsigned int DeleteAllSequences();

    // ---- Outputs, motion and timing -----------------------------------------------------

    /// Sets the level a switching line takes when no sequence drives it. Idle only.
    /// 2 for a port without a switching line.
    unsigned int SetOutputDefault(OutputPorts port, int level);
    /// Reads the default level of a switching line into `*level`. Idle only.
    /// 2 for a null `level` or a port without a switching line.
    unsigned int GetOutputDefault(OutputPorts port, int* level);
    /// Sets the length of a device tick in microseconds. Idle only; 2 for 0.
    unsigned int SetTickTime(unsigned int microseconds);
    /// Chooses the scan lead of compiled sequences for all objects of the process. Always 0.
    unsigned int SetScanMode(ScanMode mode);
    /// Moves the mirrors to (x, y), each 0..65535 (2 otherwise). Idle or Calibrating.
    unsigned int MoveAbsolute(unsigned int x, unsigned int y);
    /// As above; a negative coordinate is out of range (2).
    unsigned int MoveAbsolute(tagPOINT position);
    /// Moves the mirrors by (dx, dy); 2 when the target leaves 0..65535 (no move then).
    unsigned int MoveRelative(int dx, int dy);
    unsigned int MoveRelative(tagPOINT offset);
    /// Reads the mirrors' actual position. 2 for a null `position`. Idle or Calibrating.
    unsigned int GetActualPosition(tagPOINT* position);

    // ---- Sequence memory and user data --------------------------------------------------

    /// Reads the device's table of stored sequences into the process-wide sequence table and
    /// returns their number; 0 also on any failure.
    unsigned int GetSequenceCount();
    /// Copies entry `index` of the table last read by GetSequenceCount. 2: null or bad index.
    unsigned int GetMemoryUsage(unsigned int index, SequenceMemoryInfo* info);
    /// Free bytes of the sequence memory and (if `largestBlock` is not null) its largest
    /// contiguous free block. 2 for a null `freeBytes`. Idle or Calibrating.
    unsigned int GetAvailableMemory(unsigned int* freeBytes, unsigned int* largestBlock);
    /// Deletes one stored sequence. Idle or Calibrating. 0 also when the device holds no
    /// sequence of that number.
    unsigned int DeleteSequence(unsigned short sequenceNumber);
    /// Reads the user data block. On 0, `*data` holds `*length` bytes allocated by the library:
    /// release it with FreeUserData. On any other result `*data` must not be used or released.
    /// 2: a null pointer; 5: not Idle (also when not connected) or the device failed.
    unsigned int GetUserData(unsigned char** data, unsigned int* length);
    /// Writes 1 to 60 bytes of user data; the device replaces its block with them.
    /// 2: null `data` or `length` outside 1..60 (nothing sent); 5: not Idle or the device failed.
    unsigned int SetUserData(const unsigned char* data, unsigned int length);
    /// Releases a buffer from GetUserData; null is ignored.
    void FreeUserData(unsigned char* data);

    // ---- Laser definitions --------------------------------------------------------------
    //
    // Lasers live in one list shared by all Korvan objects of the process, independent of any
    // connection: define them before or after Connect; Connect, Disconnect and Search leave
    // them alone. The list owns each laser and its calibration. A laser operation on an empty
    // list gives 5, on an unknown identifier 2.

    /// Defines a laser and writes its identifier (the smallest positive one not in use) to
    /// `*id`. Delays are microseconds; `minIntensity` and `maxIntensity` (0..10000, min not
    /// above max) are the analog levels of intensity 0 and 10000; `pulseFrequency` 0 means a
    /// continuous laser. `activeLevel` is the line level that switches it on (default 1).
    /// Allowed before any connection and in Idle; 5 in other states. 2: null `id`, an active level
    /// other than 0 and 1 (nothing sent), a port other than NoOutput and LaserOutput1..4, a port
    /// another laser has, or a bad intensity range.
    /// Connected to firmware 6 or later, the port's output default is first brought to the
    /// laser's off level, so that the laser stays dark when nothing drives its line; a failure
    /// there is returned (1 for a communication failure).
    unsigned int AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                          OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                          unsigned int pulseFrequency, unsigned int* id, int activeLevel, unsigned int warmUpTime);
    /// As above with active level 1 and no warm-up time.
    unsigned int AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                          OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                          unsigned int pulseFrequency, unsigned int* id);
    /// As above with no warm-up time.
    unsigned int AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                          OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                          unsigned int pulseFrequency, unsigned int* id, int activeLevel);
    /// As above with active level 1.
    unsigned int AddLaser(unsigned int switchOnDelay, unsigned int switchOffDelay, unsigned int intensityDelay,
                          OutputPorts port, unsigned int minIntensity, unsigned int maxIntensity,
                          unsigned int pulseFrequency, unsigned int* id, unsigned int warmUpTime);
    /// The same definition from named fields (<korvan/device/laser_settings.h>), with the checks
    /// and results above. Prefer it: the positional overloads differ only in the type of their
    /// last argument, so `AddLaser(..., &id, 0)` sets active level 0 (an active-low laser), not a
    /// warm-up time of 0.
    unsigned int AddLaser(const LaserSettings& settings, unsigned int* id);
    /// Deletes a laser with its calibration; its identifier becomes free, the others keep
    /// theirs. 2 when no laser has `id` (also for an empty list). Sends nothing.
    unsigned int RemoveLaser(unsigned int id);
    /// Reads the output a laser is on. 2 for a null `port`.
    unsigned int GetPortForLaser(unsigned int id, OutputPorts* port);
    /// Moves a laser to another output. 2: a port other than NoOutput and LaserOutput1..4, or
    /// one another laser has. When this object's last connection was to firmware 6 or later, the
    /// new port's output default is brought to the laser's off level as in AddLaser; that needs
    /// the device connected and Idle (1 or 5 otherwise, and the laser keeps its port).
    unsigned int SetPortForLaser(unsigned int id, OutputPorts port);
    /// Reads a laser's scan step size (device units between the points of lines and shapes;
    /// the step size of its calibration). 2 for a null `stepSize`.
    unsigned int GetLaserStepSize(unsigned int id, int* stepSize);
    /// Sets a laser's scan step size; 2 when below 1 (checked before the laser is looked up).
    unsigned int SetLaserStepSize(unsigned int id, int stepSize);
    /// Copies a laser's whole definition to `*laser`: every AddLaser field, the intensity last
    /// set, and its calibration table (with the step size). The copy owns its own calibration
    /// (a Clone, points truncated to integers), freed when `*laser` is destroyed; changing it
    /// does not change the laser. 2 for a null `laser` or an unknown identifier, 5 for an empty
    /// list (`*laser` unchanged then). No device traffic.
    unsigned int GetLaser(unsigned int id, Laser* laser) const;

    // ---- Laser switching ----------------------------------------------------------------

    /// Switches a continuous laser on (`on` non-zero: its line to the active level) or off.
    /// Idle or Calibrating. 2: a pulsed laser (nothing sent; a calibration run switches those), or
    /// a laser on NoOutput.
    unsigned int SetLaserONOFF(unsigned int id, int on);
    /// Sets a continuous laser's intensity (0..10000, within its minIntensity..maxIntensity) and,
    /// in Idle or Calibrating, sends it to the laser's analog channel at once; while a sequence
    /// runs the value is only stored (0). 2: a pulsed laser or an intensity above 10000; 5: a
    /// laser without an intensity range (minIntensity not below maxIntensity); 1: not connected.
    unsigned int SetLaserIntensity(unsigned int id, unsigned int intensity);

    // ---- Calibration runs ---------------------------------------------------------------
    //
    // A run lights a laser, lets the application steer the beam (MoveAbsolute, MoveRelative) to
    // spots its camera sees, and records for each spot its camera pixel and the mirror position.
    // Moves switch the laser off while the mirrors travel and on again at the spot. Recording the
    // point with the last index ends the run: the laser's table becomes the recorded one (points
    // truncated to integers), the laser goes off and the state returns to Idle. Stop ends a run
    // without changing the table. Record the last index last: points never recorded keep their
    // grid values.

    /// Starts a run of `pointCount` points (3 or a square: 4, 9, 16, ...) with laser `laserId`:
    /// an intensity-controlled laser lights at its intensity (SetLaserIntensity), a pulsed one
    /// through its pulse sequence. Idle only (5; 1 not connected). 2: invalid count (the laser is
    /// not switched on) or the laser is on NoOutput. A failure leaves the laser off and the state
    /// as it was.
    unsigned int StartCalibration(unsigned int pointCount, unsigned int laserId);
    /// Sets the intensity (0..10000, 2 above) of calibration runs. During a run it is applied at
    /// once (laser off, new level, laser on; 5 for a laser without an intensity range); outside a
    /// run it is stored only, and the next run starts at the laser's own intensity.
    unsigned int SetCalibrationIntensity(unsigned int intensity);
    /// Records point `index`: camera pixel (non-negative) and device position (0..65535).
    /// 5: no run; 2: an index beyond the count or a coordinate out of range or not finite (the
    /// table is unchanged). The last index ends the run (see above) and returns Stop's result.
    unsigned int SetCalibrationPoint(unsigned int index, RPOINTF camera, RPOINTF device);
    /// As above, with the device position read from the mirrors.
    unsigned int SetCalibrationPoint(unsigned int index, RPOINTF camera);
    /// Gives a laser the 16-point identity table again; its step size stays. No device traffic.
    unsigned int ResetCalibration(unsigned int laserId);
    /// Maps a camera pixel through a laser's table to a device position (coordinates truncated;
    /// outside the recorded grid the table extrapolates). No device traffic. 2: null `device` or
    /// a coordinate that is not finite.
    unsigned int GetDeviceCoordinates(RPOINTF camera, RPOINTF* device, unsigned int laserId);
    /// Loads a laser's table from a file written by SaveCalibration. 5 during a run; 2 for an
    /// unknown laser; a failing load returns the file's result (see Calibration::LoadCalibration)
    /// and the laser keeps its previous table.
    unsigned int LoadCalibration(const char* path, unsigned int laserId);
    /// Saves a laser's table as an INI file (see Calibration::SaveCalibration). 5 during a run.
    /// The connection is kept alive while the file is written.
    unsigned int SaveCalibration(const char* path, unsigned int laserId);

    // ---- Sequences ----------------------------------------------------------------------
    //
    // A sequence is an array of elements (<korvan/sequence/sequence_elements.h>) that the
    // application owns; these calls only read it. Compiling checks the elements against each
    // other and against the defined lasers: 4 when an element fails (overlapping beam elements,
    // an unknown laser, an output port a laser uses, a wait on an input other than Input0/1, a
    // value above 10000, a time beyond the device's 32-bit ticks, a point whose intensity stamps
    // lie outside its light or closer together than the laser can follow, an element that
    // yields nothing); 3 when the image passes the device's 33,000,000 bytes.

    /// Compiles the elements, stores the image in the device's sequence memory and writes the
    /// number the device gave it to `*sequenceNumber`. Idle only (5 otherwise, 1 not connected).
    /// 2: null array, element or `sequenceNumber` (nothing sent); 3: the device's free memory
    /// is too small (it is defragmented first when only the largest block is); 4 see above;
    /// 1: the transfer failed or the progress function (SetSendingDataFct) cancelled it. After a
    /// broken transfer the next command waits about 1.5 s, until the device has dropped the
    /// partial image.
    unsigned int UploadSequence(const SequenceObject* const* elements, unsigned int count,
                                unsigned short* sequenceNumber);
    /// The device memory the elements need (the image length in bytes), without a device.
    /// 2: null array, element or `size`; 3 and 4 as for UploadSequence.
    unsigned int CalcMemoryUsage(const SequenceObject* const* elements, unsigned int count, unsigned int* size);
    /// Duration and illumination time of one element, in ticks of this object's tick time.
    /// 2: a null output, or an element that yields nothing (both 0); 4: beyond 32-bit ticks.
    unsigned int GetTiming(const SequenceObject& element, unsigned int* duration, unsigned int* illumination);
    /// Runs a stored sequence `runs` times (0: until Stop), at once with NoInput or when
    /// `input` (Input0..3) triggers as `trigger` says. Idle only. 2: input and trigger both
    /// invalid (nothing sent), or the device refuses the arguments (status 0x01 or 0x03, also for a
    /// number it does not hold); 5: the device refuses otherwise. On success the cached state is
    /// refreshed.
    unsigned int StartSequence(unsigned short sequenceNumber, InputPorts input, TriggerBehaviour trigger,
                               unsigned int runs);
    /// Compiles without a device, as UploadSequence would, and reports per element its start,
    /// duration and illumination, the element that failed with the reason, and the image bytes
    /// (<korvan/sequence/sequence_analysis.h>). Returns the compile result (0, 2, 3, 4), also in
    /// `analysis->result`; 2 for a null `analysis`.
    unsigned int AnalyzeSequence(const SequenceObject* const* elements, unsigned int count, SequenceAnalysis* analysis);
    /// External start mode is not supported by this device: always 5.
    unsigned int StartExternMode(InputPorts input);
    /// What this object's sequence calls compile with, for korvan::CompileSequence: this object's
    /// tick time, the process-wide scan mode and the process-wide laser list (not copied: the array
    /// stays valid until a laser is added or removed). No device traffic. 2 for a null `settings`.
    unsigned int GetSequenceSettings(korvan::SequenceSettings* settings) const;

private:
    // The connection (its line shared with copies) and the calibration run; every operation
    // forwards to the free functions over them (korvan/device/detail/session.h).
    std::unique_ptr<korvan::detail::Session> session_;
    std::unique_ptr<korvan::detail::CalibrationRun> calibration_;
};
