#pragma once
// INI file store. Every operation names its file and works on it directly:
// it reads the whole file, and an operation that changes something writes
// the whole file back. Nothing is cached between calls.
//
// File format: "[section]" headings, "key=value" lines and comment lines
// starting with '#' or ';'. A heading or key line may itself be commented
// out with one of those characters. Comment lines are kept with the heading
// or key line that follows them; blank lines and comments at the end of the
// file are dropped. Names are compared byte for byte, case-sensitive; keys
// and values are taken exactly as they stand around the first '=' (no
// trimming there). Written files have every line indented by one space (or
// led by its comment character).
//
// Every write replaces the file atomically: the new content goes to a
// temporary file beside it, which is then renamed over it, so an
// interrupted or failed write leaves the old file intact.
//
// A line is a heading when it holds a '[' with no '=' before it, otherwise a key line when it
// holds an '='. Writes refuse what would not read back as written: a key that is empty, holds
// '=', '[' or a line break, starts with '#' or ';' or with or ends in a blank; a value or
// section name with a line break, or a section name with ']'; a comment character other than
// '#', ';' or ' '; and comment texts whose lines are not led by '#' or ';', hold '[' or '=',
// or are not ended by a line feed.
//
// Results: true on success. An operation that must read the file fails when
// it cannot be opened or a heading has no closing ']' (the file is then left
// untouched); SectionExists and RecordExists instead report true when the
// file cannot be opened. Text arguments are NUL-terminated; a null pointer
// makes the operation fail. There is no locking between processes.
#include <tessel/export.h>

#include <cstdint>
#include <string>
#include <vector>

class TESSEL_API CIniFile {
public:
    /// One heading or key line of a file.
    struct Record_s {
        std::string comments;  ///< Comment lines before the line, each ended by '\n'.
        char commented;        ///< '#' or ';' when the line is commented out, else ' '.
        std::string section;   ///< The heading's name, or for a key the heading above it.
        std::string key;       ///< Empty for a heading.
        std::string value;     ///< Empty for a heading.
    };

    enum CommentChar { Hash = '#', Semicolon = ';' };

    CIniFile();
    CIniFile(const CIniFile& other) = default;
    CIniFile& operator=(const CIniFile& other) = default;
    virtual ~CIniFile();

    /// Writes an empty file, replacing any content.
    static bool Create(const char* fileName);
    /// Appends a heading, without checking for an existing one of that name.
    static bool AddSection(const char* section, const char* fileName);
    /// Sets a key's value. A missing section is appended with the key; a
    /// missing key is inserted directly after its section's heading (so keys
    /// added one by one read back in reverse order). Fails on a missing file.
    static bool SetValue(const char* key, const char* value, const char* section, const char* fileName);
    /// True when a heading or key of that section exists (or the file cannot be opened).
    static bool SectionExists(const char* section, const char* fileName);
    /// True when the key exists in that section (or the file cannot be opened).
    static bool RecordExists(const char* key, const char* section, const char* fileName);
    /// Renames every record of the old section.
    static bool RenameSection(const char* oldSection, const char* newSection, const char* fileName);
    /// Comments out the first matching key line; false when there is none.
    static bool CommentRecord(CommentChar cc, const char* key, const char* section, const char* fileName);
    /// Restores a commented-out key line; false when there is none.
    static bool UnCommentRecord(const char* key, const char* section, const char* fileName);
    /// Comments out the heading and every key of the section with cc.
    static bool CommentSection(char cc, const char* section, const char* fileName);
    static bool UnCommentSection(const char* section, const char* fileName);
    /// Removes the first matching key line and its comments; false when there is none.
    static bool DeleteRecord(const char* key, const char* section, const char* fileName);
    /// Removes the section's heading(s), keys and their comments.
    static bool DeleteSection(const char* section, const char* fileName);
    /// Sets the comment lines before the section's heading; false when there is
    /// no heading. The text should be whole lines starting with '#' or ';'; a
    /// line feed is added when it is two or more characters long.
    static bool SetSectionComments(const char* comment, const char* section, const char* fileName);
    /// The same for the comment lines before a key line.
    static bool SetRecordComments(const char* comment, const char* key, const char* section, const char* fileName);
    /// Orders the sections by name and the keys of each by key, byte-wise,
    /// ascending or descending. Comments travel with their lines. Keys that
    /// stand before the first heading stay at the top in their order; a
    /// section whose heading occurs twice gets its keys after the first one.
    /// Fails when the file has no heading.
    static bool Sort(const char* fileName, bool descending);

    /// Looks up a value into this object's buffer (empty when the key or the
    /// file is missing) and returns its length plus 1: the number of bytes
    /// GetValueData will write.
    std::uint64_t LoadValue(const char* key, const char* section, const char* fileName);
    /// Copies the value of the last LoadValue and a terminating NUL to out,
    /// which must hold as many bytes as LoadValue returned.
    void GetValueData(char* out);

private:
    using Records = std::vector<Record_s>;

    static bool Load(const char* fileName, Records& content);
    static bool Save(const char* fileName, const Records& content);
    static Records GetRecord(const char* key, const char* section, const char* fileName);
    std::string GetValue(const char* key, const char* section, const char* fileName);

    std::string value_;
};
