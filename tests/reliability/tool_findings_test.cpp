// What the sequence-file harness found in the command-line tool, kept as cases of their own.
#include <sequence_file/sequence_file.h>

#include <gtest/gtest.h>

TEST(ToolFindings, NumberTooLargeForADoubleIsAnInputError) {
    EXPECT_THROW(sequence_file::ParseSequenceText(R"({"tickTime": 50e3221, "elements": []})", "."),
                 sequence_file::InputError);
}
