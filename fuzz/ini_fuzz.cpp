// INI files: the read operations on the file as given, then one write operation (chosen by the
// first byte) on a copy, and a clean key written last must read back.
#include "fuzz_file.h"

#include <tessel/config/ini_file.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The first heading and the first key of the text, so the operations hit what the file holds.
void NamesIn(const std::string& text, std::string& section, std::string& key) {
    const size_t open = text.find('[');
    if (open != std::string::npos) {
        const size_t close = text.find_first_of("]\n", open + 1);
        if (close != std::string::npos) section = text.substr(open + 1, close - open - 1);
    }
    const size_t eq = text.find('=');
    if (eq != std::string::npos) {
        const size_t lineStart = text.rfind('\n', eq);
        key = text.substr(lineStart == std::string::npos ? 0 : lineStart + 1,
                          eq - (lineStart == std::string::npos ? 0 : lineStart + 1));
    }
}

void ReadValue(const char* key, const char* section, const char* path) {
    CIniFile ini;
    const std::uint64_t n = ini.LoadValue(key, section, path);
    if (n == 0 || n > (1u << 24)) __builtin_trap();  // at least the NUL
    std::vector<char> out(n);  // exactly what it asked for
    ini.GetValueData(out.data());
    if (out[n - 1] != '\0') __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const fuzz::ScratchFile file(".ini");
    const uint8_t op = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    if (!fuzz::WriteFile(file.Path(), data + 1, size - 1)) return 0;
    std::string section = "Spot", key = "ScanStepSize";
    NamesIn(text, section, key);
    const char* path = file.CPath();
    const char* s = section.c_str();
    const char* k = key.c_str();

    CIniFile::SectionExists(s, path);
    CIniFile::RecordExists(k, s, path);
    ReadValue(k, s, path);
    ReadValue("missing", "nowhere", path);

    switch (op % 13) {
    case 0: CIniFile::SetValue(k, "value", s, path); break;
    case 1: CIniFile::AddSection("Added", path); break;
    case 2: CIniFile::RenameSection(s, "Renamed", path); break;
    case 3: CIniFile::CommentRecord(CIniFile::Hash, k, s, path); break;
    case 4: CIniFile::UnCommentRecord(k, s, path); break;
    case 5: CIniFile::CommentSection(';', s, path); break;
    case 6: CIniFile::UnCommentSection(s, path); break;
    case 7: CIniFile::DeleteRecord(k, s, path); break;
    case 8: CIniFile::DeleteSection(s, path); break;
    case 9: CIniFile::SetSectionComments("# about\n", s, path); break;
    case 10: CIniFile::SetRecordComments("; about", k, s, path); break;
    case 11: CIniFile::Sort(path, (op & 0x80) != 0); break;
    default: CIniFile::Create(path); break;
    }
    // A key that the store accepted must read back as written. Not for files with a line that
    // holds both '[' and '=': the format reads such a line as a heading whose name is then split
    // at its '=' into a key, and writing that key back gives a line that no longer reads.
    bool mixed = false;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        mixed = mixed || (line.find('[') != std::string::npos && line.find('=') != std::string::npos);
        at = end + 1;
    }
    if (!mixed && CIniFile::SetValue("FuzzKey", "42", "FuzzSection", path)) {
        CIniFile ini;
        char value[3] = {};
        if (ini.LoadValue("FuzzKey", "FuzzSection", path) != 3) __builtin_trap();
        ini.GetValueData(value);
        if (std::string(value) != "42") __builtin_trap();
    }
    return 0;
}
