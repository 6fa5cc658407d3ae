// Fakes of the system calls a port cannot be made to misbehave with on a
// pseudo-terminal. A program linked with the `velmora_fake_system_calls`
// library has its calls to tcsetattr and poll routed through these fakes, which
// pass every call through unchanged until a case arms them.
#pragma once

#include <termios.h>

#include <functional>
#include <string>

namespace velmora::test {

// While one lives, tcsetattr applies the settings as `alter` changes them and
// still reports success: a port that took only some of the changes.
class AlteredSetAttr {
  public:
    explicit AlteredSetAttr(std::function<void(termios&)> alter);
    ~AlteredSetAttr();
    AlteredSetAttr(const AlteredSetAttr&) = delete;
    AlteredSetAttr& operator=(const AlteredSetAttr&) = delete;
};

// While one lives, poll reports a hang-up on every descriptor of the terminal
// at `path` along with its readable bytes, which stay readable.
class HangUpWhenReadable {
  public:
    explicit HangUpWhenReadable(const std::string& path);
    ~HangUpWhenReadable();
    HangUpWhenReadable(const HangUpWhenReadable&) = delete;
    HangUpWhenReadable& operator=(const HangUpWhenReadable&) = delete;
};

}  // namespace velmora::test
