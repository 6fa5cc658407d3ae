#include "DeviceFrame.h"

#include <algorithm>
#include <iterator>

namespace velmora {

namespace {

constexpr std::uint8_t kFrameHead[] = {0x7E, 0x0C, 0x2B, 0x00};
constexpr std::uint8_t kDeleteByte = 0xFE;

// The register after one byte, bit by bit: reflected polynomial 0x8C.
constexpr std::uint8_t ChecksumStep(std::uint8_t crc, std::uint8_t b) {
    for (int bit = 0; bit < 8; ++bit) {
        const bool mix = ((crc ^ b) & 1U) != 0;
        crc = static_cast<std::uint8_t>(crc >> 1);
        if (mix) crc ^= 0x8C;
        b = static_cast<std::uint8_t>(b >> 1);
    }
    return crc;
}

// The step depends only on crc ^ byte, so one table of the 256 values of
// ChecksumStep(x, 0) does a byte at a time.
struct ChecksumTable {
    std::uint8_t next[256];
};
constexpr ChecksumTable kChecksumTable = [] {
    ChecksumTable table{};
    for (int x = 0; x < 256; ++x) table.next[x] = ChecksumStep(static_cast<std::uint8_t>(x), 0);
    return table;
}();

}  // namespace

std::uint8_t FrameChecksum(std::string_view bytes) {
    std::uint8_t crc = 0x22;
    for (const char c : bytes) crc = kChecksumTable.next[crc ^ static_cast<std::uint8_t>(c)];
    return crc;
}

ByteString DeviceFrame(std::uint8_t slot, const DstRecord& data) {
    ByteString frame(kFrameSize, '\0');
    std::copy(std::begin(kFrameHead), std::end(kFrameHead), frame.begin());
    frame[4] = static_cast<char>(slot);
    std::copy(data.begin(), data.end(), frame.begin() + 5);
    // Byte 10 stays 0; the last is the checksum of the eleven before it.
    frame[kFrameSize - 1] =
        static_cast<char>(FrameChecksum(std::string_view(frame).substr(0, kFrameSize - 1)));
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
