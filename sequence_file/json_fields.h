#pragma once
// Reading JSON fields with a JSON pointer for every fault, so that a user sees where a file is
// wrong ("/elements/3/at/1: expected a number"). Every key of an object must be asked for, so a
// misspelt field is reported instead of silently ignored.
#include <sequence_file/sequence_file.h>

#include <nlohmann/json.hpp>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sequence_file::detail {

using Json = nlohmann::json;

/// "/a~1b" for key "a/b" below "": the key escaped as a JSON pointer wants it.
std::string Child(const std::string& pointer, const std::string& key);
std::string Child(const std::string& pointer, size_t index);
/// "an integer", "a string", ... for messages.
const char* TypeName(const Json& j);

[[noreturn]] void Fail(const std::string& pointer, const std::string& message);
[[noreturn]] void Expected(const std::string& pointer, const std::string& what, const Json& found);

unsigned long long Unsigned(const Json& j, const std::string& pointer, unsigned long long min, unsigned long long max);
/// A finite number.
double Number(const Json& j, const std::string& pointer);
/// A point [x, y].
RPOINTF Point(const Json& j, const std::string& pointer);

class Object {
public:
    Object(const Json& j, std::string pointer, const char* what);
    const std::string& Pointer() const { return pointer_; }
    std::string PointerOf(const std::string& key) const { return Child(pointer_, key); }
    const Json* Find(const std::string& key);
    const Json& Need(const std::string& key, const char* what);
    unsigned long long UnsignedOr(const std::string& key, unsigned long long fallback, unsigned long long min,
                                  unsigned long long max);
    bool BoolOr(const std::string& key, bool fallback);
    std::string StringOr(const std::string& key, const std::string& fallback);
    /// Reports the first key nobody asked for.
    void Finish(const std::string& allowedHint) const;

private:
    const Json& j_;
    std::string pointer_;
    std::set<std::string> used_;
};

/// One of named values; the names in a message otherwise.
template <class T>
T Choice(const Json& j, const std::string& pointer, const std::vector<std::pair<const char*, T>>& choices) {
    std::string names;
    for (const auto& c : choices) names += std::string(names.empty() ? "" : ", ") + "\"" + c.first + "\"";
    if (!j.is_string()) Expected(pointer, "one of " + names, j);
    for (const auto& c : choices)
        if (j.get<std::string>() == c.first) return c.second;
    Fail(pointer, "expected one of " + names + ", found \"" + j.get<std::string>() + "\"");
}

/// The name a value has among `choices` (for writing).
template <class T>
const char* NameOf(T value, const std::vector<std::pair<const char*, T>>& choices) {
    for (const auto& c : choices)
        if (c.second == value) return c.first;
    return "";
}

}  // namespace sequence_file::detail
