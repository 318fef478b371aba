#include <tessel/config/ini_file.h>

#include <tessel/config/detail/atomic_file.h>
#include <tessel/config/detail/ini_format.h>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

using Record = CIniFile::Record_s;
using Records = std::vector<Record>;
using tessel::detail::IniLoad;

Record makeRecord(const std::string& section, const std::string& key, const std::string& value) {
    return Record{std::string(), ' ', section, key, value};
}

bool anyNull(std::initializer_list<const char*> texts) {
    return std::any_of(texts.begin(), texts.end(), [](const char* t) { return t == nullptr; });
}

Records::iterator findRecord(Records& records, const char* key, const char* section) {
    return std::find_if(records.begin(), records.end(),
                        [&](const Record& r) { return r.section == section && r.key == key; });
}

// Names and texts that a write would turn into lines reading back differently, or not at all
// (a key holding '[' reads as a heading without its ']', and the file no longer loads).
bool hasAny(const char* text, const char* chars) { return std::strpbrk(text, chars) != nullptr; }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool writableKey(const char* key) {
    const std::size_t n = std::strlen(key);
    return n > 0 && !hasAny(key, "=[\n\r") && key[0] != '#' && key[0] != ';' && !isBlank(key[0]) &&
           !isBlank(key[n - 1]);
}

bool writableValue(const char* value) { return !hasAny(value, "\n\r"); }

bool writableSection(const char* section) { return !hasAny(section, "]\n\r"); }

bool writableCommentChar(char cc) { return cc == '#' || cc == ';' || cc == ' '; }

// Stored unchanged, with a line feed added to texts of two or more characters.
std::string commentBlock(const char* comment) {
    std::string text = comment;
    if (text.size() >= 2) text += '\n';
    return text;
}

// Loads, lets change() edit the records, and writes them back when it
// returns true.
template <typename Change>
bool modify(const char* fileName, Change change) {
    Records records;
    if (tessel::detail::loadIniFile(fileName, records) != IniLoad::Ok) return false;
    if (!change(records)) return false;
    return tessel::detail::replaceFile(fileName, tessel::detail::formatIni(records));
}

// Changes the first record with that section and key; false when there is none.
template <typename Change>
bool modifyRecord(const char* key, const char* section, const char* fileName, Change change) {
    if (anyNull({key, section})) return false;
    return modify(fileName, [&](Records& records) {
        const auto it = findRecord(records, key, section);
        if (it == records.end()) return false;
        change(records, it);
        return true;
    });
}

// Every line of the stored block must read back as a comment: led by '#' or ';', holding no
// '[' or '=', and ended by a line feed (else it joins the heading or key line behind it).
bool writableComment(const char* comment) {
    const std::string text = commentBlock(comment);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) return false;
        const std::string line = text.substr(at, end - at);
        if (!line.empty() && (line.find_first_of("[=\r") != std::string::npos || (line[0] != '#' && line[0] != ';')))
            return false;
        at = end + 1;
    }
    return true;
}

template <typename Less>
void sortRecords(Records& records, bool descending, Less less) {
    std::stable_sort(records.begin(), records.end(),
                     [&](const Record& a, const Record& b) { return descending ? less(b, a) : less(a, b); });
}

}  // namespace

CIniFile::CIniFile() = default;
CIniFile::~CIniFile() = default;

bool CIniFile::Load(const char* fileName, Records& content) {
    return tessel::detail::loadIniFile(fileName, content) == IniLoad::Ok;
}

bool CIniFile::Save(const char* fileName, const Records& content) {
    return tessel::detail::replaceFile(fileName, tessel::detail::formatIni(content));
}

CIniFile::Records CIniFile::GetRecord(const char* key, const char* section, const char* fileName) {
    Records records;
    Records found;
    if (anyNull({key, section}) || !Load(fileName, records)) return found;
    const auto it = findRecord(records, key, section);
    if (it != records.end()) found.push_back(*it);
    return found;
}

std::string CIniFile::GetValue(const char* key, const char* section, const char* fileName) {
    const Records found = GetRecord(key, section, fileName);
    return found.empty() ? std::string() : found.front().value;
}

bool CIniFile::Create(const char* fileName) { return Save(fileName, Records()); }

bool CIniFile::AddSection(const char* section, const char* fileName) {
    if (section == nullptr || !writableSection(section)) return false;
    return modify(fileName, [&](Records& records) {
        records.push_back(makeRecord(section, "", ""));
        return true;
    });
}

bool CIniFile::SetValue(const char* key, const char* value, const char* section, const char* fileName) {
    if (anyNull({key, value, section})) return false;
    if (!writableKey(key) || !writableValue(value) || !writableSection(section)) return false;
    return modify(fileName, [&](Records& records) {
        const auto inSection = [&](const Record& r) { return r.section == section; };
        const auto first = std::find_if(records.begin(), records.end(), inSection);
        if (first == records.end()) {
            records.push_back(makeRecord(section, "", ""));
            records.push_back(makeRecord(section, key, value));
        } else {
            const auto existing = findRecord(records, key, section);
            if (existing == records.end()) {
                records.insert(first + 1, makeRecord(section, key, value));
            } else {
                existing->value = value;
            }
        }
        return true;
    });
}

