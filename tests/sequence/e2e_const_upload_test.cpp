// Const arrays and const data reach the virtual device as the non-const ones do.
#include "sequence_sim_fixture.h"

#include <korvan/sequence/sequence_elements.h>

#include <vector>

namespace sequencetest {
namespace {

class ConstUpload : public SequenceRun {
protected:
    std::vector<Record> Run(unsigned short number) {
        sim.ClearTimeline();
        EXPECT_EQ(k.StartSequence(number, NoInput, Trigger1, 1), 0u);
        EXPECT_TRUE(sim.WaitUntilIdle(5000));
        return sim.ExecutedTimeline().Records();
    }
};

TEST_F(ConstUpload, AConstArrayRunsAsTheNonConstOne) {
    SequencePoint point(30000, 30000);
    point.useCalibration = 0;
    point.repeatCount = 9;
    point.laserIds[0] = laser;
    SequenceLine line(1000, 1000, 1400, 1000);
    line.startTick = 200;
    line.laserIds[0] = laser;
    std::vector<SequenceObject*> elements = {&point, &line};
    const std::vector<const SequenceObject*> constElements(elements.begin(), elements.end());

    unsigned short plain = 0, constant = 0;
    ASSERT_EQ(k.UploadSequence(elements.data(), 2, &plain), 0u);
    ASSERT_EQ(k.UploadSequence(constElements.data(), 2, &constant), 0u);
    EXPECT_NE(plain, constant);
    const std::vector<Record> expected = Run(plain);
    EXPECT_FALSE(Only(expected, Event::Line).empty());
    EXPECT_EQ(Only(Run(constant), Event::Line),
              Only(expected, Event::Line));  // the mirrors start where the first run left them
}

TEST_F(ConstUpload, ConstUserDataIsStored) {
    const unsigned char data[] = {9, 8, 7, 6, 5};
    ASSERT_EQ(k.SetUserData(data, sizeof data), 0u);
    unsigned char* read = nullptr;
    unsigned int length = 0;
    ASSERT_EQ(k.GetUserData(&read, &length), 0u);
    EXPECT_EQ(std::vector<unsigned char>(read, read + length), std::vector<unsigned char>(data, data + sizeof data));
    k.FreeUserData(read);
}

}  // namespace
}  // namespace sequencetest
