// What the soak's parts share: the device's behaviours with the verdict the
// rules give for each, and the judging of an exchange's boxes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "UploadSequence.h"

namespace velmora::soak {

enum class Command { Send, Delete };

const char* CommandName(Command command);

// How the device answers, and the verdict the rules give for it.
struct Behaviour {
    const char* name;
    std::vector<std::string> simulatorArgs;
    Outcome upload;
    Outcome dstDelete;
};

// The device answers every frame this way.
const std::vector<Behaviour>& Behaviours();

// A box an exchange showed.
struct Box {
    Outcome outcome;
    std::string details;
    std::size_t bytes;  // in the buffer when it was judged
};

// What is wrong with the boxes of one exchange, or nothing: exactly one box,
// the verdict `expected`, a port that cannot be opened saying why and no
// details otherwise, and an upload that is done with all fifteen frames
// answered (`acknowledged`).
std::optional<std::string> WrongVerdict(Command command, const std::vector<Box>& boxes,
                                        Outcome expected, int acknowledged);

}  // namespace velmora::soak
