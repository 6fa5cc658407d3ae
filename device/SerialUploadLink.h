// The upload sequence's link to a serial port.
#pragma once

#include <functional>
#include <string>

#include "UploadSequence.h"

namespace velmora {

class CSerialLink;
class ILinkOwner;

// Binds a CSerialLink to the sequence with the window's line settings; the port
// number is turned into a device path by `resolvePath`.
class SerialUploadLink : public IUploadLink {
  public:
    SerialUploadLink(CSerialLink& link, ILinkOwner& owner,
                     std::function<std::string(int)> resolvePath);
    bool Open(int portNumber) override;
    std::string OpenFailure() const override;
    bool Start() override;
    void QueueWrite(const ByteString& frame, int count) override;
    void Close() override;

  private:
    CSerialLink& m_link;
    ILinkOwner& m_owner;
    std::function<std::string(int)> m_resolvePath;
    std::string m_devicePath;  // of the last Open
};

}  // namespace velmora
