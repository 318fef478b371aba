// The compiler's output is pinned: every corpus case (tests/support/sequence_corpus.h) must
// compile to the image and timings recorded in image_corpus.txt, byte for byte. A deliberate
// change to the compiler records the new lines instead: run this test and
// CompiledSequence.ExampleFilesCompileToTheRecordedImagesAtEachTickTime with
// KORVAN_WRITE_CORPUS=FILE, put FILE's lines under the comment of image_corpus.txt; the change
// then shows in review, line by line.
#include "support/sequence_corpus.h"

#include <korvan/korvan.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>

namespace {

std::string FingerprintOf(const corpus::Case& c) {
    const auto elements = c.Elements();
    const auto settings = c.Settings();
    const SequenceAnalysis a =
        korvan::CompileSequence(elements.data(), static_cast<unsigned int>(elements.size()), settings);
    corpus::Outcome o;
    o.result = a.result;
    o.failedElement = a.failedElement;
    o.reason = a.reason;
    o.image = a.image;
    o.mainLength = a.mainListLength;
    for (std::size_t k = 0; k < elements.size(); ++k) {
        const auto& t = a.elements[k];
        o.timings.insert(o.timings.end(), {t.startTick, t.duration, t.illumination});
        SequenceElementTiming alone;
        const unsigned int r = korvan::TimeSequenceElement(*elements[k], settings, &alone);
        o.timings.insert(o.timings.end(), {alone.duration, alone.illumination, r});
    }
    return corpus::Fingerprint(c.name, o);
}

std::vector<corpus::Case> AllCases() {
    auto time = [](const corpus::Case& c, SequenceObject& e) {
        SequenceElementTiming t;
        korvan::TimeSequenceElement(e, c.Settings(), &t);
        return t.duration;
    };
    std::vector<corpus::Case> cases = corpus::HandWrittenCases();
    for (auto& c : corpus::RandomCases(250, 20261209, time)) cases.push_back(std::move(c));
    return cases;
}

TEST(ImageCorpus, EveryCaseCompilesToTheRecordedImageAndTimings) {
    std::map<std::string, std::string> recorded;
    std::ifstream in(KORVAN_IMAGE_CORPUS);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') recorded[line.substr(0, line.find(' '))] = line;
    const auto cases = AllCases();
    if (corpus::CorpusOutput() != nullptr) {
        std::vector<std::string> lines;
        for (const auto& c : cases) lines.push_back(FingerprintOf(c));
        corpus::AppendToCorpusOutput(lines);
        GTEST_SKIP() << lines.size() << " fingerprints written to " << corpus::CorpusOutput();
    }
    ASSERT_GE(recorded.size(), cases.size()) << "corpus file missing or short: " << KORVAN_IMAGE_CORPUS;
    int valid = 0;
    for (const auto& c : cases) {
        const std::string now = FingerprintOf(c);
        EXPECT_EQ(now, recorded[c.name]);
        valid += now.find(" result=0 ") != std::string::npos;
    }
    // The corpus is only worth something while much of it compiles.
    EXPECT_GT(valid, static_cast<int>(cases.size()) / 3);
}

}  // namespace
