#include "SerialLink.h"
#include "UploadSequence.h"

#include <utility>

namespace velmora {

namespace {

// The line every exchange uses: 1200 baud, no parity, 8 data bits, 1 stop bit;
// the worker wakes for received bytes and CTS changes; one frame fits the buffer
// many times over.
constexpr int kBaud = 1200;
constexpr char kParity = 'N';
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr std::uint32_t kEventMask = EV_RXCHAR | EV_CTS;
constexpr int kWriteBufferSize = 512;

}  // namespace

SerialUploadLink::SerialUploadLink(CSerialLink& link, ILinkOwner& owner,
                                   std::function<std::string(int)> resolvePath)
    : m_link(link), m_owner(owner), m_resolvePath(std::move(resolvePath)) {}

bool SerialUploadLink::Open(int portNumber) {
    return m_link.Open(&m_owner, m_resolvePath(portNumber), portNumber, kBaud, kParity,
                       kDataBits, kStopBits, kEventMask, kWriteBufferSize);
}

bool SerialUploadLink::Start() { return m_link.Start(); }

void SerialUploadLink::QueueWrite(const ByteString& frame, int count) {
    m_link.QueueWrite(frame, count);
}

void SerialUploadLink::Close() { m_link.Close(); }

}  // namespace velmora
