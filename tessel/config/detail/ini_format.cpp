#include <tessel/config/detail/ini_format.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tessel::detail {
namespace {

const char* const kBlank = " \t\n\r";

void trim(std::string& s) {
    const std::size_t first = s.find_first_not_of(kBlank);
    if (first == std::string::npos) {
        s.clear();
        return;
    }
    s.erase(s.find_last_not_of(kBlank) + 1);
    s.erase(0, first);
}

bool isCommentChar(char c) { return c == '#' || c == ';'; }

}  // namespace

IniLoad loadIniFile(const char* fileName, std::vector<CIniFile::Record_s>& records) {
    if (fileName == nullptr) return IniLoad::CannotOpen;
    // UTF-8 names, also on Windows, where a narrow name would be read in the ANSI code page.
    std::ifstream in(std::filesystem::u8path(fileName), std::ios::in | std::ios::binary);
    if (!in.is_open()) return IniLoad::CannotOpen;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return IniLoad::CannotOpen;
    return parseIni(text, records);
}

IniLoad parseIni(const std::string& text, std::vector<CIniFile::Record_s>& records) {
    records.clear();
    std::string comments;
    std::string currentSection;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;

        trim(line);
        if (line.empty()) continue;

        CIniFile::Record_s record{std::string(), ' ', std::string(), std::string(), std::string()};
        if (isCommentChar(line[0])) {
            if (line.find('[') == std::string::npos && line.find('=') == std::string::npos) {
                comments += line + "\n";
                continue;
            }
            // A heading or key that has been commented out.
            record.commented = line[0];
            line.erase(0, 1);
            trim(line);
        }

        // A '[' makes a heading unless an '=' stands before it: then the line is a key whose value
        // holds brackets. Read as a heading, such a line would be written back without its ']'.
        const std::size_t bracket = line.find('[');
        const std::size_t equals = line.find('=');
        if (bracket != std::string::npos && (equals == std::string::npos || bracket < equals)) {
            line.erase(0, 1);
            const std::size_t close = line.find(']');
            if (close == std::string::npos) return IniLoad::Malformed;
            line.erase(close);
            record.comments = comments;
            comments.clear();
            record.section = line;
            currentSection = line;
        } else if (equals != std::string::npos) {
            record.comments = comments;
            comments.clear();
            record.section = currentSection;
            record.key = line.substr(0, equals);
            record.value = line.substr(equals + 1);
        }

        // A line that is neither heading nor key becomes an empty record, unless
        // a comment is pending, in which case it is dropped.
        if (comments.empty()) records.push_back(record);
    }
    return IniLoad::Ok;
}

std::string formatIni(const std::vector<CIniFile::Record_s>& records) {
    std::string out;
    for (const CIniFile::Record_s& r : records) {
        out += r.comments;
        out += r.commented;
        if (!r.key.empty()) {
            out += r.key;
            out += '=';
            out += r.value;
        } else {
            out += '[';
            out += r.section;
            out += ']';
        }
        out += '\n';
    }
    return out;
}

}  // namespace tessel::detail
