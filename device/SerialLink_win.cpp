// The serial link on Windows: a COM port opened for overlapped transfers and
// exclusively, manual-reset events, and a worker that waits for the shutdown
// event, the port event (WaitCommEvent) and the write-request event.
#include "SerialLink.h"
// <windows.h> after the link's header: its macros (EV_RXCHAR, WM_USER, ...)
// carry the same values as the link's constants of the same names.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <utility>
#include <vector>

#include "LineSettingsDcb.h"
#include "SystemErrorText.h"
#include "win/Utf16.h"

namespace velmora {

struct CSerialLink::PortState {
    // The port-event wait's record; its event is the port event.
    OVERLAPPED ovPort{};
    // The record of every read and write, with an event of its own, so that a
    // transfer never completes (or resets) the armed port-event wait.
    OVERLAPPED ovTransfer{};
    DWORD portEvents = 0;  // filled in by the port-event wait
    COMMTIMEOUTS portTimeouts{};
    DCB lineSettings{};
    // What the port held when it was opened, put back when it closes.
    COMMTIMEOUTS foundTimeouts{};
    DCB foundLineSettings{};
    bool restoreTimeouts = false;
    bool restoreLineSettings = false;
    // The bytes of the write in progress and the byte of the read in
    // progress: the system reads and fills them until the transfer has ended,
    // so they live with the records, apart from the buffer QueueWrite fills.
    std::vector<unsigned char> outgoing;
    unsigned char incoming = 0;
};

void CSerialLink::PortStateDeleter::operator()(PortState* state) const {
    delete state;
}

namespace {

constexpr DWORD kPortTimeoutMs = 1000;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// Pause before the worker waits again after its wait itself failed.
constexpr DWORD kWaitRetryMs = 100;
// How long a cancelled read or write, a cancelled port-event wait and then
// that wait once its mask is cleared each have to end before the port is
// given up: whatever the port does, a stop ends the worker within three times
// this (a write under way, then the port-event wait).
constexpr DWORD kEndBoundMs = 500;

DWORD SystemOperationWait(DWORD count, HANDLE const* handles, DWORD milliseconds) {
    return WaitForMultipleObjects(count, handles, FALSE, milliseconds);
}

std::atomic<CSerialLink::OperationWait> g_operationWait{SystemOperationWait};

void CloseHandleOf(void*& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// The errors with which a port tells that its device is gone (an adapter
// unplugged, the far end of a mapped terminal hung up).
bool IsLossError(DWORD errorCode) {
    switch (errorCode) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_GEN_FAILURE:
        case ERROR_INVALID_HANDLE:
        case ERROR_NOT_READY:
        case ERROR_BROKEN_PIPE:
            return true;
        default:
            return false;
    }
}

// "COM12" names the port \\.\COM12 (needed from COM10 up, harmless below); a
// name already in the device namespace is taken as it is.
std::string PortName(const std::string& devicePath) {
    if (devicePath.rfind("\\\\.\\", 0) == 0 || devicePath.rfind("\\\\?\\", 0) == 0) {
        return devicePath;
    }
    return "\\\\.\\" + devicePath;
}

// The settings text of `line` for BuildCommDCB.
std::wstring SettingsText(const LineSettings& line) {
    return L"baud=" + std::to_wstring(line.baud) + L" parity=" +
           wchar_t(static_cast<unsigned char>(line.parity)) + L" data=" +
           std::to_wstring(line.dataBits) + L" stop=" + std::to_wstring(line.stopBits);
}

}  // namespace

bool BuildLineSettings(const std::wstring& settingsText, DCB& dcb) {
    // BuildCommDCB keeps what the text does not name, flow control included.
    if (!BuildCommDCBW(settingsText.c_str(), &dcb)) return false;
    dcb.fBinary = TRUE;
    dcb.fParity = dcb.Parity != NOPARITY;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    return true;
}

std::string SettingsNotTaken(const DCB& wanted, const DCB& applied) {
    return CSerialLink::NamesOfDiffering({
        {"speed", wanted.BaudRate != applied.BaudRate},
        {"data bits", wanted.ByteSize != applied.ByteSize},
        {"parity", wanted.Parity != applied.Parity || wanted.fParity != applied.fParity},
        {"stop bits", wanted.StopBits != applied.StopBits},
        {"RTS", wanted.fRtsControl != applied.fRtsControl},
        {"raw mode", wanted.fBinary != applied.fBinary || wanted.fNull != applied.fNull ||
                         wanted.fErrorChar != applied.fErrorChar ||
                         wanted.fAbortOnError != applied.fAbortOnError ||
                         wanted.fDsrSensitivity != applied.fDsrSensitivity},
        {"flow control", wanted.fOutxCtsFlow != applied.fOutxCtsFlow ||
                             wanted.fOutxDsrFlow != applied.fOutxDsrFlow ||
                             wanted.fOutX != applied.fOutX || wanted.fInX != applied.fInX ||
                             (applied.fDtrControl == DTR_CONTROL_HANDSHAKE) !=
                                 (wanted.fDtrControl == DTR_CONTROL_HANDSHAKE)},
    });
}

void CSerialLink::SetOperationWait(OperationWait wait) {
    g_operationWait.store(wait != nullptr ? wait : SystemOperationWait);
}

std::string CSerialLink::SystemText(int errorCode) {
    return SystemErrorText(static_cast<DWORD>(errorCode));
}

int CSerialLink::RenewEvents() {
    ReleaseEvents();
    // The records live as long as the link: nothing the system still completes
    // into them can land in freed memory.
    if (!m_pState) m_pState.reset(new PortState);
    void** const events[] = {&m_hPortEvent, &m_hTransferEvent, &m_hSendEvent, &m_hStopEvent};
    for (void** event : events) {
        *event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (*event == nullptr) {
            const DWORD error = GetLastError();
            ReleaseEvents();
            return static_cast<int>(error);
        }
    }
    m_pState->ovPort.hEvent = m_hPortEvent;
    m_pState->ovTransfer.hEvent = m_hTransferEvent;
    m_hWaitSet = {m_hStopEvent, m_hPortEvent, m_hSendEvent};
    return 0;
}

void CSerialLink::ReleaseEvents() {
    for (void** event : {&m_hStopEvent, &m_hSendEvent, &m_hPortEvent, &m_hTransferEvent}) {
        CloseHandleOf(*event);
    }
    m_hWaitSet = {};
}

int CSerialLink::OpenPort(const std::string& devicePath) {
    const std::optional<std::wstring> name = Utf16(PortName(devicePath));
    if (!name) return ERROR_INVALID_NAME;
    // Not shared: Windows opens a COM port for one program at a time.
    HANDLE port = CreateFileW(name->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    // Only a character device is a port: "\\.\C:\file" opens a file.
    if (GetFileType(port) != FILE_TYPE_CHAR) {
        CloseHandle(port);
        return ERROR_BAD_DEVICE;
    }
    m_hPort = port;
    return 0;
}

std::string CSerialLink::Configure(const LineSettings& line) {
    PortState& state = *m_pState;
    // Queues larger than a frame and its answer; a driver that keeps its own
    // sizes serves as well, so a refusal here is no failure.
    SetupComm(m_hPort, 4096, 4096);

    // The time-outs and line settings found here are put back at close, for
    // whoever uses the port next; time-outs that cannot be read are left as
    // this link sets them.
    state.restoreTimeouts = GetCommTimeouts(m_hPort, &state.foundTimeouts) != 0;
    state.portTimeouts = {kPortTimeoutMs, kPortTimeoutMs, kPortTimeoutMs, kPortTimeoutMs,
                          kPortTimeoutMs};
    if (!SetCommTimeouts(m_hPort, &state.portTimeouts)) {
        return Warning("SetCommTimeouts()", static_cast<int>(GetLastError()));
    }
    if (!SetCommMask(m_hPort, m_dwEventMask)) {
        return Warning("SetCommMask()", static_cast<int>(GetLastError()));
    }
    state.lineSettings = {};
    state.lineSettings.DCBlength = sizeof(DCB);
    if (!GetCommState(m_hPort, &state.lineSettings)) {
        return Warning("GetCommState()", static_cast<int>(GetLastError()));
    }
    state.foundLineSettings = state.lineSettings;
    state.restoreLineSettings = true;
    if (!BuildLineSettings(SettingsText(line), state.lineSettings)) {
        return Warning("BuildCommDCB()", static_cast<int>(GetLastError()));
    }
    if (!SetCommState(m_hPort, &state.lineSettings)) {
        return Warning("SetCommState()", static_cast<int>(GetLastError()));
    }
    // A driver may keep what it cannot do: only the settings read back tell.
    DCB applied{};
    applied.DCBlength = sizeof(DCB);
    if (!GetCommState(m_hPort, &applied)) {
        return Warning("GetCommState()", static_cast<int>(GetLastError()));
    }
    if (const std::string kept = SettingsNotTaken(state.lineSettings, applied); !kept.empty()) {
        return FormatError("SetCommState()", "The port did not take these settings: " + kept,
                           m_nPortNumber);
    }
    return {};
}

bool CSerialLink::IsOpen() const {
    return m_hPort != nullptr;
}

void CSerialLink::PurgePort() {
    PurgeComm(m_hPort, kPurgeAll);
}

// The port is left as it was found: the time-outs and line settings in force
// when it was opened come back (a port that is gone takes none, and nothing is
// reported). A port given up takes nothing more: it is closed, and the records
// it may still complete into, with their events, are kept for good.
void CSerialLink::ClosePort() {
    if (m_hPort != nullptr && m_pState && !m_bPortAbandoned) {
        PortState& state = *m_pState;
        if (state.restoreLineSettings) SetCommState(m_hPort, &state.foundLineSettings);
        if (state.restoreTimeouts) SetCommTimeouts(m_hPort, &state.foundTimeouts);
    }
    if (m_pState) {
        m_pState->restoreLineSettings = false;
        m_pState->restoreTimeouts = false;
    }
    CloseHandleOf(m_hPort);
    if (m_bPortAbandoned) {
        [[maybe_unused]] PortState* const kept = m_pState.release();
        m_hPortEvent = nullptr;
        m_hTransferEvent = nullptr;
        m_bPortAbandoned = false;
    }
}

void CSerialLink::ReportStopFailure() {
    if (m_sStopReport.empty()) return;
    Report(m_sStopReport, m_nGeneration.load());
    m_sStopReport.clear();
}

void CSerialLink::ResetWorkerState() {
    m_bWaitArmed = false;
    m_bPortLost = false;
    m_bLossReported = false;
    m_bPortAbandoned = false;
    m_sStopReport.clear();
}

void CSerialLink::SignalStop() {
    if (m_hStopEvent != nullptr) SetEvent(m_hStopEvent);
}

void CSerialLink::SignalWriteRequest() {
    if (m_hSendEvent != nullptr) SetEvent(m_hSendEvent);
}

void CSerialLink::WorkerMain(std::uint64_t generation) {
    PurgePort();
    bool waitReported = false;
    for (;;) {
        if (!m_bPortLost) ArmPortWait(generation);
        // A port given up is not waited on: a wait it never ended may still set its event.
        DWORD woken = 0;
        if (m_bPortAbandoned) {
            const HANDLE requests[] = {m_hStopEvent, m_hSendEvent};
            woken = WaitForMultipleObjects(2, requests, FALSE, INFINITE);
            if (woken == WAIT_OBJECT_0 + 1) woken = WAIT_OBJECT_0 + 2;
        } else {
            woken = WaitForMultipleObjects(static_cast<DWORD>(m_hWaitSet.size()), m_hWaitSet.data(),
                                           FALSE, INFINITE);
        }
        if (woken == WAIT_OBJECT_0) {
            DisarmPortWait(generation);
            m_bWorkerAlive.store(false);  // the last access to the link
            return;
        }
        if (woken == WAIT_OBJECT_0 + 1) {
            HandlePortEvent(generation);
        } else if (woken == WAIT_OBJECT_0 + 2) {
            WritePending(generation);
        } else {
            if (!waitReported) {
                ReportError("WaitForMultipleObjects()", static_cast<int>(GetLastError()),
                            generation);
            }
            waitReported = true;
            Sleep(kWaitRetryMs);
        }
    }
}

void CSerialLink::ArmPortWait(std::uint64_t generation) {
    if (m_bWaitArmed) return;
    PortState& state = *m_pState;
    state.portEvents = 0;
    state.ovPort.Offset = 0;
    state.ovPort.OffsetHigh = 0;
    // Completed at once or pending, the port event is signalled when it is done.
    if (WaitCommEvent(m_hPort, &state.portEvents, &state.ovPort)) {
        m_bWaitArmed = true;
        return;
    }
    DWORD error = GetLastError();
    // A port without modem lines (Wine's ports on a pseudo-terminal) cannot
    // wait for CTS or ring changes: it then waits for received bytes alone,
    // as the Linux link does on such a device.
    if (error == ERROR_NOT_SUPPORTED && (m_dwEventMask & ~DWORD{EV_RXCHAR}) != 0 &&
        SetCommMask(m_hPort, m_dwEventMask & EV_RXCHAR)) {
        if (WaitCommEvent(m_hPort, &state.portEvents, &state.ovPort)) {
            m_bWaitArmed = true;
            return;
        }
        error = GetLastError();
    }
    if (error == ERROR_IO_PENDING) {
        m_bWaitArmed = true;
        return;
    }
    // The port event will not come: the worker goes on with its other events.
    ResetEvent(m_hPortEvent);
    if (error == ERROR_INVALID_PARAMETER) return;
    ReportFailure("WaitCommEvent()", static_cast<int>(error), generation);
}

void CSerialLink::HandlePortEvent(std::uint64_t generation) {
    PortState& state = *m_pState;
    DWORD unused = 0;
    const bool completed = GetOverlappedResult(m_hPort, &state.ovPort, &unused, FALSE) != 0;
    const DWORD error = completed ? 0 : GetLastError();
    // Woken before the wait has ended (Wine may signal the event before it fills
    // in the record): the wait stays armed and its record the system's, and its
    // event stays signalled, so that the worker comes back for the result at
    // once. A reset here could lose the end of the wait for good.
    if (!completed && error == ERROR_IO_INCOMPLETE) return;
    m_bWaitArmed = false;
    ResetEvent(m_hPortEvent);
    if (!completed) {
        if (error != ERROR_OPERATION_ABORTED) {
            ReportFailure("GetOverlappedResults() in WaitCommEvent()", static_cast<int>(error),
                          generation);
        }
        return;
    }
    // The set of events, in a fixed order. A wait may also end with an empty
    // set: Wine ends it so after about a millisecond on a port whose modem
    // lines it cannot read (a pseudo-terminal), bytes or not. Received bytes
    // are therefore looked for after every completed wait, not only when the
    // set names them.
    const DWORD events = state.portEvents & m_dwEventMask;
    static constexpr std::pair<DWORD, unsigned> kLineEvents[] = {{EV_CTS, WM_LINK_CTS},
                                                                 {EV_RXFLAG, WM_LINK_RXFLAG},
                                                                 {EV_BREAK, WM_LINK_BREAK},
                                                                 {EV_ERR, WM_LINK_ERR},
                                                                 {EV_RING, WM_LINK_RING}};
    for (const auto& [bit, message] : kLineEvents) {
        if ((events & bit) != 0) Post(message, 0, generation);
    }
    if ((m_dwEventMask & EV_RXCHAR) != 0) ReadAvailable(generation);
}

void CSerialLink::DisarmPortWait(std::uint64_t generation) {
    if (!m_bWaitArmed || m_bPortAbandoned) return;
    PortState& state = *m_pState;
    const OperationWait wait = g_operationWait.load();
    const HANDLE portEvent = state.ovPort.hEvent;
    CancelIoEx(m_hPort, &state.ovPort);
    bool ended = wait(1, &portEvent, kEndBoundMs) == WAIT_OBJECT_0;
    // A driver that cannot cancel the wait ends it when the mask changes.
    if (!ended) {
        SetCommMask(m_hPort, 0);
        ended = wait(1, &portEvent, kEndBoundMs) == WAIT_OBJECT_0;
    }
    if (!ended) {
        AbandonPort("the wait for port events", generation);
        return;
    }
    // Its event is signalled: this wait for the record's last word ends at once.
    DWORD unused = 0;
    GetOverlappedResult(m_hPort, &state.ovPort, &unused, TRUE);
    m_bWaitArmed = false;
}

// Once the transfer has ended its event is signalled, and GetOverlappedResult
// may wait (bWait TRUE) for the record's last word: that wait ends at once.
CSerialLink::TransferEnd CSerialLink::AwaitTransfer(void* record, unsigned long boundMs,
                                                    const char* what, std::uint64_t generation) {
    auto* const overlapped = static_cast<OVERLAPPED*>(record);
    const OperationWait wait = g_operationWait.load();
    const HANDLE handles[] = {overlapped->hEvent, m_hStopEvent};
    const DWORD woken = wait(2, handles, boundMs);
    if (woken == WAIT_OBJECT_0) return TransferEnd::Completed;
    // Cut short by a stop, or past its bound: cancelled, and given a little
    // longer to end.
    CancelIoEx(m_hPort, overlapped);
    if (wait(1, handles, kEndBoundMs) != WAIT_OBJECT_0) {
        AbandonPort(what, generation);
        return TransferEnd::Abandoned;
    }
    return woken == WAIT_OBJECT_0 + 1 ? TransferEnd::Stopped : TransferEnd::TimedOut;
}

void CSerialLink::AbandonPort(const char* what, std::uint64_t generation) {
    // Whatever else the port still has under way is cancelled too.
    CancelIoEx(m_hPort, nullptr);
    m_bPortAbandoned = true;
    m_bWaitArmed = false;
    LosePort();
    m_bLossReported = true;
    const std::string text =
        FormatError("CancelIoEx()",
                    std::string("The port did not end ") + what +
                        " when it was cancelled; it is no longer used, and closed with the link.",
                    m_nPortNumber);
    // A worker that is stopping leaves the report to Close, whose generation the owner shows.
    if (WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0) {
        m_sStopReport = text;
    } else {
        Report(text, generation);
    }
}

void CSerialLink::ReadAvailable(std::uint64_t generation) {
    PortState& state = *m_pState;
    for (;;) {
        // Bytes that come after a stop was asked for may be dropped; a flood of
        // them must not hold the worker away from its shutdown.
        if (WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0) return;

        DWORD queryError = 0;
        COMSTAT status{};
        DWORD got = 0;
        DWORD readError = 0;
        bool pending = false;
        {
            std::lock_guard lock(m_csPort);
            DWORD lineErrors = 0;
            if (!ClearCommError(m_hPort, &lineErrors, &status)) {
                queryError = GetLastError();
            } else if (status.cbInQue > 0) {
                state.ovTransfer.Offset = 0;
                state.ovTransfer.OffsetHigh = 0;
                if (!ReadFile(m_hPort, &state.incoming, 1, &got, &state.ovTransfer)) {
                    readError = GetLastError();
                    pending = readError == ERROR_IO_PENDING;
                }
            }
        }

        if (queryError != 0) {
            if (IsLossError(queryError)) LosePort();
            return;
        }
        if (status.cbInQue == 0) return;
        const char* failedStep = readError != 0 && !pending ? "ReadFile()" : nullptr;
        if (pending) {
            // The byte is waiting, so the read ends at once; the port's read
            // time-out bounds it all the same.
            readError = 0;
            switch (AwaitTransfer(&state.ovTransfer, 2 * kPortTimeoutMs + kEndBoundMs, "a read",
                                  generation)) {
                case TransferEnd::Completed:
                    if (!GetOverlappedResult(m_hPort, &state.ovTransfer, &got, TRUE)) {
                        readError = GetLastError();
                        failedStep = "GetOverlappedResults() in ReadFile()";
                    }
                    break;
                case TransferEnd::TimedOut:
                    readError = ERROR_TIMEOUT;
                    failedStep = "GetOverlappedResults() in ReadFile()";
                    break;
                case TransferEnd::Stopped:
                case TransferEnd::Abandoned:
                    return;
            }
        }
        if (failedStep == nullptr && got == 1) {
            Post(WM_LINK_RXCHAR, state.incoming, generation);
            continue;
        }
        if (failedStep != nullptr) {
            ReportFailure(failedStep, static_cast<int>(readError), generation);
        }
        // A read that timed out without a byte: the next wake-up tries again.
        return;
    }
}

void CSerialLink::WritePending(std::uint64_t generation) {
    ResetEvent(m_hSendEvent);
    // A lost port whose loss was already reported drops its write requests quietly.
    if (m_bPortLost && m_bLossReported) return;

    PortState& state = *m_pState;
    const char* failedStep = nullptr;
    DWORD errorCode = 0;
    bool pending = false;
    int nCount = 0;
    DWORD written = 0;
    {
        // The bytes are taken out of the write buffer: the next QueueWrite
        // fills it while this write is still under way.
        std::lock_guard lock(m_csPort);
        nCount = m_nPendingBytes;
        state.outgoing.assign(m_pSendBuffer.get(), m_pSendBuffer.get() + nCount);
        // Stale input is discarded here and never delivered: whatever arrives from
        // now on answers this write.
        PurgeComm(m_hPort, kPurgeAll);
        state.ovTransfer.Offset = 0;
        state.ovTransfer.OffsetHigh = 0;
        if (!WriteFile(m_hPort, state.outgoing.data(), static_cast<DWORD>(nCount), &written,
                       &state.ovTransfer)) {
            errorCode = GetLastError();
            pending = errorCode == ERROR_IO_PENDING;
            if (!pending) failedStep = "WriteFile()";
        }
    }

    bool timedOut = false;
    if (pending) {
        // The port's write time-out ends a write that the line does not take in
        // time; a stop cuts it short at once, quietly: the exchange is over.
        errorCode = 0;
        const DWORD bound = kPortTimeoutMs + kPortTimeoutMs * static_cast<DWORD>(nCount);
        switch (AwaitTransfer(&state.ovTransfer, bound + kEndBoundMs, "a write", generation)) {
            case TransferEnd::Completed:
                if (!GetOverlappedResult(m_hPort, &state.ovTransfer, &written, TRUE)) {
                    errorCode = GetLastError();
                    failedStep = "GetOverlappedResults() in WriteFile()";
                }
                break;
            case TransferEnd::TimedOut:
                GetOverlappedResult(m_hPort, &state.ovTransfer, &written, TRUE);
                timedOut = true;
                break;
            case TransferEnd::Stopped:
            case TransferEnd::Abandoned:
                return;
        }
    }

    if (failedStep != nullptr) {
        ReportFailure(failedStep, static_cast<int>(errorCode), generation);
        return;
    }
    // The write time-out ends a write that the port does not take in time: it
    // is told as such, not left to look like a device that does not answer.
    if (timedOut || static_cast<int>(written) < nCount) {
        Report(FormatError("WriteFile()",
                           "The write timed out: " + std::to_string(written) + " of " +
                               std::to_string(nCount) + " bytes were sent.",
                           m_nPortNumber),
               generation);
    }
}

// A lost port is no longer waited on: its errors would wake the worker again
// and again. Write requests still come, and the first one after an unreported
// loss tells the owner.
void CSerialLink::LosePort() {
    m_bPortLost = true;
}

void CSerialLink::ReportFailure(const std::string& operation, int errorCode,
                                std::uint64_t generation) {
    ReportError(operation, errorCode, generation);
    if (IsLossError(static_cast<DWORD>(errorCode))) {
        LosePort();
        m_bLossReported = true;
    }
}

}  // namespace velmora