bool CIniFile::SectionExists(const char* section, const char* fileName) {
    if (section == nullptr) return false;
    Records records;
    const IniLoad status = tessel::detail::loadIniFile(fileName, records);
    // An unreadable file reports true, as callers of this store have always seen.
    if (status == IniLoad::CannotOpen) return fileName != nullptr;
    if (status != IniLoad::Ok) return false;
    return std::any_of(records.begin(), records.end(), [&](const Record& r) { return r.section == section; });
}

bool CIniFile::RecordExists(const char* key, const char* section, const char* fileName) {
    if (anyNull({key, section})) return false;
    Records records;
    const IniLoad status = tessel::detail::loadIniFile(fileName, records);
    if (status == IniLoad::CannotOpen) return fileName != nullptr;
    if (status != IniLoad::Ok) return false;
    return findRecord(records, key, section) != records.end();
}

bool CIniFile::RenameSection(const char* oldSection, const char* newSection, const char* fileName) {
    if (anyNull({oldSection, newSection}) || !writableSection(newSection)) return false;
    return modify(fileName, [&](Records& records) {
        for (Record& r : records) {
            if (r.section == oldSection) r.section = newSection;
        }
        return true;
    });
}

bool CIniFile::CommentRecord(CommentChar cc, const char* key, const char* section, const char* fileName) {
    if (!writableCommentChar(static_cast<char>(cc))) return false;
    return modifyRecord(key, section, fileName,
                        [&](Records&, Records::iterator it) { it->commented = static_cast<char>(cc); });
}

bool CIniFile::UnCommentRecord(const char* key, const char* section, const char* fileName) {
    return modifyRecord(key, section, fileName, [](Records&, Records::iterator it) { it->commented = ' '; });
}

bool CIniFile::CommentSection(char cc, const char* section, const char* fileName) {
    if (section == nullptr || !writableCommentChar(cc)) return false;
    return modify(fileName, [&](Records& records) {
        for (Record& r : records) {
            if (r.section == section) r.commented = cc;
        }
        return true;
    });
}

bool CIniFile::UnCommentSection(const char* section, const char* fileName) {
    return CommentSection(' ', section, fileName);
}

bool CIniFile::DeleteRecord(const char* key, const char* section, const char* fileName) {
    return modifyRecord(key, section, fileName, [](Records& records, Records::iterator it) { records.erase(it); });
}

bool CIniFile::DeleteSection(const char* section, const char* fileName) {
    if (section == nullptr) return false;
    return modify(fileName, [&](Records& records) {
        records.erase(
            std::remove_if(records.begin(), records.end(), [&](const Record& r) { return r.section == section; }),
            records.end());
        return true;
    });
}

bool CIniFile::SetSectionComments(const char* comment, const char* section, const char* fileName) {
    if (comment == nullptr || !writableComment(comment)) return false;
    // A heading is the record of the section with an empty key.
    return modifyRecord("", section, fileName,
                        [&](Records&, Records::iterator it) { it->comments = commentBlock(comment); });
}

bool CIniFile::SetRecordComments(const char* comment, const char* key, const char* section, const char* fileName) {
    if (comment == nullptr || !writableComment(comment)) return false;
    return modifyRecord(key, section, fileName,
                        [&](Records&, Records::iterator it) { it->comments = commentBlock(comment); });
}

bool CIniFile::Sort(const char* fileName, bool descending) {
    return modify(fileName, [&](Records& records) {
        const auto firstHeading =
            std::find_if(records.begin(), records.end(), [](const Record& r) { return r.key.empty(); });
        if (firstHeading == records.end()) return false;
        // Keys before the first heading belong to no heading: they stay on top.
        Records sorted(records.begin(), firstHeading);
        const Records body(firstHeading, records.end());

        Records headings;
        std::copy_if(body.begin(), body.end(), std::back_inserter(headings),
                     [](const Record& r) { return r.key.empty(); });
        sortRecords(headings, descending, [](const Record& a, const Record& b) { return a.section < b.section; });

        std::vector<std::string> placed;
        for (const Record& heading : headings) {
            sorted.push_back(heading);
            // A heading that stands twice gets the section's keys only once.
            if (std::find(placed.begin(), placed.end(), heading.section) != placed.end()) continue;
            placed.push_back(heading.section);
            Records keys;
            std::copy_if(body.begin(), body.end(), std::back_inserter(keys),
                         [&](const Record& r) { return !r.key.empty() && r.section == heading.section; });
            sortRecords(keys, descending, [](const Record& a, const Record& b) { return a.key < b.key; });
            sorted.insert(sorted.end(), keys.begin(), keys.end());
        }
        records.swap(sorted);
        return true;
    });
}

std::uint64_t CIniFile::LoadValue(const char* key, const char* section, const char* fileName) {
    value_ = GetValue(key, section, fileName);
    return static_cast<std::uint64_t>(value_.size()) + 1;
}

void CIniFile::GetValueData(char* out) {
    if (out == nullptr) return;
    std::memcpy(out, value_.data(), value_.size());
    out[value_.size()] = '\0';
}
