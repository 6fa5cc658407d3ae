// Runs one exchange with the device (an upload or DST Delete) in a Qt event
// loop: the window's timer, its handling of received bytes and its boxes,
// without a window.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

#include "Profile.h"
#include "Progress.h"
#include "Trace.h"
#include "SerialLink.h"
#include "UploadSequence.h"
#include "WindowTimers.h"

namespace velmora::cli {

struct LinkSettings {
    int portNumber = 1;      // COMn; 0 when a device path is given instead
    std::string devicePath;  // empty: COMn through the profile's "Ports" section
    int timeoutMs = 1000;
    std::optional<int> earlyGapMs;  // judge a complete answer early, after a quiet gap
    bool trace = false;             // every frame and every run of bytes on standard error
};

// The sequence's link is the host itself, which hands everything on to the
// serial link and traces what is written.
class CliHost : public QObject, public IUploadHost, public IUploadLink, public ILinkOwner {
public:
    CliHost(const Profile& profile, LinkSettings settings, std::vector<DstRecord> records,
            ProgressReporter& progress);
    ~CliHost() override;

    // Each runs its exchange to the end and returns its outcome.
    Outcome RunUpload();
    Outcome RunDstDelete();

    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    void RefreshControls() override;
    void ShowBox(Outcome outcome, const std::string& details) override;
    std::vector<DstRecord> ReadRecords() override;
    int Timeout() const override;
    int Port() const override;

    bool Open(int portNumber) override;
    std::string OpenFailure() const override;
    bool Start() override;
    void QueueWrite(const ByteString& frame, int count) override;
    void Close() override;

    void PostLinkMessage(const LinkMessage& message) override;
    void ReportLinkError(const std::string& text, bool fromWorker,
                         std::uint64_t generation) override;

protected:
    bool event(QEvent* event) override;

private:
    Outcome Run(void (UploadSequence::*start)());
    void OnLinkMessage(const LinkMessage& message);
    void OnReplyTimer(int id);

    const Profile& m_profile;
    LinkSettings m_settings;
    std::vector<DstRecord> m_records;
    ProgressReporter& m_progress;
    CWindowTimers m_timers;
    std::optional<ExchangeTrace> m_trace;
    QTimer m_traceRunTimer;  // ends a traced run of received bytes
    QEventLoop m_loop;
    std::optional<Outcome> m_outcome;
    CSerialLink m_link;
    SerialUploadLink m_uploadLink;
    UploadSequence m_sequence;
};

}  // namespace velmora::cli
