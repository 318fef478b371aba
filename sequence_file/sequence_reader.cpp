// Reading a sequence file: the document, its lasers and, through the element table, its elements.
#include <sequence_file/element_table.h>
#include <sequence_file/json_fields.h>
#include <sequence_file/sequence_file.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

namespace sequence_file {

using detail::Child;
using detail::Choice;
using detail::ElementEntry;
using detail::EntryNamed;
using detail::Expected;
using detail::Fail;
using detail::Json;
using detail::LaserPorts;
using detail::Object;
using detail::TypeName;
using detail::Units;
using detail::Unsigned;

namespace {

// Files are hand-written or generated; anything this large is a mistake, and reading it whole
// would only waste memory.
constexpr std::streamoff kMaxFileBytes = 256 * 1024 * 1024;

struct Context {
    Units units = Units::Camera;
    std::vector<FileLaser>* lasers = nullptr;
    std::map<std::string, int> laserByName;
};

const std::vector<std::pair<const char*, ScanMode>>& ScanModes() {
    static const std::vector<std::pair<const char*, ScanMode>> modes = {{"default", ScanModeDefault},
                                                                        {"short", ScanModeShort}};
    return modes;
}

/// "point, line, ... or waitUser": the type names of the table.
std::string TypeNames(const char* lastSeparator) {
    std::string names;
    const auto& table = detail::ElementTable();
    for (size_t i = 0; i < table.size(); ++i)
        names += std::string(i == 0 ? "" : i + 1 == table.size() ? lastSeparator : ", ") + table[i].name;
    return names;
}

FileLaser ReadLaser(const Json& j, const std::string& pointer, const std::string& baseDir) {
    Object o(j, pointer, "a laser");
    FileLaser l;
    l.pointer = pointer;
    const Json& name = o.Need("name", "the name elements use for this laser");
    if (!name.is_string() || name.get<std::string>().empty()) Expected(o.PointerOf("name"), "a non-empty string", name);
    l.name = name.get<std::string>();
    l.port = Choice(o.Need("port", "the laser output it hangs on"), o.PointerOf("port"), LaserPorts());
    const unsigned long long kU32 = UINT_MAX;
    l.switchOnDelay = static_cast<unsigned int>(o.UnsignedOr("switchOnDelay", 0, 0, kU32));
    l.switchOffDelay = static_cast<unsigned int>(o.UnsignedOr("switchOffDelay", 0, 0, kU32));
    l.intensityDelay = static_cast<unsigned int>(o.UnsignedOr("intensityDelay", 0, 0, kU32));
    l.minIntensity = static_cast<unsigned int>(o.UnsignedOr("minIntensity", 0, 0, 10000));
    l.maxIntensity = static_cast<unsigned int>(o.UnsignedOr("maxIntensity", 10000, 0, 10000));
    if (l.minIntensity > l.maxIntensity)
        Fail(o.PointerOf("minIntensity"), "minIntensity " + std::to_string(l.minIntensity) +
                                              " lies above maxIntensity " + std::to_string(l.maxIntensity));
    l.pulseFrequency = static_cast<unsigned int>(o.UnsignedOr("pulseFrequency", 0, 0, kU32));
    l.warmUpTime = static_cast<unsigned int>(o.UnsignedOr("warmUpTime", 0, 0, kU32));
    l.activeLevel = static_cast<int>(o.UnsignedOr("activeLevel", 1, 0, 1));
    l.stepSize = static_cast<int>(o.UnsignedOr("stepSize", 0, 1, 65535));
    l.color = o.StringOr("color", "");
    if (!l.color.empty() && !std::regex_match(l.color, std::regex("#[0-9a-fA-F]{6}")))
        Fail(o.PointerOf("color"), "expected a colour \"#rrggbb\", found \"" + l.color + "\"");
    l.calibration = std::make_unique<Calibration>();
    if (const Json* c = o.Find("calibration"); c != nullptr && !c->is_null()) {
        if (!c->is_string() || c->get<std::string>().empty())
            Expected(o.PointerOf("calibration"), "a calibration file path or null", *c);
        std::string path = c->get<std::string>();
        // Relative to the sequence file's folder unless rooted ("/x" here, "C:\x" or "\\server\x" on Windows).
        if (!std::filesystem::u8path(path).has_root_path() && !baseDir.empty()) path = baseDir + "/" + path;
        l.calibrationPath = path;
        std::string why;
        if (korvan::LoadCalibrationFile(*l.calibration, path.c_str(), &why) != 0) Fail(o.PointerOf("calibration"), why);
    }
    o.Finish(
        "name, port, switchOnDelay, switchOffDelay, intensityDelay, minIntensity, maxIntensity, "
        "pulseFrequency, warmUpTime, activeLevel, stepSize, calibration, color");
    return l;
}

// The lasers of a beam element: "laser" (+ "intensity") or "lasers": [{"laser", "intensity"}].
void ReadLasers(Object& o, FileElement& e, Context& ctx) {
    const Json* one = o.Find("laser");
    const Json* many = o.Find("lasers");
    const Json* intensity = o.Find("intensity");
    auto lookup = [&](const Json& name, const std::string& pointer) {
        if (!name.is_string()) Expected(pointer, "a laser name", name);
        auto it = ctx.laserByName.find(name.get<std::string>());
        if (it == ctx.laserByName.end())
            Fail(pointer, "unknown laser \"" + name.get<std::string>() + "\" (define it under /lasers)");
        return it->second;
    };
    if (one && many) Fail(o.PointerOf("lasers"), "give either \"laser\" or \"lasers\", not both");
    if (one) {
        e.laserSlots[0] = lookup(*one, o.PointerOf("laser"));
        e.element->intensities[0] =
            intensity ? static_cast<unsigned int>(Unsigned(*intensity, o.PointerOf("intensity"), 0, 10000)) : 10000;
    } else if (many) {
        if (intensity) Fail(o.PointerOf("intensity"), "with \"lasers\", give each laser its own intensity");
        const std::string lp = o.PointerOf("lasers");
        if (!many->is_array() || many->empty() || many->size() > 4)
            Fail(lp, many->is_array() ? "expected 1 to 4 lasers, found " + std::to_string(many->size())
                                      : std::string("expected an array of lasers, found ") + TypeName(*many));
        for (size_t i = 0; i < many->size(); ++i) {
            Object slot((*many)[i], Child(lp, i), "a laser of the element");
            int index = lookup(slot.Need("laser", "a laser name"), slot.PointerOf("laser"));
            for (size_t k = 0; k < i; ++k)
                if (e.laserSlots[k] == index) Fail(slot.PointerOf("laser"), "the same laser twice");
            e.laserSlots[i] = index;
            e.element->intensities[i] = static_cast<unsigned int>(slot.UnsignedOr("intensity", 10000, 0, 10000));
            slot.Finish("laser, intensity");
        }
    } else {
        if (intensity) Fail(o.PointerOf("intensity"), "an intensity needs a \"laser\"");
        Fail(o.Pointer(), "a " + e.type + " needs a laser: give \"laser\" or \"lasers\"");
    }
}

Units ReadUnits(Object& o, Units fallback) {
    const Json* u = o.Find("units");
    if (u == nullptr) return fallback;
    return Choice(*u, o.PointerOf("units"),
                  std::vector<std::pair<const char*, Units>>{{"camera", Units::Camera}, {"device", Units::Device}});
}

FileElement ReadElement(const Json& j, const std::string& pointer, Context& ctx) {
    Object o(j, pointer, "an element");
    FileElement e;
    e.pointer = pointer;
    const Json& type = o.Need("type", TypeNames(" or ").c_str());
    if (!type.is_string()) Expected(o.PointerOf("type"), "an element type name", type);
    e.type = type.get<std::string>();
    o.Find("comment");
    const Units units = ReadUnits(o, ctx.units);
    const ElementEntry* entry = EntryNamed(e.type);
    if (entry == nullptr)
        Fail(o.PointerOf("type"), "unknown element type \"" + e.type + "\" (known: " + TypeNames(", ") + ")");
    e.element = entry->read(o, e, units);
    e.isOutput = korvan::IsOutputKind(entry->kind);
    const bool beam = korvan::IsBeamKind(entry->kind);
    e.cameraUnits = beam && units == Units::Camera;
    std::string known = std::string("type, start, comment, ") + entry->fields;

    if (const Json* start = o.Find("start")) {
        e.element->startTick = static_cast<unsigned int>(Unsigned(*start, o.PointerOf("start"), 0, UINT_MAX));
        e.hasStart = true;
    }
    if (entry->kind != korvan::ElementKind::Jump) {
        if (const Json* repeat = o.Find("repeat")) {
            if (!beam) Fail(o.PointerOf("repeat"), "only beam elements and jumps repeat");
            e.element->repeatCount = static_cast<unsigned int>(Unsigned(*repeat, o.PointerOf("repeat"), 0, UINT_MAX));
        }
    }
    if (beam) {
        known += ", repeat, laser, lasers, intensity, units";
        ReadLasers(o, e, ctx);
        entry->checkPositions(o, e, units, (*ctx.lasers)[static_cast<size_t>(e.laserSlots[0])]);
    } else {
        for (const char* k : {"laser", "lasers", "intensity"})
            if (o.Find(k)) Fail(o.PointerOf(k), "only points, lines, ellipses and polygons use lasers");
        if (o.Find("units")) Fail(o.PointerOf("units"), "only beam elements have coordinates");
    }
    o.Finish(known);
    return e;
}

Json Parse(const std::string& text) {
    try {
        return Json::parse(text, nullptr, true, /*ignore_comments=*/true);
    } catch (const Json::parse_error& e) {
        // Turn the byte offset into a line and column people can find.
        size_t line = 1, column = 1;
        for (size_t i = 0; i + 1 < e.byte && i < text.size(); ++i) {
            if (text[i] == '\n') {
                ++line;
                column = 1;
            } else {
                ++column;
            }
        }
        std::string what = e.what();
        const auto colon = what.find("syntax error");
        if (colon != std::string::npos) what = what.substr(colon);
        throw InputError(
            "", "not valid JSON at line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what);
    } catch (const Json::out_of_range& e) {
        // A number too large for a double, such as 50e3221.
        throw InputError("", std::string("a number in the file is out of range: ") + e.what());
    }
}

}  // namespace

std::vector<SequenceObject*> SequenceFile::Pointers() const {
    std::vector<SequenceObject*> v;
    for (const FileElement& e : elements) v.push_back(e.element.get());
    return v;
}

SequenceFile ParseSequenceText(const std::string& text, const std::string& baseDir) {
    const Json doc = Parse(text);
    Object top(doc, "", "a sequence file");
    SequenceFile file;
    top.UnsignedOr("version", 1, 1, 1);
    file.description = top.StringOr("description", "");
    file.tickTime = static_cast<unsigned int>(top.UnsignedOr("tickTime", 50, 1, 1000000));
    if (const Json* m = top.Find("scanMode")) file.scanMode = Choice(*m, top.PointerOf("scanMode"), ScanModes());
    Context ctx;
    ctx.lasers = &file.lasers;
    ctx.units = ReadUnits(top, Units::Camera);

    const Json& lasers = top.Need("lasers", "the lasers the elements use");
    if (!lasers.is_array()) Expected("/lasers", "an array of lasers", lasers);
    if (lasers.size() > 4)
        Fail("/lasers", "the device drives at most 4 lasers, found " + std::to_string(lasers.size()));
    for (size_t i = 0; i < lasers.size(); ++i) {
        FileLaser l = ReadLaser(lasers[i], Child("/lasers", i), baseDir);
        if (ctx.laserByName.count(l.name))
            Fail(Child(Child("/lasers", i), "name"), "a second laser named \"" + l.name + "\"");
        for (const FileLaser& other : file.lasers)
            if (other.port == l.port)
                Fail(Child(Child("/lasers", i), "port"), "laser \"" + other.name + "\" already uses this output");
        ctx.laserByName[l.name] = static_cast<int>(i);
        file.lasers.push_back(std::move(l));
    }

    const Json& elements = top.Need("elements", "what the device does");
    if (!elements.is_array()) Expected("/elements", "an array of elements", elements);
    for (size_t i = 0; i < elements.size(); ++i)
        file.elements.push_back(ReadElement(elements[i], Child("/elements", i), ctx));
    top.Finish("version, description, tickTime, scanMode, units, lasers, elements");
    if (file.elements.empty()) Fail("/elements", "a sequence needs at least one element");
    return file;
}

SequenceFile ReadSequenceFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError("", "cannot open " + path);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw InputError("", "cannot read " + path + " (not a regular file?)");
    if (size > kMaxFileBytes) throw InputError("", "file too large (" + std::to_string(size) + " bytes)");
    in.seekg(0);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), size)) throw InputError("", "cannot read " + path);
    const std::string folder = std::filesystem::u8path(path).parent_path().u8string();
    SequenceFile file = ParseSequenceText(text, folder.empty() ? "." : folder);
    file.path = path;
    return file;
}

void AssignLaserIds(SequenceFile& file, const std::vector<unsigned int>& ids) {
    for (FileElement& e : file.elements)
        for (int s = 0; s < 4; ++s)
            if (e.laserSlots[s] >= 0 && static_cast<size_t>(e.laserSlots[s]) < ids.size())
                e.element->laserIds[s] = ids[static_cast<size_t>(e.laserSlots[s])];
}

}  // namespace sequence_file
