#include "UploadSequence.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr int kUploadFrames = kMaxRows;

// A good answer is exactly fifteen bytes whose last byte is zero; the first
// fourteen are never looked at.
bool IsGoodAnswer(const ByteString& reply) {
    return reply.size() == kReplySize && reply.back() == '\0';
}

// The quiet gap lasts at least three of the answer's mean byte spacings and
// two of its slowest: the mean is steady where the arrival of single bytes
// jitters, the slowest catches a device that pauses within its answer.
constexpr int kMeanSpacingsPerGap = 3;
constexpr int kSlowestSpacingsPerGap = 2;

}  // namespace

const char* OutcomeText(Outcome outcome) {
    switch (outcome) {
        case Outcome::Done:
            return "Done!";
        case Outcome::UnableToOpen:
            return "Unable to open serial port!";
        case Outcome::NoReply:
            return "No reply!";
        case Outcome::CommunicationError:
            return "Communication error!";
    }
    return "Communication error!";
}

BoxIcon OutcomeIcon(Outcome outcome) {
    return outcome == Outcome::Done ? BoxIcon::Information : BoxIcon::Error;
}

UploadSequence::UploadSequence(IUploadHost& host, IUploadLink& link) : m_host(host), m_link(link) {}

void UploadSequence::SetEarlyJudgement(std::optional<int> minimumGapMs, Clock clock) {
    KillQuietTimer();
    m_minimumGapMs = minimumGapMs;
    m_clock = std::move(clock);
}

// The timeout is read at every start, so a new setting applies from the next frame.
void UploadSequence::StartReplyTimer() {
    KillQuietTimer();
    m_bAwaitingAnswer = true;
    m_host.SetTimer(kReplyTimerId, m_host.Timeout());
}

// Without early judgement the quiet timer never runs and is never touched.
void UploadSequence::KillQuietTimer() {
    if (m_minimumGapMs) m_host.KillTimer(kQuietTimerId);
}

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
    StartReplyTimer();
    m_link.QueueWrite(m_frameList.front(), static_cast<int>(kFrameSize));
}

void UploadSequence::OnDstDelete() {
    m_replyBuffer.clear();
    if (!OpenAndStart()) return;
    const ByteString frame = DstDeleteFrame();
    m_nSingleCommandMode = 1;
    StartReplyTimer();
    m_link.QueueWrite(frame, static_cast<int>(kFrameSize));
}

long UploadSequence::OnLinkRxChar(std::uintptr_t wParam, std::intptr_t /*lParam*/) {
    m_replyBuffer.push_back(static_cast<char>(wParam & 0xFFU));
    if (m_minimumGapMs && m_bAwaitingAnswer) TimeEarlyJudgement();
    return 0;
}

void UploadSequence::TimeEarlyJudgement() {
    const auto now = m_clock();
    // The buffer is emptied for every frame, so its first byte starts the answer.
    if (m_replyBuffer.size() == 1) {
        m_firstByteAt = now;
        m_slowestSpacing = {};
    } else {
        m_slowestSpacing = std::max(m_slowestSpacing, now - m_lastByteAt);
    }
    m_lastByteAt = now;
    // Any further byte makes the answer too long, and then the reply timer judges it.
    if (m_replyBuffer.size() != kReplySize) {
        KillQuietTimer();
        return;
    }
    const auto mean = (now - m_firstByteAt) / static_cast<int>(kReplySize - 1);
    const auto gap =
        std::max(mean * kMeanSpacingsPerGap, m_slowestSpacing * kSlowestSpacingsPerGap);
    const auto gapMs = std::chrono::ceil<std::chrono::milliseconds>(gap).count();
    m_host.SetTimer(kQuietTimerId, static_cast<int>(std::max<long long>(*m_minimumGapMs, gapMs)));
}

void UploadSequence::OnTimer(int timerId) {
    if (timerId == kQuietTimerId) {
        if (!m_minimumGapMs) return;
        m_host.KillTimer(kQuietTimerId);
        if (!m_bAwaitingAnswer) return;
        // The quiet line judges the answer now, as the reply timer's expiry would.
        m_host.KillTimer(kReplyTimerId);
    } else if (timerId == kReplyTimerId) {
        // Killed at its first expiry, the timer acts as a one-shot.
        m_host.KillTimer(kReplyTimerId);
        KillQuietTimer();
    } else {
        return;
    }
    m_bAwaitingAnswer = false;

    if (m_nSingleCommandMode != 0) {
        m_link.Close();
        if (IsGoodAnswer(m_replyBuffer)) {
            m_host.ShowBox(Outcome::Done, {});
        } else if (m_replyBuffer.size() == kFrameSize) {
            // Twelve bytes is the frame itself coming back: nobody answered.
            m_host.ShowBox(Outcome::NoReply, {});
        } else {
            m_host.ShowBox(Outcome::CommunicationError, {});
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
    m_host.ShowBox(
        m_replyBuffer.size() == kReplySize ? Outcome::CommunicationError : Outcome::NoReply, {});
    m_nProgress = 0;
    m_host.RefreshControls();
    m_replyBuffer.clear();
}

// A new exchange takes over from any earlier one: that one's timers are killed
// first, so they can neither expire while the port is being opened nor judge
// the emptied buffer of an exchange that never started (the quiet timer of an
// answer judged early included). A worker that cannot start would leave a
// silent line: the port counts as unusable.
bool UploadSequence::OpenAndStart() {
    m_host.KillTimer(kReplyTimerId);
    KillQuietTimer();
    m_bAwaitingAnswer = false;
    const bool ready = m_link.Open(m_host.Port()) && m_link.Start();
    if (!ready) {
        m_link.Close();
        m_host.ShowBox(Outcome::UnableToOpen, m_link.OpenFailure());
    }
    return ready;
}

void UploadSequence::SendNextFrame() {
    if (m_nAcknowledged == kUploadFrames) {
        m_link.Close();
        m_host.ShowBox(Outcome::Done, {});
        return;
    }
    StartReplyTimer();
    m_link.QueueWrite(m_frameList[static_cast<std::size_t>(m_nAcknowledged)],
                      static_cast<int>(kFrameSize));
}

}  // namespace velmora
