// The Windows link's worker: its wait on the shutdown event, the port event
// and the write-request event, the port-event wait it arms and ends, its reads
// and its writes, and the port it gives up when the port does not end them.
#include <atomic>
#include <optional>
#include <utility>

#include "SerialLink_win.h"

namespace velmora {

namespace {

// Pause before the worker waits again after its wait itself failed.
constexpr DWORD kWaitRetryMs = 100;

DWORD SystemOperationWait(DWORD count, const HANDLE* handles, DWORD milliseconds) {
    return WaitForMultipleObjects(count, handles, FALSE, milliseconds);
}

std::atomic<OperationWait> g_operationWait{SystemOperationWait};

}  // namespace

void SetOperationWait(OperationWait wait) {
    g_operationWait.store(wait != nullptr ? wait : SystemOperationWait);
}

void CSerialLink::WorkerMain(std::uint64_t generation) {
    Port& port = *m_pPort;
    PurgePort();
    bool waitReported = false;
    for (;;) {
        if (!m_bPortLost) port.ArmPortWait(*this, generation);
        // A port given up is not waited on: a wait it never ended may still set its event.
        DWORD woken = 0;
        if (port.abandoned) {
            const HANDLE requests[] = {port.m_hStopEvent, port.m_hSendEvent};
            woken = WaitForMultipleObjects(2, requests, FALSE, INFINITE);
            if (woken == WAIT_OBJECT_0 + 1) woken = WAIT_OBJECT_0 + 2;
        } else {
            woken = WaitForMultipleObjects(static_cast<DWORD>(port.m_hWaitSet.size()),
                                           port.m_hWaitSet.data(), FALSE, INFINITE);
        }
        if (woken == WAIT_OBJECT_0) {
            port.DisarmPortWait(*this, generation);
            m_bWorkerAlive.store(false);  // the last access to the link
            return;
        }
        if (woken == WAIT_OBJECT_0 + 1) {
            port.HandlePortEvent(*this, generation);
        } else if (woken == WAIT_OBJECT_0 + 2) {
            WritePending(generation);
        } else {
            if (!waitReported) {
                ReportError(LinkStep::WaitForMultipleObjects, static_cast<int>(GetLastError()),
                            generation);
            }
            waitReported = true;
            Sleep(kWaitRetryMs);
        }
    }
}

void CSerialLink::Port::ArmPortWait(CSerialLink& link, std::uint64_t generation) {
    if (waitArmed) return;
    PortRecords& state = *records;
    state.portEvents = 0;
    state.m_ovPort.Offset = 0;
    state.m_ovPort.OffsetHigh = 0;
    // Completed at once or pending, the port event is signalled when it is done.
    if (WaitCommEvent(m_hPort, &state.portEvents, &state.m_ovPort)) {
        waitArmed = true;
        return;
    }
    DWORD error = GetLastError();
    // A port without modem lines (Wine's ports on a pseudo-terminal) cannot
    // wait for CTS or ring changes: it then waits for received bytes alone,
    // as the Linux link does on such a device.
    const DWORD mask = link.m_dwEventMask;
    if (error == ERROR_NOT_SUPPORTED && (mask & ~DWORD{LinkEvent::RxChar}) != 0 &&
        SetCommMask(m_hPort, mask & LinkEvent::RxChar)) {
        if (WaitCommEvent(m_hPort, &state.portEvents, &state.m_ovPort)) {
            waitArmed = true;
            return;
        }
        error = GetLastError();
    }
    if (error == ERROR_IO_PENDING) {
        waitArmed = true;
        return;
    }
    // The port event will not come: the worker goes on with its other events.
    ResetEvent(portEvent);
    if (error == ERROR_INVALID_PARAMETER) return;
    link.ReportFailure(LinkStep::WaitCommEvent, static_cast<int>(error), generation);
}

void CSerialLink::Port::HandlePortEvent(CSerialLink& link, std::uint64_t generation) {
    PortRecords& state = *records;
    DWORD unused = 0;
    const bool completed = GetOverlappedResult(m_hPort, &state.m_ovPort, &unused, FALSE) != 0;
    const DWORD error = completed ? 0 : GetLastError();
    // Woken before the wait has ended (Wine may signal the event before it fills
    // in the record): the wait stays armed and its record the system's, and its
    // event stays signalled, so that the worker comes back for the result at
    // once. A reset here could lose the end of the wait for good.
    if (!completed && error == ERROR_IO_INCOMPLETE) return;
    waitArmed = false;
    ResetEvent(portEvent);
    if (!completed) {
        if (error != ERROR_OPERATION_ABORTED) {
            link.ReportFailure(LinkStep::WaitCommEventResult, static_cast<int>(error), generation);
        }
        return;
    }
    // The set of events, in a fixed order. A wait may also end with an empty
    // set: Wine ends it so after about a millisecond on a port whose modem
    // lines it cannot read (a pseudo-terminal), bytes or not. Received bytes
    // are therefore looked for after every completed wait, not only when the
    // set names them.
    const DWORD events = state.portEvents & link.m_dwEventMask;
    static constexpr std::pair<DWORD, unsigned> kLineEvents[] = {
        {LinkEvent::Cts, WM_LINK_CTS},
        {LinkEvent::RxFlag, WM_LINK_RXFLAG},
        {LinkEvent::Break, WM_LINK_BREAK},
        {LinkEvent::Err, WM_LINK_ERR},
        {LinkEvent::Ring, WM_LINK_RING}};
    for (const auto& [bit, message] : kLineEvents) {
        if ((events & bit) != 0) link.Post(message, 0, generation);
    }
    if ((link.m_dwEventMask & LinkEvent::RxChar) != 0) link.ReadAvailable(generation);
}

void CSerialLink::Port::DisarmPortWait(CSerialLink& link, std::uint64_t generation) {
    if (!waitArmed || abandoned) return;
    PortRecords& state = *records;
    const OperationWait wait = g_operationWait.load();
    const HANDLE event = state.m_ovPort.hEvent;
    CancelIoEx(m_hPort, &state.m_ovPort);
    bool ended = wait(1, &event, kEndBoundMs) == WAIT_OBJECT_0;
    // A driver that cannot cancel the wait ends it when the mask changes.
    if (!ended) {
        SetCommMask(m_hPort, 0);
        ended = wait(1, &event, kEndBoundMs) == WAIT_OBJECT_0;
    }
    if (!ended) {
        AbandonPort(link, "the wait for port events", generation);
        return;
    }
    // Its event is signalled: this wait for the record's last word ends at once.
    DWORD unused = 0;
    GetOverlappedResult(m_hPort, &state.m_ovPort, &unused, TRUE);
    waitArmed = false;
}

// Once the transfer has ended its event is signalled, and GetOverlappedResult
// may wait (bWait TRUE) for the record's last word: that wait ends at once.
CSerialLink::Port::TransferEnd CSerialLink::Port::FinishTransfer(CSerialLink& link, DWORD boundMs,
                                                                 const char* what,
                                                                 std::uint64_t generation,
                                                                 DWORD& transferred, DWORD& error) {
    OVERLAPPED& record = records->ovTransfer;
    const OperationWait wait = g_operationWait.load();
    const HANDLE handles[] = {record.hEvent, m_hStopEvent};
    const DWORD woken = wait(2, handles, boundMs);
    if (woken == WAIT_OBJECT_0) {
        if (!GetOverlappedResult(m_hPort, &record, &transferred, TRUE)) error = GetLastError();
        return TransferEnd::Completed;
    }
    // Cut short by a stop, or past its bound: cancelled, and given a little
    // longer to end.
    CancelIoEx(m_hPort, &record);
    if (wait(1, handles, kEndBoundMs) != WAIT_OBJECT_0) {
        AbandonPort(link, what, generation);
        return TransferEnd::Abandoned;
    }
    if (woken == WAIT_OBJECT_0 + 1) return TransferEnd::Stopped;
    GetOverlappedResult(m_hPort, &record, &transferred, TRUE);
    return TransferEnd::TimedOut;
}

void CSerialLink::Port::AbandonPort(CSerialLink& link, const char* what, std::uint64_t generation) {
    // Whatever else the port still has under way is cancelled too.
    CancelIoEx(m_hPort, nullptr);
    abandoned = true;
    waitArmed = false;
    link.LosePort();
    link.m_bLossReported = true;
    const std::string text =
        link.Warning(LinkStep::CancelIoEx,
                     std::string("The port did not end ") + what +
                         " when it was cancelled; it is no longer used, and closed with the link.");
    // A worker that is stopping leaves the report to Close, whose generation the owner shows.
    if (WaitForSingleObject(m_hStopEvent, 0) == WAIT_OBJECT_0) {
        stopReport = text;
    } else {
        link.Report(text, generation);
    }
}

void CSerialLink::ReadAvailable(std::uint64_t generation) {
    Port& port = *m_pPort;
    PortRecords& state = *port.records;
    for (;;) {
        // Bytes that come after a stop was asked for may be dropped; a flood of
        // them must not hold the worker away from its shutdown.
        if (WaitForSingleObject(port.m_hStopEvent, 0) == WAIT_OBJECT_0) return;

        DWORD queryError = 0;
        COMSTAT status{};
        DWORD got = 0;
        DWORD readError = 0;
        bool pending = false;
        {
            std::lock_guard lock(m_csPort);
            DWORD lineErrors = 0;
            if (!ClearCommError(port.m_hPort, &lineErrors, &status)) {
                queryError = GetLastError();
            } else if (status.cbInQue > 0) {
                state.ovTransfer.Offset = 0;
                state.ovTransfer.OffsetHigh = 0;
                if (!ReadFile(port.m_hPort, &state.incoming, 1, &got, &state.ovTransfer)) {
                    readError = GetLastError();
                    pending = readError == ERROR_IO_PENDING;
                }
            }
        }

        if (queryError != 0) {
            if (IsLostPortError(static_cast<int>(queryError))) LosePort();
            return;
        }
        if (status.cbInQue == 0) return;
        std::optional<LinkStep> failedStep;
        if (readError != 0 && !pending) failedStep = LinkStep::ReadFile;
        if (pending) {
            // The byte is waiting, so the read ends at once; the port's read
            // time-out bounds it all the same.
            readError = 0;
            switch (port.FinishTransfer(*this, 2 * kPortTimeoutMs + kEndBoundMs, "a read",
                                        generation, got, readError)) {
                case Port::TransferEnd::Completed:
                    if (readError != 0) failedStep = LinkStep::ReadFileResult;
                    break;
                case Port::TransferEnd::TimedOut:
                    readError = ERROR_TIMEOUT;
                    failedStep = LinkStep::ReadFileResult;
                    break;
                case Port::TransferEnd::Stopped:
                case Port::TransferEnd::Abandoned:
                    return;
            }
        }
        if (!failedStep && got == 1) {
            Post(WM_LINK_RXCHAR, state.incoming, generation);
            continue;
        }
        if (failedStep) ReportFailure(*failedStep, static_cast<int>(readError), generation);
        // A read that timed out without a byte: the next wake-up tries again.
        return;
    }
}

void CSerialLink::WritePending(std::uint64_t generation) {
    Port& port = *m_pPort;
    ResetEvent(port.m_hSendEvent);
    // A lost port whose loss was already reported drops its write requests quietly.
    if (m_bPortLost && m_bLossReported) return;

    PortRecords& state = *port.records;
    std::optional<LinkStep> failedStep;
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
        PurgeComm(port.m_hPort, kPurgeAll);
        state.ovTransfer.Offset = 0;
        state.ovTransfer.OffsetHigh = 0;
        if (!WriteFile(port.m_hPort, state.outgoing.data(), static_cast<DWORD>(nCount), &written,
                       &state.ovTransfer)) {
            errorCode = GetLastError();
            pending = errorCode == ERROR_IO_PENDING;
            if (!pending) failedStep = LinkStep::WriteFile;
        }
    }

    bool timedOut = false;
    if (pending) {
        // The port's write time-out ends a write that the line does not take in
        // time; a stop cuts it short at once, quietly: the exchange is over.
        errorCode = 0;
        const DWORD bound = kPortTimeoutMs + kPortTimeoutMs * static_cast<DWORD>(nCount);
        switch (port.FinishTransfer(*this, bound + kEndBoundMs, "a write", generation, written,
                                    errorCode)) {
            case Port::TransferEnd::Completed:
                if (errorCode != 0) failedStep = LinkStep::WriteFileResult;
                break;
            case Port::TransferEnd::TimedOut:
                timedOut = true;
                break;
            case Port::TransferEnd::Stopped:
            case Port::TransferEnd::Abandoned:
                return;
        }
    }

    if (failedStep) {
        ReportFailure(*failedStep, static_cast<int>(errorCode), generation);
        return;
    }
    // The write time-out ends a write that the port does not take in time.
    if (timedOut || static_cast<int>(written) < nCount) {
        ReportWriteTimeout(written, nCount, generation);
    }
}

}  // namespace velmora
