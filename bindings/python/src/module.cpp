// The korvan module: the exception for result codes, the enumerations, and the areas bound in
// the other files of this folder.
#include "common.h"

#include <korvan/version.h>

#include <cerrno>
#include <memory>

namespace pykorvan {
namespace {

PyObject* g_korvanError = nullptr;
PyObject* g_fileNotFound = nullptr;

const char* ResultConstant(unsigned int code) {
    switch (code) {
    case korvan::ResultSuccess: return "RESULT_SUCCESS";
    case korvan::ResultCommunicationError: return "RESULT_COMMUNICATION_ERROR";
    case korvan::ResultInvalidArgument: return "RESULT_INVALID_ARGUMENT";
    case korvan::ResultMemoryTooSmall: return "RESULT_MEMORY_TOO_SMALL";
    case korvan::ResultSequenceInvalid: return "RESULT_SEQUENCE_INVALID";
    case korvan::ResultNotPossibleNow: return "RESULT_NOT_POSSIBLE_NOW";
    default: return "RESULT_UNKNOWN";
    }
}

thread_local korvan::Failure t_lastFailure = korvan::Failure::None;

const char* FailureName(korvan::Failure failure) {
    switch (failure) {
    case korvan::Failure::None: return "None";
    case korvan::Failure::NoConnection: return "NoConnection";
    case korvan::Failure::Cancelled: return "Cancelled";
    case korvan::Failure::Timeout: return "Timeout";
    case korvan::Failure::GarbledReply: return "GarbledReply";
    case korvan::Failure::DeviceRefused: return "DeviceRefused";
    case korvan::Failure::LineBroken: return "LineBroken";
    }
    return "None";
}

// The detail noted by the last device call, once: a later error must not pick it up again.
korvan::Failure TakeFailure(unsigned int code) {
    const korvan::Failure failure = t_lastFailure;
    t_lastFailure = korvan::Failure::None;
    return code == korvan::ResultCommunicationError ? failure : korvan::Failure::None;
}

std::mutex g_progressMutex;
PyObject* g_progressCallable = nullptr;  // owned reference while a scope is open
std::unique_ptr<py::error_already_set> g_progressError;

}  // namespace

py::object MakeIntEnum(py::module_& m, const char* name, const char* doc,
                       const std::vector<std::pair<const char*, long long>>& members) {
    py::list pairs;
    for (const auto& member : members) pairs.append(py::make_tuple(member.first, member.second));
    py::object type = py::module_::import("enum").attr("IntEnum")(name, pairs, py::arg("module") = "korvan");
    type.attr("__doc__") = doc;
    m.add_object(name, type);
    return type;
}

bool LoadIntEnum(PyObject* type, py::handle src, bool convert, long long* value) {
    if (type == nullptr || src.is_none()) return false;
    const int member = PyObject_IsInstance(src.ptr(), type);
    if (member < 0) PyErr_Clear();
    // A plain int is taken when it names a member; bool is refused as for int parameters.
    const bool number = PyLong_Check(src.ptr()) && !PyBool_Check(src.ptr());
    if (member != 1 && !(convert && number)) return false;
    PyObject* found = member == 1 ? (Py_INCREF(src.ptr()), src.ptr()) : PyObject_CallOneArg(type, src.ptr());
    if (found == nullptr) {
        PyErr_Clear();
        return false;
    }
    *value = PyLong_AsLongLong(found);
    Py_DECREF(found);
    if (*value == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    return true;
}

py::handle CastIntEnum(PyObject* type, long long value) {
    py::int_ number(value);
    PyObject* member = PyObject_CallOneArg(type, number.ptr());
    if (member != nullptr) return member;
    PyErr_Clear();
    return number.release();
}

std::string ValueRepr(py::handle value) {
    static const py::object enumType = py::module_::import("enum").attr("Enum");
    if (py::isinstance(value, enumType))
        return std::string(py::str(value.get_type().attr("__name__"))) + "." + std::string(py::str(value.attr("name")));
    return py::repr(value);
}

std::string ReprOf(py::handle self, const std::vector<const char*>& fields, const std::string& extra) {
    std::string out = std::string(py::str(self.get_type().attr("__name__"))) + "(";
    bool first = true;
    for (const char* field : fields) {
        out += (first ? "" : ", ") + std::string(field) + "=" + ValueRepr(self.attr(field));
        first = false;
    }
    if (!extra.empty()) out += (first ? "" : ", ") + extra;
    return out + ")";
}

void SetFieldsRepr(py::module_& m, const char* name, std::vector<const char*> fields) {
    py::object type = m.attr(name);
    type.attr("__repr__") = py::cpp_function([fields](py::handle self) { return ReprOf(self, fields); },
                                             py::is_method(type), py::doc("The fields of the object."));
}

void NoteLastFailure(korvan::Failure failure) { t_lastFailure = failure; }

void RaiseResult(unsigned int code, const std::string& operation, const std::string& detail) {
    std::string message = operation + " failed with " + std::to_string(code) + " (" + KorvanResultText(code) + ")";
    if (!detail.empty()) message += ": " + detail;
    RaiseMessage(code, operation, message);
}

void RaiseMessage(unsigned int code, const std::string& operation, const std::string& message) {
    // The message stays as given (callers match on its end); the detail is an attribute.
    const korvan::Failure failure = TakeFailure(code);
    py::object error = py::reinterpret_borrow<py::object>(g_korvanError)(message);
    error.attr("code") = code;
    error.attr("code_name") = ResultConstant(code);
    error.attr("failure") = failure == korvan::Failure::None ? py::object(py::none()) : py::str(FailureName(failure));
    error.attr("operation") = operation;
    PyErr_SetObject(g_korvanError, error.ptr());
    throw py::error_already_set();
}

void RaiseFileNotFound(unsigned int code, const std::string& operation, const std::filesystem::path& path,
                       const std::string& message) {
    // Made with the message alone, so that str() is the message as for every KorvanError.
    py::object error = py::reinterpret_borrow<py::object>(g_fileNotFound)(message);
    error.attr("errno") = ENOENT;
    error.attr("strerror") = "No such file or directory";
    error.attr("filename") = path.string();
    error.attr("code") = code;
    error.attr("code_name") = ResultConstant(code);
    error.attr("failure") = py::none();
    error.attr("operation") = operation;
    PyErr_SetObject(g_fileNotFound, error.ptr());
    throw py::error_already_set();
}

ProgressScope::ProgressScope(py::object callable) {
    {
        py::gil_scoped_release release;
        lock_ = std::unique_lock<std::mutex>(g_progressMutex);
    }
    g_progressCallable = callable.is_none() ? nullptr : callable.release().ptr();
}

ProgressScope::~ProgressScope() {
    Py_XDECREF(g_progressCallable);
    g_progressCallable = nullptr;
    g_progressError.reset();
}

bool ProgressScope::Trampoline(int done, int total) {
    py::gil_scoped_acquire acquire;
    if (g_progressError) return false;
    // Ctrl-C during a transfer cancels it; the KeyboardInterrupt surfaces after the call.
    if (PyErr_CheckSignals() != 0) {
        g_progressError = std::make_unique<py::error_already_set>();
        return false;
    }
    if (!g_progressCallable) return true;
    try {
        py::object result = py::reinterpret_borrow<py::object>(g_progressCallable)(done, total);
        return result.is_none() || py::bool_(result);
    } catch (py::error_already_set& e) {
        g_progressError = std::make_unique<py::error_already_set>(std::move(e));
        return false;
    }
}

void ProgressScope::Finish() {
    if (!g_progressError) return;
    py::error_already_set error = std::move(*g_progressError);
    g_progressError.reset();
    throw error;
}

}  // namespace pykorvan

PYBIND11_MODULE(_korvan, m) {
    using namespace pykorvan;
    m.doc() =
        "Laser scanning device SDK: devices, lasers and calibrations, sequences, previews, "
        "image stacks and the in-process virtual device.";

    g_korvanError =
        PyErr_NewExceptionWithDoc("korvan.KorvanError",
                                  "An operation returned a result code other than success. `code` is the result code "
                                  "(1 communication failure or no connection, 2 invalid argument, 3 device memory too "
                                  "small, 4 sequence invalid, 5 not possible in the device's current state), "
                                  "`operation` the name of the operation that failed. For code 1, `failure` says "
                                  "why ('Cancelled', 'NoConnection', 'Timeout', 'GarbledReply', 'DeviceRefused', "
                                  "'LineBroken'); None otherwise.",
                                  PyExc_RuntimeError, nullptr);
    m.add_object("KorvanError", py::handle(g_korvanError));
    py::handle(g_korvanError).attr("__repr__") = py::cpp_function(
        [](py::handle self) {
            auto text = [&](const char* name) { return py::str(py::getattr(self, name, py::str("?"))); };
            return std::string(py::str(self.get_type().attr("__name__"))) + "(" + std::string(text("code_name")) +
                   " (" + std::string(text("code")) +
                   "), operation=" + std::string(py::repr(py::getattr(self, "operation", py::none()))) +
                   ", message=" + std::string(py::repr(py::str(self))) + ")";
        },
        py::is_method(py::handle(g_korvanError)));
    // One `except KorvanError` keeps catching a missing file, and `except FileNotFoundError` works too;
    // FileNotFoundError first, so that its errno, strerror and filename are filled in.
    const py::tuple bases = py::make_tuple(py::handle(PyExc_FileNotFoundError), py::handle(g_korvanError));
    g_fileNotFound = PyErr_NewExceptionWithDoc(
        "korvan.KorvanFileNotFoundError",
        "A file an operation needs does not exist: a KorvanError and a FileNotFoundError (errno ENOENT, "
        "`filename` set).",
        bases.ptr(), nullptr);
    m.add_object("KorvanFileNotFoundError", py::handle(g_fileNotFound));
    py::handle(g_fileNotFound).attr("__str__") =
        py::cpp_function([](py::handle self) { return py::str(self.attr("args")[py::int_(0)]); },
                         py::is_method(py::handle(g_fileNotFound)));
    m.attr("RESULT_SUCCESS") = korvan::ResultSuccess;
    m.attr("RESULT_COMMUNICATION_ERROR") = korvan::ResultCommunicationError;
    m.attr("RESULT_INVALID_ARGUMENT") = korvan::ResultInvalidArgument;
    m.attr("RESULT_MEMORY_TOO_SMALL") = korvan::ResultMemoryTooSmall;
    m.attr("RESULT_SEQUENCE_INVALID") = korvan::ResultSequenceInvalid;
    m.attr("RESULT_NOT_POSSIBLE_NOW") = korvan::ResultNotPossibleNow;
    m.def("result_text", &KorvanResultText, py::arg("code"),
          "A short English text for a result code (\"invalid argument\", ...), the one KorvanError "
          "messages use; \"unknown result code\" for a number that is none.");

    DefineIntEnum<OutputPorts>(m, "OutputPorts", "An output of the device.",
                               {{"NoOutput", NoOutput},
                                {"LaserOutput1", LaserOutput1},
                                {"LaserOutput2", LaserOutput2},
                                {"LaserOutput3", LaserOutput3},
                                {"LaserOutput4", LaserOutput4},
                                {"TTLOutput1", TTLOutput1},
                                {"TTLOutput2", TTLOutput2},
                                {"MirrorY", MirrorY},
                                {"MirrorX", MirrorX}});
    DefineIntEnum<InputPorts>(
        m, "InputPorts", "A trigger input; NoInput starts at once.",
        {{"Input0", Input0}, {"Input1", Input1}, {"Input2", Input2}, {"Input3", Input3}, {"NoInput", NoInput}});
    DefineIntEnum<TriggerBehaviour>(m, "TriggerBehaviour", "Trigger1: the input high; Trigger2: low.",
                                    {{"Trigger1", Trigger1}, {"Trigger2", Trigger2}});
    DefineIntEnum<State>(m, "State", "What the device is doing, as last learnt by a state query.",
                         {{"Idle", Idle},
                          {"Calibrating", Calibrating},
                          {"Running", Running},
                          {"NotReady", NotReady},
                          {"NotConnected", NotConnected},
                          {"Defragmenting", Defragmenting},
                          {"ActiveA", ActiveA},
                          {"ActiveB", ActiveB},
                          {"WaitingForUser", WaitingForUser},
                          {"ActiveC", ActiveC}});
    DefineIntEnum<ScanMode>(m, "ScanMode", "Scan lead of compiled sequences: 100 ticks (default) or 14.",
                            {{"ScanModeDefault", ScanModeDefault}, {"ScanModeShort", ScanModeShort}});
    m.def("is_sequence_active", &IsSequenceActive, py::arg("state"),
          "True for the states in which a sequence is active.");

    BindDevice(m);
    BindSequence(m);
    BindStack(m);
    BindVirtual(m);
    BindSchedule(m);
    BindBulk(m);
    // Readable objects for the classes whose fields say it all.
    SetFieldsRepr(m, "CalibrationPointQuality",
                  {"leave_one_out_device", "leave_one_out_pixels", "affine_deviation", "in_folded_cell"});
    SetFieldsRepr(m, "Calibration", {"point_count", "scan_step_size", "points"});
    SetFieldsRepr(m, "SequenceAnalysis", {"result", "failed_element", "reason", "memory_usage", "tick_time"});
    SetFieldsRepr(m, "LoadedSequence", {"path", "description", "tick_time", "laser_ids", "end_tick"});
    SetFieldsRepr(m, "TiffStack", {"shape", "dtype"});
    SetFieldsRepr(m, "VirtualDevice", {"port_name", "sequence_active"});
}
