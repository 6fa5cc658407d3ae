#include "SerialUploadLink.h"

#include <system_error>
#include <utility>

#include "SerialLink.h"
#include "SerialPorts.h"

namespace velmora {

SerialUploadLink::SerialUploadLink(CSerialLink& link, ILinkOwner& owner,
                                   std::function<std::string(int)> resolvePath)
    : m_link(link), m_owner(owner), m_resolvePath(std::move(resolvePath)) {}

bool SerialUploadLink::Open(int portNumber) {
    m_devicePath = m_resolvePath(portNumber);
    return m_link.Open(&m_owner, m_devicePath, portNumber, kUploadLine);
}

std::string SerialUploadLink::OpenFailure() const {
    const int startError = m_link.StartError();
    return ShownPath(m_devicePath) + ": " +
           (startError != 0 ? "the link's worker thread could not start: " +
                                  std::error_code(startError, std::generic_category()).message()
                            : DescribeOpenFailure(m_devicePath, m_link.OpenError()));
}

bool SerialUploadLink::Start() {
    return m_link.Start();
}

void SerialUploadLink::QueueWrite(const ByteString& frame, int count) {
    m_link.QueueWrite(frame, count);
}

void SerialUploadLink::Close() {
    m_link.Close();
}

}  // namespace velmora
