// The 12-byte frames sent to the device and their CRC-8 checksum.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "DateTable.h"

namespace velmora {

// Byte strings may hold zero bytes; their length counts every byte.
using ByteString = std::string;

constexpr std::size_t kFrameSize = 12;
constexpr std::size_t kReplySize = 15;
constexpr std::uint8_t kFirstSlot = 101;

// CRC-8, reflected polynomial 0x8C, register started at 0x22, no final XOR.
std::uint8_t FrameChecksum(std::string_view bytes);

// 7E 0C 2B 00 slot d0 d1 d2 d3 d4 00 checksum.
ByteString DeviceFrame(std::uint8_t slot, const DstRecord& data);

// The frame of table row r (0..14): slot 101 + r, the row's record as data.
ByteString UploadFrame(int row, const DstRecord& record);

// Slot 101 and five 0xFE data bytes.
ByteString DstDeleteFrame();

}  // namespace velmora
