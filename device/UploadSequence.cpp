#include "UploadSequence.h"

namespace velmora {

namespace {

constexpr int kUploadFrames = kMaxRows;
constexpr char kUnableToOpen[] = "Unable to open serial port!";
constexpr char kDone[] = "Done!";
constexpr char kNoReply[] = "No reply!";
constexpr char kCommunicationError[] = "Communication error!";

// A good answer is exactly fifteen bytes whose last byte is zero; the first
// fourteen are never looked at.
bool IsGoodAnswer(const ByteString& reply) {
    return reply.size() == kReplySize && reply.back() == '\0';
}

// The timeout is read at every start, so a new setting applies from the next frame.
void StartReplyTimer(IUploadHost& host) {
    host.SetTimer(kReplyTimerId, host.Timeout());
}

}  // namespace

UploadSequence::UploadSequence(IUploadHost& host, IUploadLink& link)
    : m_host(host), m_link(link) {}

void UploadSequence::OnSend() {
    const std::vector<DstRecord> records = m_host.ReadRecords();
    // The Send button is enabled only with a full table; a shorter one would
    // leave frames to send that do not exist.
    if (records.size() != static_cast<std::size_t>(kUploadFrames)) {
        return;
    }
    m_frameList.clear();
    for (int row = 0; row < kUploadFrames; ++row) {
        m_frameList.push_back(UploadFrame(row, records[static_cast<std::size_t>(row)]));
    }
    m_nAcknowledged = 0;
    m_nProgress = 1;
    m_host.RefreshControls();
    m_replyBuffer.clear();

    if (!OpenAndStart()) return;
    m_nSingleCommandMode = 0;
    StartReplyTimer(m_host);
    m_link.QueueWrite(m_frameList.front(), static_cast<int>(kFrameSize));
}

void UploadSequence::OnDstDelete() {
    m_replyBuffer.clear();
    if (!OpenAndStart()) return;
    const ByteString frame = DstDeleteFrame();
    m_nSingleCommandMode = 1;
    StartReplyTimer(m_host);
    m_link.QueueWrite(frame, static_cast<int>(kFrameSize));
}

long UploadSequence::OnLinkRxChar(std::uintptr_t wParam, std::intptr_t /*lParam*/) {
    m_replyBuffer.push_back(static_cast<char>(wParam & 0xFFU));
    return 0;
}

void UploadSequence::OnTimer(int timerId) {
    if (timerId != kReplyTimerId) {
        return;
    }
    // Killed at its first expiry, the timer acts as a one-shot.
    m_host.KillTimer(timerId);

    if (m_nSingleCommandMode != 0) {
        m_link.Close();
        if (IsGoodAnswer(m_replyBuffer)) {
            m_host.ShowBox(kDone, BoxIcon::Information, {});
        } else if (m_replyBuffer.size() == kFrameSize) {
            // Twelve bytes is the frame itself coming back: nobody answered.
            m_host.ShowBox(kNoReply, BoxIcon::Error, {});
        } else {
            m_host.ShowBox(kCommunicationError, BoxIcon::Error, {});
        }
        m_nSingleCommandMode = 0;
        return;
    }

    if (IsGoodAnswer(m_replyBuffer)) {
        ++m_nAcknowledged;
        // Refreshed before the progress advances: the counter shows 1, 1, 2 ... 15.
        m_host.RefreshControls();
        SendNextFrame();
        ++m_nProgress;
        // The next frame is already queued, but its answer can only arrive
        // once this handler has returned, so emptying the buffer now loses none.
        m_replyBuffer.clear();
        return;
    }

    m_link.Close();
    m_host.ShowBox(m_replyBuffer.size() == kReplySize ? kCommunicationError : kNoReply,
                   BoxIcon::Error, {});
    m_nProgress = 0;
    m_host.RefreshControls();
    m_replyBuffer.clear();
}

// A new exchange takes over from any earlier one: that one's timer is killed
// first, so it can neither expire while the port is being opened nor judge the
// emptied buffer of an exchange that never started. A worker that cannot start
// would leave a silent line: the port counts as unusable.
bool UploadSequence::OpenAndStart() {
    m_host.KillTimer(kReplyTimerId);
    const bool ready = m_link.Open(m_host.Port()) && m_link.Start();
    if (!ready) {
        m_link.Close();
        m_host.ShowBox(kUnableToOpen, BoxIcon::Error, m_link.OpenFailure());
    }
    return ready;
}

void UploadSequence::SendNextFrame() {
    if (m_nAcknowledged == kUploadFrames) {
        m_link.Close();
        m_host.ShowBox(kDone, BoxIcon::Information, {});
        return;
    }
    StartReplyTimer(m_host);
    m_link.QueueWrite(m_frameList[static_cast<std::size_t>(m_nAcknowledged)],
                      static_cast<int>(kFrameSize));
}

}  // namespace velmora
