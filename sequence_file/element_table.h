#pragma once
// The element kinds of the file format: one table entry per kind with its type name, its own
// fields, how it is read and how it is written. The reader and the writer walk this table; the
// fields every element shares (type, start, comment, and for beam elements repeat, lasers and
// units) are handled around it.
#include <sequence_file/json_fields.h>

#include <korvan/sequence/element_kind.h>

#include <memory>
#include <string>
#include <vector>

namespace sequence_file::detail {

enum class Units { Camera, Device };

struct ElementEntry {
    korvan::ElementKind kind;
    const char* name;    ///< "point", "line", ...
    const char* fields;  ///< the fields of this kind, for "known here" hints
    /// Creates the element from its fields; may note a jump's target element in `item`.
    std::unique_ptr<SequenceObject> (*read)(Object& o, FileElement& item, Units units);
    /// Checks a beam element's positions against the mirror field of its first laser (null for
    /// elements without positions).
    void (*checkPositions)(Object& o, FileElement& item, Units units, FileLaser& first);
    /// Writes the fields of this kind.
    void (*write)(const SequenceObject& e, const FileElement& item, Json& out);
};

/// Every kind, in the order the format documents them.
const std::vector<ElementEntry>& ElementTable();
/// The entry of a type name or of an element's kind; null when there is none.
const ElementEntry* EntryNamed(const std::string& name);
const ElementEntry* EntryOf(korvan::ElementKind kind);

/// The port names of the format.
const std::vector<std::pair<const char*, OutputPorts>>& LaserPorts();
const std::vector<std::pair<const char*, OutputPorts>>& SwitchPorts();

}  // namespace sequence_file::detail
