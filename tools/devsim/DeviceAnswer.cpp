#include "DeviceAnswer.h"

#include <algorithm>

namespace velmora {

std::optional<Answer> ParseAnswerMode(std::string_view mode) {
    if (mode == "last01") return Answer::Last01;
    if (mode == "len12") return Answer::Len12;
    if (mode == "len14") return Answer::Len14;
    if (mode == "len16") return Answer::Len16;
    if (mode == "silence") return Answer::Silence;
    if (mode == "twice") return Answer::Twice;
    return std::nullopt;
}

ByteString ComposeAnswer(const ByteString& frame, Answer answer, long floodBytes) {
    ByteString good = frame + "OK" + '\0';
    switch (answer) {
        case Answer::Good:
            return good;
        case Answer::Last01:
            good.back() = '\x01';
            return good;
        case Answer::Len12:
            return frame;
        case Answer::Len14:
            return good.substr(0, kReplySize - 1);
        case Answer::Len16:
            return good + '\0';
        case Answer::Silence:
            return {};
        case Answer::Twice:
            return good + good;
        case Answer::Flood: {
            ByteString flood;
            for (long i = 0; i < floodBytes; ++i) {
                flood.push_back(static_cast<char>(i & 0xFF));
            }
            return flood;
        }
    }
    return good;
}

ByteString AnswerPlan::AnswerTo(const ByteString& frame, long index) const {
    Answer kind = Answer::Good;
    if (fault && (!failAt || *failAt == index)) kind = *fault;
    ByteString answer = ComposeAnswer(frame, kind, floodBytes);
    if (HangsUpAt(index))
        answer.resize(std::min(answer.size(), static_cast<std::size_t>(hangupAfter)));
    return answer;
}

}  // namespace velmora
