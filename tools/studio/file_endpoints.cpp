#include "tools/studio/file_endpoints.h"

#include "tools/report.h"

#include <sequence_file/compiled_sequence.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tools::studio {
namespace {

std::string KindOf(const fs::directory_entry& entry) {
    std::error_code ec;
    if (entry.is_directory(ec)) return "folder";
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".json") return "sequence";
    if (ext == ".tif" || ext == ".tiff" || ext == ".png") return "image";
    return "other";
}

nlohmann::json Checked(sequence_file::SequenceFile file) {
    return CheckJson(sequence_file::CompiledSequence(std::move(file)));
}

// Where relative calibration paths of a document at `path` are found.
fs::path BaseFolder(const Folder& folder, const std::string& path) {
    return path.empty() ? folder.Root() : folder.Resolve(path).parent_path();
}

}  // namespace

nlohmann::json ListFolder(const Folder& folder, const std::string& dir) {
    const fs::path resolved = folder.Resolve(dir);
    std::error_code ec;
    if (!fs::exists(resolved, ec)) throw RequestError(404, "no folder " + dir);
    if (!fs::is_directory(resolved, ec)) throw RequestError(400, dir + " is a file, not a folder");
    std::vector<fs::directory_entry> entries;
    for (const auto& entry : fs::directory_iterator(resolved, fs::directory_options::skip_permission_denied, ec)) {
        const fs::path target = fs::weakly_canonical(entry.path(), ec);
        if (!ec && IsInside(target, folder.Root())) entries.push_back(entry);
    }
    std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
        std::error_code e;
        const bool aDir = a.is_directory(e), bDir = b.is_directory(e);
        return aDir != bDir ? aDir : a.path().filename() < b.path().filename();
    });
    nlohmann::json list = nlohmann::json::array();
    for (const auto& entry : entries) {
        const std::string kind = KindOf(entry);
        const uintmax_t size = kind == "folder" ? 0 : entry.file_size(ec);
        list.push_back({{"name", entry.path().filename().string()},
                        {"path", folder.Relative(entry.path().lexically_normal())},
                        {"kind", kind},
                        {"size", ec ? 0 : size}});
    }
    return {{"dir", folder.Relative(resolved)}, {"entries", list}};
}

nlohmann::json OpenSequence(const Folder& folder, const std::string& path) {
    const fs::path resolved = folder.Resolve(path);
    std::error_code ec;
    if (!fs::is_regular_file(resolved, ec)) throw RequestError(404, "no sequence file " + path);
    const std::string text = ReadWholeFile(resolved);
    sequence_file::SequenceFile file = sequence_file::ParseSequenceText(text, resolved.parent_path().string());
    file.path = resolved.string();
    return {{"path", folder.Relative(resolved)},
            {"document", nlohmann::json::parse(text, nullptr, true, /*ignore_comments=*/true)},
            {"check", Checked(std::move(file))}};
}

nlohmann::json SaveSequence(const Folder& folder, const std::string& path, const std::string& body) {
    const fs::path resolved = folder.Resolve(path);
    if (resolved.extension() != ".json") throw RequestError(400, "a sequence file's name ends in .json");
    std::error_code ec;
    if (!fs::is_directory(resolved.parent_path(), ec)) throw RequestError(404, "no folder for " + path);
    if (fs::is_directory(resolved, ec)) throw RequestError(400, path + " is a folder");
    // Read first: a faulty document changes nothing on disk.
    sequence_file::SequenceFile file = sequence_file::ParseSequenceText(body, resolved.parent_path().string());
    const std::string text = sequence_file::WriteSequenceText(file);
    // Written beside the target and renamed over it, so a reader never sees half a file.
    const fs::path temporary = resolved.string() + ".saving-" + std::to_string(::getpid());
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            fs::remove(temporary, ec);
            throw RequestError(409, "cannot write " + path);
        }
    }
    fs::rename(temporary, resolved, ec);
    if (ec) {
        fs::remove(temporary, ec);
        throw RequestError(409, "cannot replace " + path);
    }
    file.path = resolved.string();
    return {{"path", folder.Relative(resolved)}, {"bytes", text.size()}, {"check", Checked(std::move(file))}};
}

nlohmann::json CheckSequence(const Folder& folder, const std::string& path, const std::string& body) {
    return Checked(sequence_file::ParseSequenceText(body, BaseFolder(folder, path).string()));
}

}  // namespace tools::studio
