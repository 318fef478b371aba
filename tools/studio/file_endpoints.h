#pragma once
// What the page does with files, all inside the studio's folder: list a folder, open, save and
// check sequence documents. Sequence files go through sequence_file/ (the reader and writer
// `korvan check` and `korvan run` use), so a saved file means the same to the tool. Each throws
// RequestError for a refused request, sequence_file::InputError for a faulty document.
#include "tools/studio/folder_access.h"

#include <nlohmann/json.hpp>

#include <string>

namespace tools::studio {

/// {"dir", "entries": [{"name", "path", "kind": "folder"|"sequence"|"image"|"other", "size"}]}:
/// folders first, then by name; links leading outside the folder are left out. 404 when `dir`
/// does not exist, 400 when it is a file.
nlohmann::json ListFolder(const Folder& folder, const std::string& dir);

/// {"path", "document" (the file's JSON as written), "check" (tools::CheckJson)}. 404 when the
/// file does not exist.
nlohmann::json OpenSequence(const Folder& folder, const std::string& path);

/// Reads `body` as a sequence document and writes it, as the writer puts it, to `path` (which
/// must end in .json, in an existing folder); the file is replaced whole or not at all.
/// {"path", "bytes", "check"}.
nlohmann::json SaveSequence(const Folder& folder, const std::string& path, const std::string& body);

/// Compiles `body` offline; calibration paths are taken from the folder of `path` (the
/// studio's folder when empty). tools::CheckJson's report.
nlohmann::json CheckSequence(const Folder& folder, const std::string& path, const std::string& body);

}  // namespace tools::studio
