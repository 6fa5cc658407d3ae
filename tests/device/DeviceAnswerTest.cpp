// The simulator's answers: the good one, each fault, and which frame gets it.
#include <gtest/gtest.h>

#include "DeviceAnswer.h"

namespace velmora {
namespace {

const ByteString kFrame = UploadFrame(2, {28, 3, 31, 10, 27});
const ByteString kGood = kFrame + ByteString("OK\0", 3);

TEST(DeviceAnswerTest, EachModeGivesItsBytes) {
    ByteString last01 = kGood;
    last01.back() = '\x01';
    const std::pair<const char*, ByteString> modes[] = {
        {"last01", last01},      {"len12", kFrame}, {"len14", kGood.substr(0, 14)},
        {"len16", kGood + '\0'}, {"silence", ""},   {"twice", kGood + kGood}};
    EXPECT_EQ(ComposeAnswer(kFrame, Answer::Good, 0), kGood);
    for (const auto& [name, bytes] : modes) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(ParseAnswerMode(name).has_value());
        EXPECT_EQ(ComposeAnswer(kFrame, *ParseAnswerMode(name), 0), bytes);
    }
    EXPECT_FALSE(ParseAnswerMode("flood").has_value());
    const ByteString flood = ComposeAnswer(kFrame, Answer::Flood, 258);
    ASSERT_EQ(flood.size(), 258u);
    EXPECT_EQ(flood.substr(0, 2), ByteString("\x00\x01", 2));
    EXPECT_EQ(flood.substr(255), ByteString("\xFF\x00\x01", 3));
}

TEST(DeviceAnswerTest, TheFaultGoesToItsFrameAndTheHangUpCutsTheAnswer) {
    AnswerPlan plan;
    EXPECT_EQ(plan.AnswerTo(kFrame, 0), kGood);
    plan.fault = Answer::Len12;
    EXPECT_EQ(plan.AnswerTo(kFrame, 5), kFrame);  // without failAt, every frame
    plan.failAt = 3;
    EXPECT_EQ(plan.AnswerTo(kFrame, 2), kGood);
    EXPECT_EQ(plan.AnswerTo(kFrame, 3), kFrame);
    EXPECT_EQ(plan.AnswerTo(kFrame, 4), kGood);

    plan.hangupAt = 4;
    EXPECT_FALSE(plan.HangsUpAt(3));
    EXPECT_TRUE(plan.HangsUpAt(4));
    EXPECT_EQ(plan.AnswerTo(kFrame, 4), kGood.substr(0, 7));
    plan.hangupAfter = 20;  // more than the answer holds: all of it
    EXPECT_EQ(plan.AnswerTo(kFrame, 4), kGood);
}

}  // namespace
}  // namespace velmora
