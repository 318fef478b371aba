#pragma once
// Shared pieces of the Python module: the exception for result codes, the device handle that
// Python objects share, and how long calls give up the interpreter lock.
#include <korvan/korvan.h>
#include <sim/image/timeline.h>

#include <pybind11/pybind11.h>
#include <pybind11/stl/filesystem.h>

#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace pykorvan {

/// Raises korvan.KorvanError for a result code other than 0, naming the operation.
[[noreturn]] void RaiseResult(unsigned int code, const std::string& operation, const std::string& detail = {});
/// Raises korvan.KorvanError with `code` and `operation` and the message as given.
[[noreturn]] void RaiseMessage(unsigned int code, const std::string& operation, const std::string& message);
/// Raises korvan.KorvanFileNotFoundError, both a KorvanError and a FileNotFoundError, for a
/// file that does not exist.
[[noreturn]] void RaiseFileNotFound(unsigned int code, const std::string& operation, const std::filesystem::path& path,
                                    const std::string& message);
/// "Class(a=..., b=...)" from the object's own attributes `fields`, then `extra` (already
/// formatted); enumeration members show as Class.Member.
std::string ReprOf(py::handle self, const std::vector<const char*>& fields, const std::string& extra = {});
/// Gives class `name` of `m` a __repr__ showing `fields` (see ReprOf).
void SetFieldsRepr(py::module_& m, const char* name, std::vector<const char*> fields);
/// The repr of one value, enumeration members as Class.Member.
std::string ValueRepr(py::handle value);
/// Records the failure detail of the device call that just ended on this thread
/// (Korvan::LastFailure): the next KorvanError for result 1 raised on this thread carries it.
void NoteLastFailure(korvan::Failure failure);
inline void Check(unsigned int code, const char* operation) {
    if (code != korvan::ResultSuccess) RaiseResult(code, operation);
}

/// A Korvan object shared by the Python objects that need it (the Device, loaded sequence
/// files), so none of them can outlive it. Korvan is for one thread at a time: every call goes
/// through Call, which gives up the interpreter lock first and then takes the handle's own lock,
/// in that order so that a thread waiting for the handle never holds the interpreter.
struct DeviceHandle {
    explicit DeviceHandle(int keepBaudRate) : korvan(keepBaudRate) {}
    Korvan korvan;
    std::mutex mutex;

    template <class F>
    auto Call(F&& f) {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(mutex);
        const NoteFailure note{korvan};
        return f(korvan);
    }

private:
    // Leaves the call's failure detail for the KorvanError that RaiseResult may raise next.
    struct NoteFailure {
        Korvan& korvan;
        ~NoteFailure() { NoteLastFailure(korvan.LastFailure()); }
    };
};

/// The Python Device: a shared handle, so sequences loaded on it keep it alive.
struct Device {
    std::shared_ptr<DeviceHandle> handle;

    explicit Device(bool keepBaudRate) : handle(std::make_shared<DeviceHandle>(keepBaudRate ? 1 : 0)) {}

    /// Raises KorvanError on failure; an unknown serial number says so (device.cpp).
    void Connect(const std::string& target);
    /// Ends a calibration run (laser off), then hands the device back in its default state.
    void Close() {
        handle->Call([](Korvan& k) {
            State state = NotConnected;
            if (k.GetState(&state) == 0 && state == Calibrating) k.Stop();
            return k.Disconnect();
        });
    }
    State GetState() {
        State state = NotConnected;
        handle->Call([&](Korvan& k) { return k.GetState(&state); });
        return state;
    }
};

/// Upload and firmware progress: the library takes a plain function, so the Python callable
/// lives here for the duration of one transfer (transfers with progress run one at a time).
/// The callable returning False, raising, or Ctrl-C cancels the transfer; Finish rethrows
/// what the callable raised. An upload reports only its image's send.
class ProgressScope {
public:
    explicit ProgressScope(py::object callable);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    static bool Trampoline(int done, int total);
    /// Holding the interpreter lock: raises what the callable raised, if it did.
    void Finish();

private:
    std::unique_lock<std::mutex> lock_;
};

/// The enumerations are real enum.IntEnum classes, so that they compare and compute with ints
/// and numpy arrays as ints do. IntEnumType<E>::type is the class, made once by DefineIntEnum.
template <class E>
struct IntEnumType {
    static inline PyObject* type = nullptr;
};

/// Creates the IntEnum class `name` in `m` with its members (in this order) and docstring.
py::object MakeIntEnum(py::module_& m, const char* name, const char* doc,
                       const std::vector<std::pair<const char*, long long>>& members);

template <class E>
void DefineIntEnum(py::module_& m, const char* name, const char* doc,
                   std::initializer_list<std::pair<const char*, E>> members) {
    std::vector<std::pair<const char*, long long>> values;
    for (const auto& member : members) values.emplace_back(member.first, static_cast<long long>(member.second));
    IntEnumType<E>::type = MakeIntEnum(m, name, doc, values).release().ptr();  // lives as long as the process
}

/// A member of the class `type` taken from `src`: a member itself, or (when converting) an int
/// that is a member's value. False otherwise, with no Python error set.
bool LoadIntEnum(PyObject* type, py::handle src, bool convert, long long* value);
/// The member of `type` with `value` (a new reference); an unknown value gives a plain int.
py::handle CastIntEnum(PyObject* type, long long value);

// One binding function per area, each in its own file so the module compiles in parallel.
void BindDevice(py::module_& m);
void BindSequence(py::module_& m);
void BindStack(py::module_& m);
void BindVirtual(py::module_& m);
void BindSchedule(py::module_& m);  // schedule.cpp
void BindBulk(py::module_& m);      // bulk.cpp

}  // namespace pykorvan

// Type casters between the C++ enumerations and their IntEnum classes.
#define PYKORVAN_INT_ENUM(E, NAME)                                                                      \
    namespace pybind11::detail {                                                                        \
    template <>                                                                                         \
    struct type_caster<E> {                                                                             \
        PYBIND11_TYPE_CASTER(E, const_name(NAME));                                                      \
        bool load(handle src, bool convert) {                                                           \
            long long v = 0;                                                                            \
            if (!pykorvan::LoadIntEnum(pykorvan::IntEnumType<E>::type, src, convert, &v)) return false; \
            value = static_cast<E>(v);                                                                  \
            return true;                                                                                \
        }                                                                                               \
        static handle cast(E v, return_value_policy, handle) {                                          \
            return pykorvan::CastIntEnum(pykorvan::IntEnumType<E>::type, static_cast<long long>(v));    \
        }                                                                                               \
    };                                                                                                  \
    }

PYKORVAN_INT_ENUM(OutputPorts, "OutputPorts")
PYKORVAN_INT_ENUM(InputPorts, "InputPorts")
PYKORVAN_INT_ENUM(TriggerBehaviour, "TriggerBehaviour")
PYKORVAN_INT_ENUM(State, "State")
PYKORVAN_INT_ENUM(ScanMode, "ScanMode")
PYKORVAN_INT_ENUM(sim::image::Event, "TimelineEvent")
