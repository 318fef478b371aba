#pragma once
// Korvan: the application's handle on one laser scanning device.
#include <korvan/device/device_info.h>
#include <korvan/device/device_types.h>
#include <korvan/device/failure.h>
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
    /// device. ResultSuccess; ResultInvalidArgument: null `info` or index outside -1 .. count-1;
    /// ResultCommunicationError: index -1 while not connected.
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
    /// ResultSuccess; ResultInvalidArgument: null argument; ResultCommunicationError: no such
    /// device or the port did not open; otherwise the result of the first clean-up step that
    /// failed, ResultCommunicationError or ResultNotPossibleNow (the connection then stays open).
    unsigned int Connect(const char* portNameOrSerialNumber);
    /// Stops and resets the device, returns it to 9600 baud and closes the port. ResultSuccess,
    /// also when not connected (nothing is sent then); ResultCommunicationError when the device
    /// confirms neither the reset nor the return to 9600 baud (the port is closed all the same).
    unsigned int Disconnect();
    /// Sets the progress function called while a sequence image is sent: (bytes sent, total);
    /// returning false cancels that image (the upload gives ResultCommunicationError with
    /// LastFailure Failure::Cancelled; the connection stays usable, see UploadSequence).
    /// Only image sends report; the commands around them never call it. Search and Connect drop
    /// it, so set it after Connect.
    void SetSendingDataFct(bool (*function)(int, int));

    // ---- State, errors and reset --------------------------------------------------------

    /// Queries the device. `*sequenceCounter` is meaningful while a sequence is active (0
    /// otherwise); `*statusWord` is written only for firmware 16 or later (null is skipped).
    /// ResultSuccess; ResultInvalidArgument: `state` or `sequenceCounter` null (nothing sent);
    /// ResultCommunicationError: not connected, or the query failed (the port is then closed);
    /// `*state` is NotConnected.
    unsigned int GetState(State* state, unsigned int* sequenceCounter, unsigned short* statusWord);
    /// The same query; the omitted outputs are dropped.
    unsigned int GetState(State* state, unsigned int* sequenceCounter);
    unsigned int GetState(State* state);
    /// The device error bits collected since the last clear (after a fresh state query).
    unsigned char GetLastDeviceError();
    /// Clears the device's errors and the collected bits. ResultSuccess; ResultCommunicationError
    /// when not connected or the device does not confirm.
    unsigned int ClearLastDeviceError();
    /// Releases a sequence that waits for the user. ResultSuccess; ResultNotPossibleNow unless
    /// the state is WaitingForUser, or when the device refuses; ResultCommunicationError when not
    /// connected or the exchange fails.
    unsigned int AcknowledgeWaitForUser();
    /// Ends whatever runs: a sequence is stopped, a calibration ended. ResultCommunicationError
    /// when not connected, else the result of a final state query (ResultSuccess or
    /// ResultCommunicationError).
    unsigned int Stop();
    /// Erases every stored sequence. Idle only. ResultSuccess; ResultNotPossibleNow in another
    /// state; ResultCommunicationError when not connected or the device does not confirm.
    unsigned int DeleteAllSequences();

    // ---- Outputs, motion and timing -----------------------------------------------------

    /// Sets the level a switching line takes when no sequence drives it. Idle only.
    /// ResultSuccess; ResultInvalidArgument for a port without a switching line (checked first);
    /// ResultNotPossibleNow in another state; ResultCommunicationError when not connected or the
    /// device does not confirm.
    unsigned int SetOutputDefault(OutputPorts port, int level);
    /// Reads the default level of a switching line into `*level`. Idle only. ResultSuccess;
    /// ResultInvalidArgument for a null `level` or a port without a switching line (checked
    /// first); ResultNotPossibleNow in another state; ResultCommunicationError when not connected
    /// or the reply fails.
    unsigned int GetOutputDefault(OutputPorts port, int* level);
    /// Sets the length of a device tick in microseconds. Idle only. ResultSuccess;
    /// ResultInvalidArgument for 0; ResultNotPossibleNow in another state;
    /// ResultCommunicationError when not connected (also before Connect: the object keeps its
    /// tick time) or the device does not confirm.
    unsigned int SetTickTime(unsigned int microseconds);
    /// Chooses the scan lead of compiled sequences for all objects of the process. Always
    /// ResultSuccess (an unknown mode leaves the lead as it was).
    unsigned int SetScanMode(ScanMode mode);
    /// Moves the mirrors to (x, y), each 0..65535. Idle or Calibrating. ResultSuccess;
    /// ResultInvalidArgument for a coordinate out of range (no move); ResultNotPossibleNow in
    /// another state; ResultCommunicationError when not connected or an exchange fails. During a
    /// calibration run, relighting the laser at the spot may give that laser's failure.
    unsigned int MoveAbsolute(unsigned int x, unsigned int y);
    /// As above; a negative coordinate is out of range (ResultInvalidArgument).
    unsigned int MoveAbsolute(tagPOINT position);
    /// Moves the mirrors by (dx, dy), from the position read back first. Results as for
    /// MoveAbsolute: ResultSuccess; ResultInvalidArgument when the target leaves 0..65535 (no
    /// move then); ResultNotPossibleNow; ResultCommunicationError.
    unsigned int MoveRelative(int dx, int dy);
    unsigned int MoveRelative(tagPOINT offset);
    /// Reads the mirrors' actual position. Idle or Calibrating. ResultSuccess;
    /// ResultInvalidArgument for a null `position`; ResultNotPossibleNow in another state;
    /// ResultCommunicationError when not connected or a reply fails.
    unsigned int GetActualPosition(tagPOINT* position);

    // ---- Sequence memory and user data --------------------------------------------------

    /// Reads the device's table of stored sequences into the process-wide sequence table and
    /// returns their number; 0 also on any failure.
    unsigned int GetSequenceCount();
    /// Copies entry `index` of the table last read by GetSequenceCount. No device traffic.
    /// ResultSuccess; ResultInvalidArgument: null `info` or an index beyond the table.
    unsigned int GetMemoryUsage(unsigned int index, SequenceMemoryInfo* info);
    /// Free bytes of the sequence memory and (if `largestBlock` is not null) its largest
    /// contiguous free block. Idle or Calibrating. ResultSuccess; ResultInvalidArgument for a
    /// null `freeBytes`; ResultNotPossibleNow in another state; ResultCommunicationError when not
    /// connected or the reply fails.
    unsigned int GetAvailableMemory(unsigned int* freeBytes, unsigned int* largestBlock);
    /// Deletes one stored sequence. Idle or Calibrating. ResultSuccess, also when the device
    /// holds no sequence of that number; ResultNotPossibleNow in another state;
    /// ResultCommunicationError when not connected or the device does not confirm.
    unsigned int DeleteSequence(unsigned short sequenceNumber);
    /// Reads the user data block. On 0, `*data` holds `*length` bytes allocated by the library:
    /// release it with FreeUserData. On any other result `*data` must not be used or released.
    /// ResultSuccess; ResultInvalidArgument: a null pointer; ResultNotPossibleNow: not Idle (also
    /// when not connected) or the device failed. Never ResultCommunicationError.
    unsigned int GetUserData(unsigned char** data, unsigned int* length);
    /// Writes 1 to 60 bytes of user data; the device replaces its block with them.
    /// ResultSuccess; ResultInvalidArgument: null `data` or `length` outside 1..60 (nothing
    /// sent); ResultNotPossibleNow: not Idle (also when not connected) or the device failed.
    unsigned int SetUserData(const unsigned char* data, unsigned int length);
    /// Releases a buffer from GetUserData; null is ignored.
    void FreeUserData(unsigned char* data);

    // ---- Laser definitions --------------------------------------------------------------
    //
    // Lasers live in one list shared by all Korvan objects of the process, independent of any
    // connection: define them before or after Connect; Connect, Disconnect and Search leave
    // them alone. The list owns each laser and its calibration. A laser operation on an empty
    // list gives ResultNotPossibleNow, on an unknown identifier ResultInvalidArgument.

    /// Defines a laser and writes its identifier (the smallest positive one not in use) to
    /// `*id`. Delays are microseconds; `minIntensity` and `maxIntensity` (0..10000, min not
    /// above max) are the analog levels of intensity 0 and 10000; `pulseFrequency` 0 means a
    /// continuous laser. `activeLevel` is the line level that switches it on (default 1).
    /// Allowed before any connection and in Idle (ResultSuccess); ResultNotPossibleNow in other
    /// states. ResultInvalidArgument: null `id`, an active level other than 0 and 1 (nothing sent), a port other than
    /// NoOutput and LaserOutput1..4, a port another laser has, or a bad intensity range. Connected to firmware 6 or
    /// later, the port's output default is first brought to the laser's off level, so that the laser stays dark when
    /// nothing drives its line; a failure there is returned (ResultCommunicationError for a communication failure).
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
    /// theirs. ResultSuccess; ResultInvalidArgument when no laser has `id` (also for an empty
    /// list). Sends nothing.
    unsigned int RemoveLaser(unsigned int id);
    /// Reads the output a laser is on. No device traffic. ResultSuccess; ResultInvalidArgument
    /// for a null `port` or an unknown identifier; ResultNotPossibleNow for an empty list.
    unsigned int GetPortForLaser(unsigned int id, OutputPorts* port);
    /// Moves a laser to another output. ResultSuccess; ResultInvalidArgument: an unknown
    /// identifier, a port other than NoOutput and LaserOutput1..4, or one another laser has;
    /// ResultNotPossibleNow for an empty list. When this object's last connection was to firmware
    /// 6 or later, the new port's output default is brought to the laser's off level as in
    /// AddLaser; that needs the device connected and Idle (ResultCommunicationError or
    /// ResultNotPossibleNow otherwise, and the laser keeps its port).
    unsigned int SetPortForLaser(unsigned int id, OutputPorts port);
    /// Reads a laser's scan step size (device units between the points of lines and shapes;
    /// the step size of its calibration). ResultSuccess; ResultInvalidArgument for a null
    /// `stepSize` or an unknown identifier; ResultNotPossibleNow for an empty list.
    unsigned int GetLaserStepSize(unsigned int id, int* stepSize);
    /// Sets a laser's scan step size. ResultSuccess; ResultInvalidArgument when below 1 (checked
    /// before the laser is looked up) or for an unknown identifier; ResultNotPossibleNow for an
    /// empty list.
    unsigned int SetLaserStepSize(unsigned int id, int stepSize);
    /// Copies a laser's whole definition to `*laser`: every AddLaser field, the intensity last
    /// set, and its calibration table (with the step size). The copy owns its own calibration
    /// (a Clone, points truncated to integers), freed when `*laser` is destroyed; changing it
    /// does not change the laser. ResultSuccess; ResultInvalidArgument for a null `laser` or an
    /// unknown identifier, ResultNotPossibleNow for an empty list (`*laser` unchanged then). No
    /// device traffic.
    unsigned int GetLaser(unsigned int id, Laser* laser) const;

    // ---- Laser switching ----------------------------------------------------------------

    /// Switches a continuous laser on (`on` non-zero: its line to the active level) or off.
    /// Idle or Calibrating. ResultSuccess; ResultInvalidArgument: an unknown identifier, a pulsed
    /// laser (nothing sent; a calibration run switches those), or a laser on NoOutput;
    /// ResultNotPossibleNow: an empty list or another state; ResultCommunicationError: not
    /// connected or the device does not confirm.
    unsigned int SetLaserONOFF(unsigned int id, int on);
    /// Sets a continuous laser's intensity (0..10000, within its minIntensity..maxIntensity) and,
    /// in Idle or Calibrating, sends it to the laser's analog channel at once; while a sequence
    /// runs the value is only stored (ResultSuccess). ResultInvalidArgument: an unknown
    /// identifier, a pulsed laser or an intensity above 10000; ResultNotPossibleNow: an empty list
    /// or a laser without an intensity range (minIntensity not below maxIntensity);
    /// ResultCommunicationError: not connected or the device does not confirm.
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
    /// through its pulse sequence. ResultSuccess; Idle only (ResultNotPossibleNow in another
    /// state or for an empty list; ResultCommunicationError when not connected or an exchange
    /// fails). ResultInvalidArgument: an unknown laser, an invalid count (the laser is not switched
    /// on) or the laser is on NoOutput. A pulsed laser's pulse sequence is uploaded and started as
    /// UploadSequence and StartSequence would, with their results (ResultMemoryTooSmall when the
    /// memory is full). A failure leaves the laser off and the state as it was.
    unsigned int StartCalibration(unsigned int pointCount, unsigned int laserId);
    /// Sets the intensity (0..10000, ResultInvalidArgument above) of calibration runs. During a
    /// run it is applied at once (laser off, new level, laser on; ResultNotPossibleNow for a laser
    /// without an intensity range); outside a run it is stored only (ResultSuccess), and the next
    /// run starts at the laser's own intensity. ResultCommunicationError when not connected, also
    /// outside a run, or when an exchange fails.
    unsigned int SetCalibrationIntensity(unsigned int intensity);
    /// Records point `index`: camera pixel (non-negative) and device position (0..65535).
    /// ResultSuccess; ResultNotPossibleNow: no run (also when not connected); ResultInvalidArgument:
    /// an index beyond the count or a coordinate out of range or not finite (the table is
    /// unchanged). The last index ends the run (see above) and returns Stop's result
    /// (ResultSuccess or ResultCommunicationError).
    unsigned int SetCalibrationPoint(unsigned int index, RPOINTF camera, RPOINTF device);
    /// As above, with the device position read from the mirrors: reading them gives
    /// GetActualPosition's failures (ResultCommunicationError when not connected).
    unsigned int SetCalibrationPoint(unsigned int index, RPOINTF camera);
    /// Gives a laser the 16-point identity table again; its step size stays. No device traffic.
    /// ResultSuccess; ResultInvalidArgument for an unknown laser; ResultNotPossibleNow for an
    /// empty list.
    unsigned int ResetCalibration(unsigned int laserId);
    /// Maps a camera pixel through a laser's table to a device position (coordinates truncated;
    /// outside the recorded grid the table extrapolates). No device traffic. ResultSuccess;
    /// ResultInvalidArgument: null `device`, an unknown laser or a coordinate that is not finite;
    /// ResultNotPossibleNow for an empty list.
    unsigned int GetDeviceCoordinates(RPOINTF camera, RPOINTF* device, unsigned int laserId);
    /// Loads a laser's table from a file written by SaveCalibration. ResultSuccess;
    /// ResultNotPossibleNow during a run; ResultInvalidArgument for an unknown laser (also for an
    /// empty list); a failing load returns the file's result (see Calibration::LoadCalibration:
    /// ResultNotPossibleNow for a file that is missing or unreadable or has a bad value,
    /// ResultInvalidArgument for a null path or a bad point count) and the laser keeps its
    /// previous table.
    unsigned int LoadCalibration(const char* path, unsigned int laserId);
    /// Saves a laser's table as an INI file (see Calibration::SaveCalibration). ResultSuccess;
    /// ResultNotPossibleNow during a run or for an empty list; ResultInvalidArgument for an unknown
    /// laser, a null path or a file that cannot be created (a missing folder);
    /// ResultNotPossibleNow when a value cannot be written. The connection is kept alive while the
    /// file is written.
    unsigned int SaveCalibration(const char* path, unsigned int laserId);

    // ---- Sequences ----------------------------------------------------------------------
    //
    // A sequence is an array of elements (<korvan/sequence/sequence_elements.h>) that the
    // application owns; these calls only read it. Compiling checks the elements against each
    // other and against the defined lasers: ResultSequenceInvalid when an element fails
    // (overlapping beam elements, an unknown laser, an output port a laser uses, an analog value
    // for a port without an analog channel, a wait on an input other than Input0/1, a value above
    // 10000, a time beyond the device's 32-bit ticks, a point whose intensity stamps lie outside
    // its light or closer together than the laser can follow, an element that yields nothing);
    // ResultMemoryTooSmall when the image passes the device's 33,000,000 bytes.

    /// Compiles the elements, stores the image in the device's sequence memory and writes the
    /// number the device gave it to `*sequenceNumber`. ResultSuccess; Idle only
    /// (ResultNotPossibleNow otherwise, ResultCommunicationError when not connected).
    /// ResultInvalidArgument: null array, element or `sequenceNumber` (nothing sent);
    /// ResultMemoryTooSmall: the device's free memory is too small (it is defragmented first when
    /// only the largest block is); ResultSequenceInvalid see above; ResultCommunicationError: the
    /// transfer failed or the progress function (SetSendingDataFct) cancelled it; LastFailure
    /// tells the two apart (Failure::Cancelled). A cancel returns at once when the rest of the
    /// image would take the line under 0.75 s: the rest is sent without further reports and the
    /// stored image deleted again. A longer rest, and a transfer that broke, leave the device to
    /// drop the partial image: the next command then waits about 1.5 s for that.
    unsigned int UploadSequence(const SequenceObject* const* elements, unsigned int count,
                                unsigned short* sequenceNumber);
    /// The device memory the elements need (the image length in bytes), without a device.
    /// ResultSuccess; ResultInvalidArgument: null array, element or `size`; ResultMemoryTooSmall
    /// and ResultSequenceInvalid as for UploadSequence.
    unsigned int CalcMemoryUsage(const SequenceObject* const* elements, unsigned int count, unsigned int* size);
    /// Duration and illumination time of one element, in ticks of this object's tick time.
    /// ResultSuccess; ResultInvalidArgument: a null output, or an element that yields nothing
    /// (both 0); ResultSequenceInvalid: beyond 32-bit ticks.
    unsigned int GetTiming(const SequenceObject& element, unsigned int* duration, unsigned int* illumination);
    /// Runs a stored sequence `runs` times (0: until Stop), at once with NoInput or when
    /// `input` (Input0..3) triggers as `trigger` says. Idle only (ResultNotPossibleNow otherwise,
    /// ResultCommunicationError when not connected). ResultInvalidArgument: input and trigger both
    /// invalid (nothing sent), or the device refuses the arguments (status 0x01 or 0x03, also for a
    /// number it does not hold, or for an input with an invalid trigger); ResultNotPossibleNow:
    /// the device refuses otherwise; ResultCommunicationError: the exchange failed. On success
    /// the cached state is refreshed (ResultSuccess, or ResultCommunicationError when that query
    /// fails).
    unsigned int StartSequence(unsigned short sequenceNumber, InputPorts input, TriggerBehaviour trigger,
                               unsigned int runs);
    /// Compiles without a device, as UploadSequence would, and reports per element its start,
    /// duration and illumination, the element that failed with the reason, and the image bytes
    /// (<korvan/sequence/sequence_analysis.h>). Returns the compile result (ResultSuccess,
    /// ResultInvalidArgument, ResultMemoryTooSmall, ResultSequenceInvalid), also in
    /// `analysis->result`; ResultInvalidArgument for a null `analysis`.
    unsigned int AnalyzeSequence(const SequenceObject* const* elements, unsigned int count, SequenceAnalysis* analysis);
    /// External start mode is not supported by this device: always ResultNotPossibleNow.
    unsigned int StartExternMode(InputPorts input);
    /// What this object's sequence calls compile with, for korvan::CompileSequence: this object's
    /// tick time, the process-wide scan mode and the process-wide laser list (not copied: the array
    /// stays valid until a laser is added or removed). No device traffic. ResultSuccess;
    /// ResultInvalidArgument for a null `settings`.
    unsigned int GetSequenceSettings(korvan::SequenceSettings* settings) const;

    // ---- Failure detail -----------------------------------------------------------------

    /// Why the last operation gave ResultCommunicationError: a cancelled upload
    /// (Failure::Cancelled), no connection, a reply time-out, a garbled reply, a refusal or a
    /// broken line (see <korvan/device/failure.h>; FailureText puts it into words). Every
    /// operation of this class that returns a result code sets it, Failure::None for any other
    /// result, except the const ones (GetLaser, GetSequenceSettings), which leave it alone.
    /// Search, GetSequenceCount and GetLastDeviceError, which return no result code, leave it
    /// alone too. Each copy of an object keeps its own.
    korvan::Failure LastFailure() const;

private:
    // The connection (its line shared with copies) and the calibration run; every operation
    // forwards to the free functions over them (korvan/device/detail/session.h).
    std::unique_ptr<korvan::detail::Session> session_;
    std::unique_ptr<korvan::detail::CalibrationRun> calibration_;
};
