#include "FrameAssembler.h"

namespace velmora {

std::vector<ByteString> FrameAssembler::Feed(const char* data, std::size_t count) {
    m_pending.append(data, count);
    std::vector<ByteString> frames;
    for (;;) {
        const std::size_t start = m_pending.find('\x7E');
        if (start == ByteString::npos) {
            m_pending.clear();
            break;
        }
        m_pending.erase(0, start);
        if (m_pending.size() < kFrameSize) {
            break;
        }
        const ByteString candidate = m_pending.substr(0, kFrameSize);
        if (FrameChecksum(candidate) == 0) {
            frames.push_back(candidate);
            m_pending.erase(0, kFrameSize);
        } else {
            m_pending.erase(0, 1);
        }
    }
    return frames;
}

}  // namespace velmora
