// Files compiled offline: the example files compile to the images recorded before the offline
// compiler existed, read back the same once written, and leave the process's own state alone.
#include "support/sequence_corpus.h"

#include <sequence_file/compiled_sequence.h>

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <map>
#include <sstream>

namespace {

using sequence_file::CompiledSequence;

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> ExampleFiles() {
    std::vector<std::string> names;
    if (DIR* d = opendir(EXAMPLES_DIR)) {
        while (dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 5 && n.substr(n.size() - 5) == ".json") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The fingerprint of a compiled file as the corpus records it: the compiler's timings, the layout's
// and where the last element ends.
std::string FingerprintOf(const std::string& name, const CompiledSequence& c) {
    corpus::Outcome o;
    o.result = c.analysis.result;
    o.failedElement = c.analysis.failedElement;
    o.reason = c.analysis.reason;
    o.image = c.analysis.image;
    o.mainLength = c.analysis.mainListLength;
    for (size_t k = 0; k < c.layout.size(); ++k) {
        const auto& t = c.analysis.elements[k];
        const auto& s = c.layout[k];
        const bool timed = s.duration != 0 || s.illumination != 0;
        o.timings.insert(o.timings.end(),
                         {t.startTick, t.duration, t.illumination, s.startTick, s.duration, s.illumination, timed});
    }
    o.timings.push_back(c.endTick);
    return corpus::Fingerprint(name, o);
}

std::map<std::string, std::string> Recorded() {
    std::map<std::string, std::string> lines;
    std::ifstream in(KORVAN_IMAGE_CORPUS);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("example-", 0) == 0) lines[line.substr(0, line.find(' '))] = line;
    return lines;
}

TEST(CompiledSequence, ExampleFilesCompileToTheRecordedImagesAtEachTickTime) {
    const auto recorded = Recorded();
    const auto files = ExampleFiles();
    ASSERT_GE(files.size(), 4u);
    int compared = 0;
    for (const std::string& name : files) {
        const std::string text = ReadText(std::string(EXAMPLES_DIR) + "/" + name);
        for (const char* tick : {"", "20", "100"}) {
            std::string variant = text;
            if (*tick) {
                const auto at = variant.find("\"tickTime\": 50");
                if (at == std::string::npos) continue;
                variant.replace(at, 14, std::string("\"tickTime\": ") + tick);
            }
            const std::string key = "example-" + name + (*tick ? std::string("@") + tick : std::string());
            const CompiledSequence compiled(sequence_file::ParseSequenceText(variant, EXAMPLES_DIR));
            if (corpus::CorpusOutput() != nullptr) {  // recording a deliberate change
                corpus::AppendToCorpusOutput({FingerprintOf(key, compiled)});
                continue;
            }
            const auto it = recorded.find(key);
            ASSERT_NE(it, recorded.end()) << key << " is not in the corpus";
            EXPECT_EQ(FingerprintOf(key, compiled), it->second);
            ++compared;
        }
    }
    if (corpus::CorpusOutput() != nullptr) GTEST_SKIP() << "fingerprints written to " << corpus::CorpusOutput();
    EXPECT_EQ(compared, static_cast<int>(recorded.size()));
}

TEST(CompiledSequence, AFileWrittenBackReadsTheSameAndCompilesTheSame) {
    for (const std::string& name : ExampleFiles()) {
        const sequence_file::SequenceFile read =
            sequence_file::ReadSequenceFile(std::string(EXAMPLES_DIR) + "/" + name);
        const std::string written = sequence_file::WriteSequenceText(read);
        // Written elsewhere: calibration paths are kept as resolved.
        const sequence_file::SequenceFile again = sequence_file::ParseSequenceText(written, "/");
        EXPECT_EQ(sequence_file::WriteSequenceText(again), written) << name;
        const CompiledSequence a(sequence_file::ParseSequenceText(written, "/"));
        const CompiledSequence b(sequence_file::ReadSequenceFile(std::string(EXAMPLES_DIR) + "/" + name));
        EXPECT_EQ(FingerprintOf(name, a), FingerprintOf(name, b)) << name << "\n" << written;
    }
}

// Checking a file used to set the process's scan mode from the file and to define its lasers in
// the process-wide list: a point uploaded afterwards lost its mirror settle time, and a file whose
// laser used an output the application's laser had could not be checked at all.
TEST(CompiledSequence, CheckingAFileLeavesTheProcessScanModeAndLasersAlone) {
    Korvan k;
    unsigned int appLaser = 0;
    ASSERT_EQ(k.AddLaser(0, 0, 0, LaserOutput2, 0, 0, 0, &appLaser), 0u);  // shapes.json's output

    const CompiledSequence shortMode(sequence_file::ReadSequenceFile(std::string(EXAMPLES_DIR) + "/shapes.json"));
    ASSERT_EQ(shortMode.file.scanMode, ScanModeShort);
    EXPECT_EQ(shortMode.analysis.result, 0u) << shortMode.analysis.reason;

    SequencePoint point(100, 100);
    point.laserIds[0] = appLaser;
    point.repeatCount = 19;  // 20 ticks of light
    unsigned int duration = 0, light = 0;
    ASSERT_EQ(k.GetTiming(point, &duration, &light), 0u);
    EXPECT_EQ(light, 20u);
    EXPECT_EQ(duration, 120u) << "the mirrors' full 100-tick lead";

    OutputPorts port = NoOutput;
    EXPECT_EQ(k.GetPortForLaser(appLaser, &port), 0u);
    EXPECT_EQ(port, LaserOutput2);
    EXPECT_EQ(k.GetPortForLaser(appLaser + 1, &port), korvan::ResultInvalidArgument) << "no laser was added";
    EXPECT_EQ(k.RemoveLaser(appLaser), 0u);
}

}  // namespace
