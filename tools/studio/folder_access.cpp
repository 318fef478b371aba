#include "tools/studio/folder_access.h"

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace tools::studio {

bool IsInside(const fs::path& path, const fs::path& root) {
    auto p = path.begin();
    for (auto r = root.begin(); r != root.end(); ++r, ++p) {
        if (r->empty()) continue;  // the trailing "" of "/data/"
        if (p == path.end() || *p != *r) return false;
    }
    return true;
}

Folder::Folder(const std::string& root) {
    std::error_code ec;
    root_ = fs::canonical(root, ec);
    if (ec || !fs::is_directory(root_)) throw std::runtime_error("no folder " + root);
}

fs::path Folder::Resolve(const std::string& relative) const {
    if (relative.find('\0') != std::string::npos) throw RequestError(400, "a path with a NUL byte");
    const fs::path given(relative);
    if (given.is_absolute() || given.has_root_name() || given.has_root_directory())
        throw RequestError(403, "absolute paths are refused: give a path inside the studio's folder");
    for (const fs::path& part : given)
        if (part == "..") throw RequestError(403, "\"..\" is refused: give a path inside the studio's folder");
    std::error_code ec;
    // Links are followed as far as they exist, so one pointing out of the folder shows here.
    fs::path resolved = fs::weakly_canonical(root_ / given, ec);
    if (ec) throw RequestError(400, "cannot resolve " + relative + ": " + ec.message());
    if (!resolved.has_filename() && resolved != root_) resolved = resolved.parent_path();  // "dir/" names dir
    if (!IsInside(resolved, root_)) throw RequestError(403, relative + " leads outside the studio's folder");
    return resolved;
}

std::string Folder::Relative(const fs::path& path) const {
    const fs::path rel = path.lexically_relative(root_);
    return rel == "." ? "" : rel.generic_string();
}

std::string ReadWholeFile(const std::filesystem::path& path, const std::string& shown) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RequestError(404, "cannot read " + (shown.empty() ? path.filename().string() : shown));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

}  // namespace tools::studio
