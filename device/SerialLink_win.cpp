// The serial link on Windows: a COM port opened for overlapped transfers and
// exclusively, its line set up and put back, and its events. The worker is in
// SerialLink_win_worker.cpp.
#include "SerialLink_win.h"

#include <optional>
#include <string>

#include "LineSettingsDcb.h"
#include "win/SystemErrorText.h"
#include "win/Utf16.h"

namespace velmora {

// The link's line events are the system's comm events under names of their own.
static_assert(LinkEvent::RxChar == EV_RXCHAR && LinkEvent::RxFlag == EV_RXFLAG &&
              LinkEvent::Cts == EV_CTS && LinkEvent::Break == EV_BREAK &&
              LinkEvent::Err == EV_ERR && LinkEvent::Ring == EV_RING);
static_assert(kLinkMessageBase == WM_USER);

namespace {

void CloseHandleOf(HANDLE& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
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

CSerialLink::CSerialLink() : m_pPort(new Port) {}

void CSerialLink::PortDeleter::operator()(Port* port) const {
    delete port;
}

const int CSerialLink::kOpenCancelled = ERROR_CANCELLED;

std::string CSerialLink::SystemText(int errorCode) {
    return SystemErrorText(static_cast<DWORD>(errorCode));
}

// The errors with which a port tells that its device is gone (an adapter
// unplugged, the far end of a mapped terminal hung up).
bool CSerialLink::IsLostPortError(int errorCode) {
    switch (static_cast<DWORD>(errorCode)) {
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

int CSerialLink::RenewEvents() {
    ReleaseEvents();
    Port& port = *m_pPort;
    // The records live as long as the link: nothing the system still completes
    // into them can land in freed memory.
    if (!port.records) port.records = std::make_unique<PortRecords>();
    HANDLE* const events[] = {&port.portEvent, &port.transferEvent, &port.m_hSendEvent,
                              &port.m_hStopEvent};
    for (HANDLE* event : events) {
        *event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (*event == nullptr) {
            const DWORD error = GetLastError();
            ReleaseEvents();
            return static_cast<int>(error);
        }
    }
    port.records->m_ovPort.hEvent = port.portEvent;
    port.records->ovTransfer.hEvent = port.transferEvent;
    port.m_hWaitSet = {port.m_hStopEvent, port.portEvent, port.m_hSendEvent};
    return 0;
}

void CSerialLink::ReleaseEvents() {
    Port& port = *m_pPort;
    for (HANDLE* event :
         {&port.m_hStopEvent, &port.m_hSendEvent, &port.portEvent, &port.transferEvent}) {
        CloseHandleOf(*event);
    }
    port.m_hWaitSet = {};
}

int CSerialLink::OpenPort(const std::string& devicePath) {
    const std::optional<std::wstring> name = Utf16(PortName(devicePath));
    if (!name) return ERROR_INVALID_NAME;
    // Not shared: Windows opens a COM port for one program at a time.
    HANDLE handle = CreateFileW(name->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
    // Only a character device is a port: "\\.\C:\file" opens a file.
    if (GetFileType(handle) != FILE_TYPE_CHAR) {
        CloseHandle(handle);
        return ERROR_BAD_DEVICE;
    }
    m_pPort->m_hPort = handle;
    return 0;
}

std::string CSerialLink::Configure(const LineSettings& line) {
    const HANDLE handle = m_pPort->m_hPort;
    PortRecords& state = *m_pPort->records;
    const auto failed = [this](LinkStep step) {
        return Warning(step, static_cast<int>(GetLastError()));
    };
    // Queues larger than a frame and its answer; a driver that keeps its own
    // sizes serves as well, so a refusal here is no failure.
    SetupComm(handle, 4096, 4096);

    // The time-outs and line settings found here are put back at close, for
    // whoever uses the port next; time-outs that cannot be read are left as
    // this link sets them.
    state.restoreTimeouts = GetCommTimeouts(handle, &state.foundTimeouts) != 0;
    state.m_portTimeouts = {kPortTimeoutMs, kPortTimeoutMs, kPortTimeoutMs, kPortTimeoutMs,
                            kPortTimeoutMs};
    if (!SetCommTimeouts(handle, &state.m_portTimeouts)) return failed(LinkStep::SetCommTimeouts);
    if (!SetCommMask(handle, m_dwEventMask)) return failed(LinkStep::SetCommMask);
    state.m_lineSettings = {};
    state.m_lineSettings.DCBlength = sizeof(DCB);
    if (!GetCommState(handle, &state.m_lineSettings)) return failed(LinkStep::GetCommState);
    state.foundLineSettings = state.m_lineSettings;
    state.restoreLineSettings = true;
    if (!BuildLineSettings(SettingsText(line), state.m_lineSettings)) {
        return failed(LinkStep::BuildCommDCB);
    }
    if (!SetCommState(handle, &state.m_lineSettings)) return failed(LinkStep::SetCommState);
    // A driver may keep what it cannot do: only the settings read back tell.
    DCB applied{};
    applied.DCBlength = sizeof(DCB);
    if (!GetCommState(handle, &applied)) return failed(LinkStep::GetCommState);
    if (const std::string kept = SettingsNotTaken(state.m_lineSettings, applied); !kept.empty()) {
        return Warning(LinkStep::SetCommState, "The port did not take these settings: " + kept);
    }
    return {};
}

bool CSerialLink::IsOpen() const {
    return m_pPort->m_hPort != nullptr;
}

void CSerialLink::PurgePort() {
    PurgeComm(m_pPort->m_hPort, kPurgeAll);
}

// The port is left as it was found: the time-outs and line settings in force
// when it was opened come back (a port that is gone takes none, and nothing is
// reported). A port given up takes nothing more: it is closed, and the records
// it may still complete into, with their events, are kept for good.
void CSerialLink::ClosePort() {
    Port& port = *m_pPort;
    PortRecords* const state = port.records.get();
    if (port.m_hPort != nullptr && state != nullptr && !port.abandoned) {
        if (state->restoreLineSettings) SetCommState(port.m_hPort, &state->foundLineSettings);
        if (state->restoreTimeouts) SetCommTimeouts(port.m_hPort, &state->foundTimeouts);
    }
    if (state != nullptr) {
        state->restoreLineSettings = false;
        state->restoreTimeouts = false;
    }
    CloseHandleOf(port.m_hPort);
    if (port.abandoned) {
        [[maybe_unused]] PortRecords* const kept = port.records.release();
        port.portEvent = nullptr;
        port.transferEvent = nullptr;
        port.abandoned = false;
    }
}

void CSerialLink::ReportStopFailure() {
    std::string& report = m_pPort->stopReport;
    if (report.empty()) return;
    Report(report, m_nGeneration.load());
    report.clear();
}

void CSerialLink::ResetPortWorkerState() {
    m_pPort->waitArmed = false;
    m_pPort->abandoned = false;
    m_pPort->stopReport.clear();
}

void CSerialLink::SignalStop() {
    if (m_pPort->m_hStopEvent != nullptr) SetEvent(m_pPort->m_hStopEvent);
}

void CSerialLink::SignalWriteRequest() {
    if (m_pPort->m_hSendEvent != nullptr) SetEvent(m_pPort->m_hSendEvent);
}

}  // namespace velmora
