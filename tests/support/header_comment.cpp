#include <support/header_comment.h>

#include <cctype>
#include <fstream>
#include <vector>

namespace testsupport {
namespace {

std::string Trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : line.substr(first);
}

bool Declares(const std::string& line, const std::string& name) {
    const std::string text = Trimmed(line);
    if (text.rfind("//", 0) == 0) return false;
    for (auto at = text.find(name + "("); at != std::string::npos; at = text.find(name + "(", at + 1)) {
        const bool wordStart = at == 0 || !(std::isalnum(static_cast<unsigned char>(text[at - 1])) ||
                                            text[at - 1] == '_' || text[at - 1] == ':' || text[at - 1] == '~');
        if (wordStart) return true;
    }
    return false;
}

}  // namespace

std::string DeclarationComment(const std::string& path, const std::string& name) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::string comment;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!Declares(lines[i], name)) continue;
        std::size_t top = i;
        while (top > 0 && Trimmed(lines[top - 1]).rfind("///", 0) == 0) --top;
        for (std::size_t j = top; j < i; ++j) comment += Trimmed(lines[j]) + "\n";
    }
    return comment;
}

const char* ResultCodeName(unsigned int result) {
    static const char* const kNames[] = {"ResultSuccess",        "ResultCommunicationError", "ResultInvalidArgument",
                                         "ResultMemoryTooSmall", "ResultSequenceInvalid",    "ResultNotPossibleNow"};
    return result < sizeof kNames / sizeof kNames[0] ? kNames[result] : "unknown";
}

}  // namespace testsupport
