#include <sequence_file/json_fields.h>

#include <cmath>

namespace sequence_file::detail {

namespace {

std::string Escape(const std::string& key) {
    std::string s;
    for (char c : key) {
        if (c == '~')
            s += "~0";
        else if (c == '/')
            s += "~1";
        else
            s += c;
    }
    return s;
}

}  // namespace

std::string Child(const std::string& pointer, const std::string& key) { return pointer + "/" + Escape(key); }
std::string Child(const std::string& pointer, size_t index) { return pointer + "/" + std::to_string(index); }

const char* TypeName(const Json& j) {
    switch (j.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::boolean: return "a boolean";
    case Json::value_t::string: return "a string";
    case Json::value_t::array: return "an array";
    case Json::value_t::object: return "an object";
    case Json::value_t::number_float: return "a number with a fraction";
    default: return j.is_number_unsigned() || j.is_number_integer() ? "an integer" : "something else";
    }
}

[[noreturn]] void Fail(const std::string& pointer, const std::string& message) { throw InputError(pointer, message); }

[[noreturn]] void Expected(const std::string& pointer, const std::string& what, const Json& found) {
    Fail(pointer, "expected " + what + ", found " + TypeName(found));
}

unsigned long long Unsigned(const Json& j, const std::string& pointer, unsigned long long min, unsigned long long max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    if (j.is_number_unsigned() || (j.is_number_integer() && j.get<long long>() >= 0)) {
        const auto v = j.get<unsigned long long>();
        if (v >= min && v <= max) return v;
        Fail(pointer, "expected an integer " + range + ", found " + std::to_string(v));
    }
    if (j.is_number_integer())
        Fail(pointer, "expected an integer " + range + ", found " + std::to_string(j.get<long long>()));
    Expected(pointer, "an integer " + range, j);
}

double Number(const Json& j, const std::string& pointer) {
    if (!j.is_number()) Expected(pointer, "a number", j);
    const double v = j.get<double>();
    if (!std::isfinite(v)) Fail(pointer, "expected a finite number");
    return v;
}

RPOINTF Point(const Json& j, const std::string& pointer) {
    if (!j.is_array() || j.size() != 2) {
        if (j.is_array()) Fail(pointer, "expected [x, y], found an array of " + std::to_string(j.size()));
        Expected(pointer, "a point [x, y]", j);
    }
    return RPOINTF(Number(j[0], Child(pointer, 0)), Number(j[1], Child(pointer, 1)));
}

Object::Object(const Json& j, std::string pointer, const char* what) : j_(j), pointer_(std::move(pointer)) {
    if (!j.is_object()) Expected(pointer_, std::string("an object (") + what + ")", j);
}

const Json* Object::Find(const std::string& key) {
    used_.insert(key);
    auto it = j_.find(key);
    return it == j_.end() ? nullptr : &*it;
}

const Json& Object::Need(const std::string& key, const char* what) {
    const Json* v = Find(key);
    if (v == nullptr) Fail(pointer_, std::string("missing \"") + key + "\" (" + what + ")");
    return *v;
}

unsigned long long Object::UnsignedOr(const std::string& key, unsigned long long fallback, unsigned long long min,
                                      unsigned long long max) {
    const Json* v = Find(key);
    return v ? Unsigned(*v, PointerOf(key), min, max) : fallback;
}

bool Object::BoolOr(const std::string& key, bool fallback) {
    const Json* v = Find(key);
    if (v == nullptr) return fallback;
    if (!v->is_boolean()) Expected(PointerOf(key), "true or false", *v);
    return v->get<bool>();
}

std::string Object::StringOr(const std::string& key, const std::string& fallback) {
    const Json* v = Find(key);
    if (v == nullptr) return fallback;
    if (!v->is_string()) Expected(PointerOf(key), "a string", *v);
    return v->get<std::string>();
}

void Object::Finish(const std::string& allowedHint) const {
    for (auto it = j_.begin(); it != j_.end(); ++it)
        if (!used_.count(it.key()))
            Fail(Child(pointer_, it.key()), "unknown field \"" + it.key() + "\"" +
                                                (allowedHint.empty() ? "" : " (known here: " + allowedHint + ")"));
}

}  // namespace sequence_file::detail
