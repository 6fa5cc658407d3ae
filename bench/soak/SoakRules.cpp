#include "SoakRules.h"

namespace velmora::soak {

const char* CommandName(Command command) {
    return command == Command::Send ? "upload" : "DST Delete";
}

const std::vector<Behaviour>& Behaviours() {
    static const std::vector<Behaviour> behaviours = {
        {"good answer", {}, Outcome::Done, Outcome::Done},
        {"12 bytes", {"--fail-mode", "len12"}, Outcome::NoReply, Outcome::NoReply},
        {"14 bytes", {"--fail-mode", "len14"}, Outcome::NoReply, Outcome::CommunicationError},
        {"16 bytes", {"--fail-mode", "len16"}, Outcome::NoReply, Outcome::CommunicationError},
        {"silence", {"--fail-mode", "silence"}, Outcome::NoReply, Outcome::CommunicationError},
        {"last byte 01",
         {"--fail-mode", "last01"},
         Outcome::CommunicationError,
         Outcome::CommunicationError},
        {"slow bytes", {"--slow-byte", "3"}, Outcome::Done, Outcome::Done},
    };
    return behaviours;
}

std::optional<std::string> WrongVerdict(Command command, const std::vector<Box>& boxes,
                                        Outcome expected, int acknowledged) {
    if (boxes.size() != 1) return std::to_string(boxes.size()) + " boxes";
    const Box& box = boxes.front();
    if (box.outcome != expected)
        return "\"" + std::string(OutcomeText(box.outcome)) + "\" instead of \"" +
               OutcomeText(expected) + "\" (" + std::to_string(box.bytes) + " bytes judged)";
    if (expected == Outcome::UnableToOpen && box.details.find("not present") == std::string::npos)
        return "the failure to open does not say why: \"" + box.details + "\"";
    if (expected != Outcome::UnableToOpen && !box.details.empty())
        return "details on a verdict: " + box.details;
    if (command == Command::Send && expected == Outcome::Done && acknowledged != kMaxRows)
        return "\"Done!\" after " + std::to_string(acknowledged) + " frames";
    return std::nullopt;
}

}  // namespace velmora::soak
