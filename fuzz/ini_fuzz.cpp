// INI files: the read operations on the file as given, then one write operation (chosen by the
// first byte) on a copy; a file that loads must keep loading, and a clean key written last
// must read back.
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
    std::vector<char> out(n);                        // exactly what it asked for
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

    // Whether the file loads: a write of a clean key succeeds exactly then.
    const bool loads = CIniFile::SetValue("FuzzProbe", "0", "FuzzProbe", path);

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
    // A file that loads keeps loading after any write, and a key written last reads back.
    if (loads) {
        if (!CIniFile::SetValue("FuzzKey", "42", "FuzzSection", path)) __builtin_trap();
        CIniFile ini;
        char value[3] = {};
        if (ini.LoadValue("FuzzKey", "FuzzSection", path) != 3) __builtin_trap();
        ini.GetValueData(value);
        if (std::string(value) != "42") __builtin_trap();
    }
    return 0;
}
