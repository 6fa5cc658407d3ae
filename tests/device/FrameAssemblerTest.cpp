// The simulator's frame assembler finds every whole frame in what it receives,
// whatever came before, between or in pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FrameAssembler.h"

namespace velmora {
namespace {

std::vector<ByteString> FeedAll(FrameAssembler& assembler, const std::vector<ByteString>& pieces) {
    std::vector<ByteString> frames;
    for (const ByteString& piece : pieces) {
        for (ByteString& frame : assembler.Feed(piece.data(), piece.size())) {
            frames.push_back(std::move(frame));
        }
    }
    return frames;
}

TEST(FrameAssemblerTest, FindsItsWayBackAfterGarbageAndTornFrames) {
    const ByteString first = UploadFrame(0, {5, 3, 29, 10, 27});
    const ByteString second = DstDeleteFrame();
    // A frame's start byte followed by anything but the rest of a frame.
    const ByteString falseStart("\x7E\x0C\x2B\x00\x65\x01", 6);
    const ByteString torn = first.substr(0, 7);
    const ByteString garbage("\x00\xFF\x7E\x13\x7E", 5);

    const struct {
        const char* name;
        std::vector<ByteString> pieces;
        std::vector<ByteString> frames;
    } cases[] = {
        {"garbage before", {garbage + first}, {first}},
        {"a false start before", {falseStart + first + second}, {first, second}},
        {"a torn frame before", {torn + second}, {second}},
        {"garbage between, in pieces",
         {first.substr(0, 5), first.substr(5) + garbage, second},
         {first, second}},
        {"one byte at a time",
         [&] {
             std::vector<ByteString> bytes;
             for (const ByteString& part : {garbage, first, torn, second}) {
                 for (const char c : part) bytes.emplace_back(1, c);
             }
             return bytes;
         }(),
         {first, second}},
        {"only garbage", {garbage, falseStart}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrameAssembler assembler;
        EXPECT_EQ(FeedAll(assembler, c.pieces), c.frames);
        // Whatever it kept back does not spoil the frame after it.
        EXPECT_EQ(FeedAll(assembler, {first}), std::vector<ByteString>{first});
    }
}

}  // namespace
}  // namespace velmora
