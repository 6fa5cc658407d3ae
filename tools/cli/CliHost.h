// Runs one exchange with the device (an upload or DST Delete) in the Qt event
// loop, as the window does, without a window. Several hosts, each with its own
// link and reply timer, run side by side in one loop, one per port.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ExchangeController.h"
#include "Progress.h"
#include "Settings.h"
#include "Trace.h"

namespace velmora::cli {

struct LinkSettings {
    int portNumber = 1;      // COMn; 0 when a device path is given instead
    std::string devicePath;  // empty: COMn through the "Ports" mapping
    int timeoutMs = 1000;
    std::optional<int> earlyGapMs;  // judge a complete answer early, after a quiet gap
    bool trace = false;             // every frame and every run of bytes on standard error
    std::string prefix;             // begins each line on standard error ("COM3: "), or empty
};

// Shows an exchange on the terminal: progress and the details of a failure on
// standard error, the trace when asked for; the outcome ends the event loop.
class CliHost : public QObject, public IExchangeFrontEnd {
  public:
    // `ports`: the "Ports" mapping of Velmora.ini, read before the exchange.
    CliHost(ComPortPaths ports, LinkSettings settings, std::vector<DstRecord> records,
            ProgressReporter& progress);

    // Begins an upload (`send`) or DST Delete; `finished` is called once, when
    // the exchange has its outcome, from the event loop or, for a port that
    // cannot be opened, before Start returns.
    void Start(bool send, std::function<void()> finished);
    // The outcome, once finished.
    const std::optional<Outcome>& Result() const { return m_outcome; }

    // After a run: the details of its failure as told on standard error (empty
    // when there were none), and the frames the device answered well.
    const std::string& FailureDetails() const { return m_details; }
    int FramesAnswered() const { return m_exchange.Sequence().AcknowledgedCount(); }

    std::vector<DstRecord> ReadRecords() override { return m_records; }
    int Timeout() const override { return m_settings.timeoutMs; }
    int Port() const override { return m_settings.portNumber; }
    std::string DevicePath(int portNumber) const override;
    void ShowProgress() override;
    void ShowBox(Outcome outcome, const std::string& details) override;
    void ShowLinkError(const std::string& text) override;
    void DeliverTimer(ExchangeController& exchange, int id) override;
    void DeliverLinkMessage(ExchangeController& exchange, const LinkMessage& message) override;
    void FrameWritten(const ByteString& bytes) override;

  private:
    ComPortPaths m_ports;
    LinkSettings m_settings;
    std::vector<DstRecord> m_records;
    ProgressReporter& m_progress;
    std::optional<ExchangeTrace> m_trace;
    QTimer m_traceRunTimer;  // ends a traced run of received bytes
    std::function<void()> m_finished;
    std::optional<Outcome> m_outcome;
    std::string m_details;
    // Last, so that it is gone, and its worker stopped, before what it shows on.
    ExchangeController m_exchange;
};

}  // namespace velmora::cli
