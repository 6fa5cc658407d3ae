// Runs one exchange with the device (an upload or DST Delete) in a Qt event
// loop, as the window does, without a window.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>
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
};

// Shows an exchange on the terminal: progress and the details of a failure on
// standard error, the trace when asked for; the outcome ends the event loop.
class CliHost : public QObject, public IExchangeFrontEnd {
  public:
    // `ports`: the "Ports" mapping of Velmora.ini, read before the exchange.
    CliHost(ComPortPaths ports, LinkSettings settings, std::vector<DstRecord> records,
            ProgressReporter& progress);

    // Each runs its exchange to the end and returns its outcome.
    Outcome RunUpload();
    Outcome RunDstDelete();
    // The frames of the last upload that the device answered well.
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
    Outcome Run(void (ExchangeController::*start)());

    ComPortPaths m_ports;
    LinkSettings m_settings;
    std::vector<DstRecord> m_records;
    ProgressReporter& m_progress;
    std::optional<ExchangeTrace> m_trace;
    QTimer m_traceRunTimer;  // ends a traced run of received bytes
    QEventLoop m_loop;
    std::optional<Outcome> m_outcome;
    // Last, so that it is gone, and its worker stopped, before what it shows on.
    ExchangeController m_exchange;
};

}  // namespace velmora::cli
