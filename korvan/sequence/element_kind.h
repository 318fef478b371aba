#pragma once
// The element kinds, listed once. The compiler's dispatch, its list checks, the sequence-file
// reader and writer and the bindings reach an element's concrete class through VisitElement; a
// new kind is one class, one line here, one compile function and one file-reader entry.
#include <korvan/export.h>
#include <korvan/sequence/sequence_control.h>
#include <korvan/sequence/sequence_object.h>
#include <korvan/sequence/sequence_outputs.h>
#include <korvan/sequence/sequence_point.h>
#include <korvan/sequence/sequence_shapes.h>

#include <type_traits>

namespace korvan {

enum class ElementKind {
    Unknown,  ///< a plain SequenceObject, or a class this library does not know
    Point,
    Line,
    Ellipse,
    Polygon,
    Jump,
    WaitInput,
    WaitUser,
    SetTTL,
    PulseTTL,
    SetAnalog,
};

/// Calls `visit` with the element as its concrete class, or as SequenceObject for an unknown
/// kind, and returns what it returns (the same type for every class). Works for const and mutable
/// elements alike.
namespace detail {
template <class T, class Object>
auto As(Object& e) {
    return dynamic_cast<std::conditional_t<std::is_const_v<Object>, const T*, T*>>(&e);
}
}  // namespace detail

template <class Object, class Visitor>
decltype(auto) VisitElement(Object& e, Visitor&& visit) {
    static_assert(std::is_base_of_v<SequenceObject, std::remove_const_t<Object>>, "visits sequence elements");
    if (auto* x = detail::As<SequencePoint>(e)) return visit(*x);
    if (auto* x = detail::As<SequenceLine>(e)) return visit(*x);
    if (auto* x = detail::As<SequenceEllipse>(e)) return visit(*x);
    if (auto* x = detail::As<SequencePolygon>(e)) return visit(*x);
    if (auto* x = detail::As<SequenceJump>(e)) return visit(*x);
    if (auto* x = detail::As<SequenceWaitTTL>(e)) return visit(*x);
    if (auto* x = detail::As<SequenceWaitUser>(e)) return visit(*x);
    if (auto* x = detail::As<SequenceSetTTL>(e)) return visit(*x);
    if (auto* x = detail::As<SequencePulseTTL>(e)) return visit(*x);
    if (auto* x = detail::As<SequenceSetAnalog>(e)) return visit(*x);
    return visit(e);
}

/// The kind of each class, for VisitElement's callers that need a value.
inline ElementKind KindOfClass(const SequenceObject&) { return ElementKind::Unknown; }
inline ElementKind KindOfClass(const SequencePoint&) { return ElementKind::Point; }
inline ElementKind KindOfClass(const SequenceLine&) { return ElementKind::Line; }
inline ElementKind KindOfClass(const SequenceEllipse&) { return ElementKind::Ellipse; }
inline ElementKind KindOfClass(const SequencePolygon&) { return ElementKind::Polygon; }
inline ElementKind KindOfClass(const SequenceJump&) { return ElementKind::Jump; }
inline ElementKind KindOfClass(const SequenceWaitTTL&) { return ElementKind::WaitInput; }
inline ElementKind KindOfClass(const SequenceWaitUser&) { return ElementKind::WaitUser; }
inline ElementKind KindOfClass(const SequenceSetTTL&) { return ElementKind::SetTTL; }
inline ElementKind KindOfClass(const SequencePulseTTL&) { return ElementKind::PulseTTL; }
inline ElementKind KindOfClass(const SequenceSetAnalog&) { return ElementKind::SetAnalog; }

inline ElementKind KindOf(const SequenceObject& e) {
    return VisitElement(e, [](const auto& x) { return KindOfClass(x); });
}

/// Elements that move the mirrors and light lasers (IsIlluminationObject 1).
inline bool IsBeamKind(ElementKind k) {
    return k == ElementKind::Point || k == ElementKind::Line || k == ElementKind::Ellipse || k == ElementKind::Polygon;
}
/// Elements that change an output; they run in the output list beside the beam elements.
inline bool IsOutputKind(ElementKind k) {
    return k == ElementKind::SetTTL || k == ElementKind::PulseTTL || k == ElementKind::SetAnalog;
}

}  // namespace korvan
