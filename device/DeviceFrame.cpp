#include "DeviceFrame.h"

namespace velmora {

namespace {

constexpr std::uint8_t kFrameHead[] = {0x7E, 0x0C, 0x2B, 0x00};
constexpr std::uint8_t kDeleteByte = 0xFE;

}  // namespace

std::uint8_t FrameChecksum(std::string_view bytes) {
    std::uint8_t crc = 0x22;
    for (const char c : bytes) {
        auto b = static_cast<std::uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = ((crc ^ b) & 1U) != 0;
            crc = static_cast<std::uint8_t>(crc >> 1);
            if (mix) {
                crc ^= 0x8C;
            }
            b = static_cast<std::uint8_t>(b >> 1);
        }
    }
    return crc;
}

ByteString DeviceFrame(std::uint8_t slot, const DstRecord& data) {
    ByteString frame;
    frame.reserve(kFrameSize);
    for (const std::uint8_t b : kFrameHead) {
        frame.push_back(static_cast<char>(b));
    }
    frame.push_back(static_cast<char>(slot));
    for (const std::uint8_t b : data) {
        frame.push_back(static_cast<char>(b));
    }
    frame.push_back('\0');
    frame.push_back(static_cast<char>(FrameChecksum(frame)));
    return frame;
}

ByteString UploadFrame(int row, const DstRecord& record) {
    return DeviceFrame(static_cast<std::uint8_t>(kFirstSlot + row), record);
}

ByteString DstDeleteFrame() {
    DstRecord erase;
    erase.fill(kDeleteByte);
    return DeviceFrame(kFirstSlot, erase);
}

}  // namespace velmora
