// Collects the bytes a device receives into frames. Bytes before a 0x7E are
// skipped, and a 0x7E that does not start a frame with a zero checksum is
// skipped too, so the assembler finds its way back after garbage or a torn frame.
#pragma once

#include <cstddef>
#include <vector>

#include "DeviceFrame.h"

namespace velmora {

class FrameAssembler {
  public:
    // Takes `count` more received bytes and returns the frames they complete, in order.
    std::vector<ByteString> Feed(const char* data, std::size_t count);

  private:
    ByteString m_pending;
};

}  // namespace velmora
