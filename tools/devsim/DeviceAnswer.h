// What the simulated device sends back for each frame it receives, as the
// command line chose it. Pure code: nothing here reads or writes anything.
#pragma once

#include <optional>
#include <string_view>

#include "DeviceFrame.h"

namespace velmora {

enum class Answer { Good, Last01, Len12, Len14, Len16, Silence, Twice, Flood };

// The fault named on the command line (--fail-mode), or none for an unknown name.
std::optional<Answer> ParseAnswerMode(std::string_view mode);

// The bytes of `answer` to `frame`: the good answer is the frame, 'O', 'K' and
// 0x00; a flood is `floodBytes` bytes counting 00 01 02 ... FF 00 ...
ByteString ComposeAnswer(const ByteString& frame, Answer answer, long floodBytes);

// Which frames get which answer, and where the device hangs up.
struct AnswerPlan {
    std::optional<long> failAt;  // none: every frame gets the fault
    std::optional<Answer> fault;
    long floodBytes = 0;
    std::optional<long> hangupAt;
    long hangupAfter = 7;  // bytes of the answer sent before the hang-up

    // The bytes that answer `frame`, the `index`-th (0-based) since start;
    // cut short to `hangupAfter` bytes at the frame of the hang-up.
    ByteString AnswerTo(const ByteString& frame, long index) const;
    bool HangsUpAt(long index) const { return hangupAt == index; }
};

}  // namespace velmora
