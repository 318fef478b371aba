// Elements from numpy arrays in one call: a loop in C++ rather than one Python call per element,
// for patterns of many thousand points.
#include "common.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <string>
#include <vector>

namespace pykorvan {
namespace {

using Coordinates = py::array_t<double, py::array::c_style | py::array::forcecast>;

/// The rows of an (N, 2) array, checked.
py::detail::unchecked_reference<double, 2> Rows(const Coordinates& xy, const char* name) {
    if (xy.ndim() != 2 || xy.shape(1) != 2)
        throw py::value_error(std::string(name) + ": an (N, 2) array of x, y is needed");
    return xy.unchecked<2>();
}

/// Lasers and their intensities into the element's four slots: one value for all lasers or one per laser.
void SetLasers(SequenceObject& e, const std::vector<unsigned int>& lasers, const std::vector<unsigned int>& levels) {
    if (lasers.size() > 4) throw py::value_error("laser: at most 4 lasers");
    if (levels.size() != 1 && levels.size() != lasers.size())
        throw py::value_error("intensity: one value, or one per laser");
    for (size_t i = 0; i < 4; ++i) {
        e.laserIds[i] = i < lasers.size() ? lasers[i] : 0;
        e.intensities[i] = i < lasers.size() ? levels[levels.size() == 1 ? 0 : i] : 0;
    }
}

std::vector<unsigned int> OneOrMany(py::handle value) {
    if (value.is_none()) return {};
    if (py::isinstance<py::int_>(value) || py::hasattr(value, "__index__")) return {value.cast<unsigned int>()};
    return value.cast<std::vector<unsigned int>>();
}

py::list Points(const Coordinates& xy, const py::object& laser, const py::object& intensity, unsigned int repeatCount,
                bool useCalibration) {
    const auto rows = Rows(xy, "array");
    SequencePoint model(0.0, 0.0);
    SetLasers(model, OneOrMany(laser), OneOrMany(intensity));
    model.repeatCount = repeatCount;
    model.useCalibration = useCalibration ? 1 : 0;
    py::list out(rows.shape(0));
    for (py::ssize_t i = 0; i < rows.shape(0); ++i) {
        auto p = std::make_unique<SequencePoint>(model);
        p->position = RPOINTF(rows(i, 0), rows(i, 1));
        PyList_SET_ITEM(out.ptr(), i, py::cast(std::move(p)).release().ptr());
    }
    return out;
}

std::unique_ptr<SequencePolygon> Polygon(const Coordinates& xy, bool fill, const py::object& laser,
                                         const py::object& intensity, unsigned int repeatCount) {
    const auto rows = Rows(xy, "array");
    std::vector<RPOINTF> points(static_cast<size_t>(rows.shape(0)));
    for (py::ssize_t i = 0; i < rows.shape(0); ++i) points[static_cast<size_t>(i)] = RPOINTF(rows(i, 0), rows(i, 1));
    auto e = std::make_unique<SequencePolygon>(points.data(), static_cast<unsigned int>(points.size()), fill ? 1 : 0);
    SetLasers(*e, OneOrMany(laser), OneOrMany(intensity));
    e->repeatCount = repeatCount;
    return e;
}

}  // namespace

void BindBulk(py::module_& m) {
    m.def("points", &Points, py::arg("array"), py::kw_only(), py::arg("laser") = py::none(),
          py::arg("intensity") = 10000, py::arg("repeat_count") = 0, py::arg("use_calibration") = true, R"doc(
One SequencePoint per row of an (N, 2) array of x, y, built in one call. `laser` is a laser
identifier or a list of up to four; `intensity` (0..10000) one value for all of them or one per
laser; `repeat_count` and `use_calibration` as for SequencePoint. Start ticks are 0: lay them out
with korvan.schedule.)doc");
    m.def("polygon", &Polygon, py::arg("array"), py::arg("fill") = false, py::kw_only(), py::arg("laser") = py::none(),
          py::arg("intensity") = 10000, py::arg("repeat_count") = 0, R"doc(
A SequencePolygon through the rows of an (N, 2) array of x, y (camera coordinates), or with
`fill` the area they enclose hatched; `laser`, `intensity` and `repeat_count` as for points().)doc");
}

}  // namespace pykorvan
