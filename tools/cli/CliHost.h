// Runs one exchange with the device (an upload or DST Delete) in a Qt event
// loop: the window's timer, its handling of received bytes and its boxes,
// without a window.
#pragma once

#include <QEventLoop>
#include <QObject>

#include <optional>
#include <string>
#include <vector>

#include "Profile.h"
#include "Progress.h"
#include "SerialLink.h"
#include "UploadSequence.h"
#include "WindowTimers.h"

namespace velmora::cli {

struct LinkSettings {
    int portNumber = 1;      // COMn; 0 when a device path is given instead
    std::string devicePath;  // empty: COMn through the profile's "Ports" section
    int timeoutMs = 1000;
    std::optional<int> earlyGapMs;  // judge a complete answer early, after a quiet gap
};

class CliHost : public QObject, public IUploadHost, public ILinkOwner {
public:
    CliHost(const Profile& profile, LinkSettings settings, std::vector<DstRecord> records,
            ProgressReporter& progress);
    ~CliHost() override;

    // Each runs its exchange to the end and returns the outcome text.
    std::string RunUpload();
    std::string RunDstDelete();

    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    void RefreshControls() override;
    void ShowBox(const std::string& text, BoxIcon icon) override;
    std::vector<DstRecord> ReadRecords() override;
    int Timeout() const override;
    int Port() const override;

    void PostLinkMessage(const LinkMessage& message) override;
    void ReportLinkError(const std::string& text, bool fromWorker) override;

protected:
    bool event(QEvent* event) override;

private:
    std::string Run(void (UploadSequence::*start)());
    void OnLinkMessage(const LinkMessage& message);

    const Profile& m_profile;
    LinkSettings m_settings;
    std::vector<DstRecord> m_records;
    ProgressReporter& m_progress;
    CWindowTimers m_timers;
    QEventLoop m_loop;
    std::optional<std::string> m_outcome;
    CSerialLink m_link;
    SerialUploadLink m_uploadLink;
    UploadSequence m_sequence;
};

}  // namespace velmora::cli
