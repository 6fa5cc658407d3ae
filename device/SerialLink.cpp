// The serial link's logic that does not depend on the system: the order of
// Open's steps, the worker's start and stop, the write request, the
// generations and the reports.
#include "SerialLink.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <system_error>

namespace velmora {

// The constructor, which makes the system's Port, is in the file of each system.

CSerialLink::~CSerialLink() {
    Close();
    ReleaseEvents();
}

bool CSerialLink::Open(ILinkOwner* owner, const std::string& devicePath, int portNumber,
                       const LineSettings& line) {
    StopWorker();
    ++m_nGeneration;
    ReportStopFailure();

    m_pOwnerWnd = owner;
    m_nSendBufferSize = std::max(line.writeBufferSize, 0);
    m_pSendBuffer = std::make_unique<unsigned char[]>(m_nSendBufferSize);
    m_nPendingBytes = 0;
    m_nPortNumber = portNumber;
    m_dwEventMask = line.eventMask;
    m_nStartError = 0;

    std::string configurationError;
    {
        std::lock_guard lock(m_csPort);
        ClosePort();
        // Without its events no worker could ever be stopped: refuse like a missing device.
        m_nOpenError = RenewEvents();
        if (m_nOpenError == 0) m_nOpenError = OpenPort(devicePath);
        if (m_nOpenError != 0) return false;

        configurationError = Configure(line);
        PurgePort();
    }
    // The owner's box may run a nested event loop, where anything may happen to
    // this link, a Close included: it is shown with the lock free, and the
    // result says whether the port is still open afterwards.
    if (!configurationError.empty() && m_pOwnerWnd != nullptr) {
        m_pOwnerWnd->ReportLinkError(configurationError, false, m_nGeneration.load());
        if (!IsOpen()) m_nOpenError = kOpenCancelled;
    }
    return IsOpen();
}

bool CSerialLink::Start() {
    if (!IsOpen() || m_pWorker.joinable()) return false;
    m_bPortLost = false;
    m_bLossReported = false;
    ResetPortWorkerState();
    // The link counts as running from here, so a Close right after Start waits for it.
    m_bWorkerAlive.store(true);
    try {
        m_pWorker = std::thread(&CSerialLink::WorkerMain, this, m_nGeneration.load());
    } catch (const std::system_error& error) {
        m_bWorkerAlive.store(false);
        m_nStartError = error.code().value();
        return false;
    }
    return true;
}

void CSerialLink::QueueWrite(const ByteString& data, int count) {
    const auto limit = static_cast<int>(
        std::min<std::size_t>(data.size(), static_cast<std::size_t>(m_nSendBufferSize)));
    const int nCount = std::clamp(count, 0, limit);
    {
        std::lock_guard lock(m_csPort);
        if (nCount > 0) {
            std::memcpy(m_pSendBuffer.get(), data.data(), static_cast<std::size_t>(nCount));
        }
        m_nPendingBytes = nCount;
    }
    SignalWriteRequest();
}

void CSerialLink::Close() {
    StopWorker();
    ClosePort();
    ++m_nGeneration;
    ReportStopFailure();
}

const char* StepName(LinkStep step) {
    // In the order of LinkStep. On Linux the names stand for the POSIX steps
    // that do the same work: GetCommState tcgetattr, BuildCommDCB the line
    // settings checked and applied to a termios, SetCommState tcsetattr and
    // the settings read back, SetCommMask the modem-line query, WaitCommEvent
    // poll, ReadFile read, WriteFile a write that fails at once and its
    // result one that fails part-way.
    static constexpr const char* kNames[] = {
        "GetCommState()",
        "BuildCommDCB()",
        "SetCommState()",
        "SetCommMask()",
        "SetCommTimeouts()",
        "WaitCommEvent()",
        "GetOverlappedResults() in WaitCommEvent()",
        "WaitForMultipleObjects()",
        "ReadFile()",
        "GetOverlappedResults() in ReadFile()",
        "WriteFile()",
        "GetOverlappedResults() in WriteFile()",
        "CancelIoEx()",
    };
    static_assert(std::size(kNames) == static_cast<std::size_t>(LinkStep::CancelIoEx) + 1);
    return kNames[static_cast<std::size_t>(step)];
}

std::string CSerialLink::FormatError(const std::string& operation, const std::string& systemText,
                                     int portNumber) {
    return "WARNING:  " + operation + " Failed with the following error: \n" + systemText +
           "\nPort: " + std::to_string(portNumber) + "\n";
}

void CSerialLink::Post(unsigned message, std::uintptr_t wParam, std::uint64_t generation) {
    if (m_pOwnerWnd == nullptr) return;
    m_pOwnerWnd->PostLinkMessage(
        LinkMessage{message, wParam, static_cast<std::intptr_t>(m_nPortNumber), generation});
}

std::string CSerialLink::Warning(LinkStep step, int errorCode) const {
    return Warning(step, SystemText(errorCode));
}

std::string CSerialLink::Warning(LinkStep step, const std::string& systemText) const {
    return FormatError(StepName(step), systemText, m_nPortNumber);
}

void CSerialLink::ReportError(LinkStep step, int errorCode, std::uint64_t generation) {
    Report(Warning(step, errorCode), generation);
}

void CSerialLink::ReportFailure(LinkStep step, int errorCode, std::uint64_t generation) {
    ReportError(step, errorCode, generation);
    if (IsLostPortError(errorCode)) {
        LosePort();
        m_bLossReported = true;
    }
}

void CSerialLink::ReportWriteTimeout(long long written, int count, std::uint64_t generation) {
    Report(Warning(LinkStep::WriteFile, "The write timed out: " + std::to_string(written) + " of " +
                                            std::to_string(count) + " bytes were sent."),
           generation);
}

void CSerialLink::LosePort() {
    m_bPortLost = true;
}

void CSerialLink::Report(const std::string& text, std::uint64_t generation) {
    if (m_pOwnerWnd == nullptr) return;
    m_pOwnerWnd->ReportLinkError(text, true, generation);
}

// Waits for the worker by joining it: the shutdown event stays signalled, and the
// worker clears m_bWorkerAlive as its last act before it returns.
void CSerialLink::StopWorker() {
    SignalStop();
    if (m_pWorker.joinable()) m_pWorker.join();
}

std::string CSerialLink::NamesOfDiffering(
    std::initializer_list<std::pair<const char*, bool>> checks) {
    std::string names;
    for (const auto& [name, differs] : checks) {
        if (!differs) continue;
        if (!names.empty()) names += ", ";
        names += name;
    }
    return names;
}

}  // namespace velmora
