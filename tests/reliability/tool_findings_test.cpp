// What the sequence-file harness found in the command-line tool, kept as cases of their own.
#include <tools/sequence_file.h>

#include <gtest/gtest.h>

TEST(ToolFindings, NumberTooLargeForADoubleIsAnInputError) {
    EXPECT_THROW(tools::ParseSequenceText(R"({"tickTime": 50e3221, "elements": []})", "."), tools::InputError);
}
