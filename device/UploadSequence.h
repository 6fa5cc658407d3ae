// The exchange of frames and answers with the device: Send uploads fifteen
// frames, DST Delete sends one; after each frame the reply timer runs one full
// timeout period and its expiry judges what arrived.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DeviceFrame.h"

namespace velmora {

constexpr int kReplyTimerId = 101;  // ReplyTimer
// Runs only with early judgement: the quiet gap after a complete answer.
constexpr int kQuietTimerId = 102;
// The shortest quiet gap after which a complete answer is judged early.
constexpr int kDefaultQuietGapMs = 30;

enum class BoxIcon { Error, Information };

// How an exchange ends; each has one fixed text, shown in its box.
enum class Outcome { Done, UnableToOpen, NoReply, CommunicationError };
// "Done!", "Unable to open serial port!", "No reply!", "Communication error!".
const char* OutcomeText(Outcome outcome);
// Information for Done, Error for the others.
BoxIcon OutcomeIcon(Outcome outcome);
// The exit code velmora-cli ends with: 0 for Done, 2, 3 and 4 for the others in
// their order. The record of uploads keeps it for the window's exchanges too.
constexpr int OutcomeExitCode(Outcome outcome) {
    switch (outcome) {
        case Outcome::Done:
            return 0;
        case Outcome::UnableToOpen:
            return 2;
        case Outcome::NoReply:
            return 3;
        case Outcome::CommunicationError:
            return 4;
    }
    return 4;
}

// What the sequence needs of the serial link.
class IUploadLink {
  public:
    virtual ~IUploadLink() = default;
    virtual bool Open(int portNumber) = 0;  // 1200 baud, N, 8, 1, event mask 9, buffer 512
    // After an Open or a Start that failed: the device and why it could not be
    // used, one line; empty when the link cannot tell.
    virtual std::string OpenFailure() const { return {}; }
    virtual bool Start() = 0;  // false when the worker cannot start
    virtual void QueueWrite(const ByteString& frame, int count) = 0;
    virtual void Close() = 0;
};

// What the sequence needs of the window (or of any other front end).
class IUploadHost {
  public:
    virtual ~IUploadHost() = default;
    virtual void SetTimer(int id, int milliseconds) = 0;  // starts or restarts
    virtual void KillTimer(int id) = 0;
    virtual void RefreshControls() = 0;  // shows Progress() in the progress counter
    // Shows the outcome's text; returns when closed. `details` says more than
    // the fixed text (the device and the reason of a port that could not be
    // opened); mostly empty.
    virtual void ShowBox(Outcome outcome, const std::string& details) = 0;
    virtual std::vector<DstRecord> ReadRecords() = 0;  // every row's record, in row order
    virtual int Timeout() const = 0;                   // read at every start of the timer
    virtual int Port() const = 0;                      // read at every Open
};

class UploadSequence {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    UploadSequence(IUploadHost& host, IUploadLink& link);

    // Early judgement (off unless set): an answer of exactly fifteen bytes is
    // judged once no further byte has come for a quiet gap, instead of at the
    // reply timer's expiry. The gap is the largest of `minimumGapMs`, three
    // times the mean spacing between the bytes of that answer and twice their
    // slowest spacing, so a device that answers at a steady pace, however slow,
    // gets the verdict of the full wait. The reply timer stays the limit.
    // `clock` times the bytes.
    void SetEarlyJudgement(std::optional<int> minimumGapMs,
                           Clock clock = std::chrono::steady_clock::now);

    void OnSend();
    void OnDstDelete();
    long OnLinkRxChar(std::uintptr_t wParam, std::intptr_t lParam);
    void OnTimer(int timerId);

    int Progress() const { return m_nProgress; }
    int AcknowledgedCount() const { return m_nAcknowledged; }
    int SingleCommandMode() const { return m_nSingleCommandMode; }
    const std::vector<ByteString>& FrameList() const { return m_frameList; }
    const ByteString& ReplyBuffer() const { return m_replyBuffer; }

  private:
    void StartReplyTimer();
    void KillQuietTimer();
    void TimeEarlyJudgement();
    bool OpenAndStart();
    void SendNextFrame();

    IUploadHost& m_host;
    IUploadLink& m_link;
    std::vector<ByteString> m_frameList;
    int m_nAcknowledged = 0;
    int m_nProgress = 0;
    ByteString m_replyBuffer;
    int m_nSingleCommandMode = 0;

    std::optional<int> m_minimumGapMs;  // early judgement when set
    Clock m_clock;
    bool m_bAwaitingAnswer = false;  // the reply timer runs for the frame in flight
    std::chrono::steady_clock::time_point m_firstByteAt;
    std::chrono::steady_clock::time_point m_lastByteAt;
    std::chrono::steady_clock::duration m_slowestSpacing{};
};

}  // namespace velmora
