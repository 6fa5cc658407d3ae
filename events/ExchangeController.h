// One exchange with the device at a time (an upload of fifteen frames or DST
// Delete), carried out in a Qt event loop: the serial link and its worker, the
// upload sequence, the reply timer, the link's posted events and the check
// that drops those of a worker that has been stopped. The window and
// velmora-cli each give it only what differs: how a box, an error of the link
// and the progress are shown, and where the rows and the port come from.
#pragma once

#include <QObject>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SerialLink.h"
#include "SerialUploadLink.h"
#include "UploadSequence.h"
#include "WindowTimers.h"

namespace velmora {

class ExchangeController;

class IExchangeFrontEnd {
  public:
    virtual ~IExchangeFrontEnd() = default;

    // What to send, and where: every row's record in row order; the reply
    // period, read at every start of the timer; the COM port, read at every
    // open, and the device it leads to.
    virtual std::vector<DstRecord> ReadRecords() = 0;
    virtual int Timeout() const = 0;
    virtual int Port() const = 0;
    virtual std::string DevicePath(int portNumber) const = 0;

    // How the exchange is shown. ShowProgress after every acknowledged frame
    // and every start; ShowBox ends the exchange with its outcome (`details`
    // mostly empty); ShowLinkError for what the link met ("Application Error").
    virtual void ShowProgress() = 0;
    virtual void ShowBox(Outcome outcome, const std::string& details) = 0;
    virtual void ShowLinkError(const std::string& text) = 0;

    // A timer's expiry, and a message of the running worker, come here before
    // the exchange handles them. By default they go straight back to it; the
    // window passes them through its routing table.
    virtual void DeliverTimer(ExchangeController& exchange, int id);
    virtual void DeliverLinkMessage(ExchangeController& exchange, const LinkMessage& message);
    // Every frame as it is queued for writing; nothing by default.
    virtual void FrameWritten(const ByteString& bytes);
};

class ExchangeController : public QObject,
                           public ILinkOwner,
                           private IUploadHost,
                           private IUploadLink {
  public:
    explicit ExchangeController(IExchangeFrontEnd& frontEnd);
    // Stops the worker while the controller can still take its notifications.
    ~ExchangeController() override;
    ExchangeController(const ExchangeController&) = delete;
    ExchangeController& operator=(const ExchangeController&) = delete;

    // Judge a complete answer after a quiet gap of at least this long; none:
    // the reply timer alone judges.
    void SetEarlyJudgement(std::optional<int> minimumGapMs);

    // Starting an exchange takes over one that is running.
    void Send() { m_sequence.OnSend(); }
    void DstDelete() { m_sequence.OnDstDelete(); }
    // Ends a running exchange quietly: no expiry, no more bytes, no box.
    void Stop();

    // What the front end hands back from DeliverTimer and DeliverLinkMessage.
    void OnTimer(int id) { m_sequence.OnTimer(id); }
    // The link messages the exchange uses (received bytes); 0.
    long OnLinkRxChar(std::uintptr_t wParam, std::intptr_t lParam) {
        return m_sequence.OnLinkRxChar(wParam, lParam);
    }

    const UploadSequence& Sequence() const { return m_sequence; }
    CSerialLink& Link() { return m_link; }
    bool IsTimerRunning(int id) const { return m_timers.IsRunning(id); }

    // ILinkOwner: called from the worker, so both only post.
    void PostLinkMessage(const LinkMessage& message) override;
    void ReportLinkError(const std::string& text, bool fromWorker,
                         std::uint64_t generation) override;

  protected:
    bool event(QEvent* event) override;

  private:
    // IUploadHost
    void SetTimer(int id, int milliseconds) override { m_timers.SetTimer(id, milliseconds); }
    void KillTimer(int id) override { m_timers.KillTimer(id); }
    void RefreshControls() override { m_frontEnd.ShowProgress(); }
    void ShowBox(Outcome outcome, const std::string& details) override {
        m_frontEnd.ShowBox(outcome, details);
    }
    std::vector<DstRecord> ReadRecords() override { return m_frontEnd.ReadRecords(); }
    int Timeout() const override { return m_frontEnd.Timeout(); }
    int Port() const override { return m_frontEnd.Port(); }

    // IUploadLink: the serial link, with every frame shown to the front end.
    bool Open(int portNumber) override { return m_uploadLink.Open(portNumber); }
    std::string OpenFailure() const override { return m_uploadLink.OpenFailure(); }
    bool Start() override { return m_uploadLink.Start(); }
    void QueueWrite(const ByteString& frame, int count) override;
    void Close() override { m_uploadLink.Close(); }

    IExchangeFrontEnd& m_frontEnd;
    CWindowTimers m_timers;
    CSerialLink m_link;
    SerialUploadLink m_uploadLink;
    UploadSequence m_sequence;
};

}  // namespace velmora
