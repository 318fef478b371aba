#pragma once
#include <string>

namespace tessel::detail {

// Replaces the file's content with data: writes a temporary file beside it,
// flushes it to the disk and renames it over the file, so that readers and a
// crash see either the old or the new content, never a part. An existing
// file keeps its permissions; a symbolic link keeps pointing at the file it
// named, which receives the new content. False when any step fails; the old
// file is then untouched and no temporary file is left behind.
bool replaceFile(const char* fileName, const std::string& data);

}  // namespace tessel::detail
