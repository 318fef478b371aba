#pragma once
// The one folder the page may read and write. Paths come from the page relative to it; anything
// that would lead outside (a "..", an absolute path, a link pointing out) is refused.
#include "tools/studio/request_error.h"

#include <filesystem>
#include <string>

namespace tools::studio {

class Folder {
public:
    /// `root` must be an existing folder; it is taken with its links resolved. Throws
    /// std::runtime_error otherwise.
    explicit Folder(const std::string& root);

    /// The file or folder a relative path names, with links resolved; "" is the folder itself.
    /// Throws RequestError (403; 400 for a malformed path) for an absolute path, a ".." component, a NUL byte, or a
    /// resolved path outside the folder. The target need not exist.
    std::filesystem::path Resolve(const std::string& relative) const;
    /// `path` (resolved, inside) relative to the folder, with '/' separators; "" for the folder.
    std::string Relative(const std::filesystem::path& path) const;
    const std::filesystem::path& Root() const { return root_; }

private:
    std::filesystem::path root_;
};

/// The whole content of a file Resolve gave. RequestError 404 ("cannot read NAME", `shown` or
/// the file's name) when it cannot be opened.
std::string ReadWholeFile(const std::filesystem::path& path, const std::string& shown = "");

/// True when `path` lies at or below `root`, compared component by component (so /data2 is not
/// inside /data). Both must be normalised.
bool IsInside(const std::filesystem::path& path, const std::filesystem::path& root);

}  // namespace tools::studio
