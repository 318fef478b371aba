// Start ticks laid out for element lists by the sequence-file layout itself, so a list scheduled
// in Python starts its elements where the same elements in a file would start.
#include "common.h"

#include <korvan/sequence/element_kind.h>
#include <sequence_file/compiled_sequence.h>

#include <pybind11/stl.h>

#include <map>
#include <optional>
#include <string>

namespace pykorvan {
namespace {

std::unique_ptr<SequenceObject> CopyOf(const SequenceObject& e) {
    return korvan::VisitElement(e, [](const auto& x) -> std::unique_ptr<SequenceObject> {
        return std::make_unique<std::decay_t<decltype(x)>>(x);
    });
}

/// The elements as a file without lasers: a start counts as given when it is not 0 (elements
/// made in Python start at 0 unless told otherwise), and jumps named in `jumpTargets` go back to
/// an element rather than a tick.
sequence_file::SequenceFile AsFile(py::handle elements, const std::map<size_t, int>& jumpTargets) {
    sequence_file::SequenceFile file;
    for (py::handle item : elements) {
        sequence_file::FileElement e;
        e.element = CopyOf(item.cast<const SequenceObject&>());
        e.pointer = "elements[" + std::to_string(file.elements.size()) + "]";
        e.hasStart = e.element->startTick != 0;
        e.isOutput = korvan::IsOutputKind(korvan::KindOf(*e.element));
        file.elements.push_back(std::move(e));
    }
    for (const auto& [jump, target] : jumpTargets) {
        if (jump >= file.elements.size() || korvan::KindOf(*file.elements[jump].element) != korvan::ElementKind::Jump)
            throw py::value_error("jump_targets: element " + std::to_string(jump) + " is not a jump in the list");
        if (target < 0) throw py::value_error("jump_targets: a target is an element index, 0 or more");
        file.elements[jump].targetElement = target;
    }
    return file;
}

py::list Schedule(const py::object& elements, unsigned int gap, Device* device,
                  std::optional<std::map<size_t, int>> targets) {
    sequence_file::SequenceFile file = AsFile(elements, targets.value_or(std::map<size_t, int>{}));
    std::string fault, pointer;
    auto layOut = [&](const Korvan& k) {
        korvan::SequenceSettings settings;
        k.GetSequenceSettings(&settings);
        try {
            sequence_file::LayOut(file, settings, gap);
        } catch (const sequence_file::InputError& e) {
            fault = e.what();
            pointer = e.Pointer();
        }
        return 0u;
    };
    if (device != nullptr) {
        device->handle->Call(layOut);
    } else {
        py::gil_scoped_release release;
        layOut(Korvan());
    }
    if (!fault.empty()) RaiseResult(korvan::ResultInvalidArgument, "schedule", pointer + ": " + fault);
    py::list out;
    for (auto& e : file.elements) out.append(py::cast(std::move(e.element)));
    return out;
}

}  // namespace

void BindSchedule(py::module_& m) {
    m.def("_schedule", &Schedule, py::arg("elements"), py::arg("gap") = 0, py::arg("device") = nullptr,
          py::arg("jump_targets") = py::none(),
          "Copies of the elements with start ticks laid out as a sequence file lays them out; "
          "korvan.schedule wraps it.");
}

}  // namespace pykorvan
