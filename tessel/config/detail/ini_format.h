#pragma once
// Reading and writing the INI text format; CIniFile's operations work on the
// record lists these produce.
#include <tessel/config/ini_file.h>

#include <string>
#include <vector>

namespace tessel::detail {

enum class IniLoad { Ok, CannotOpen, Malformed };

// Reads the whole file into records. Malformed: a heading without ']'.
IniLoad loadIniFile(const char* fileName, std::vector<CIniFile::Record_s>& records);

// Parses file text (lines split at '\n').
IniLoad parseIni(const std::string& text, std::vector<CIniFile::Record_s>& records);

// The file text of the records: each record's comments, its comment flag,
// then "key=value" or "[section]", then '\n'.
std::string formatIni(const std::vector<CIniFile::Record_s>& records);

}  // namespace tessel::detail
