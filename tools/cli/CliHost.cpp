#include "CliHost.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

#include "LinkEvents.h"

namespace velmora::cli {
namespace {

void PrintLinkError(const std::string& text) {
    std::fprintf(stderr, "Application Error: %s", text.c_str());
    std::fflush(stderr);
}

}  // namespace

CliHost::CliHost(const Profile& profile, LinkSettings settings, std::vector<DstRecord> records,
                 ProgressReporter& progress)
    : m_profile(profile),
      m_settings(std::move(settings)),
      m_records(std::move(records)),
      m_progress(progress),
      m_timers([this](int id) { OnReplyTimer(id); }),
      m_uploadLink(m_link, *this,
                   [this](int portNumber) {
                       return m_settings.devicePath.empty() ? ComPortPath(m_profile, portNumber)
                                                            : m_settings.devicePath;
                   }),
      m_sequence(*this, *this) {
    m_sequence.SetEarlyJudgement(m_settings.earlyGapMs);
    if (m_settings.trace) m_trace.emplace(stderr);
    m_traceRunTimer.setSingleShot(true);
    m_traceRunTimer.setTimerType(Qt::PreciseTimer);
    m_traceRunTimer.setInterval(ExchangeTrace::kRunGap);
    connect(&m_traceRunTimer, &QTimer::timeout, this, [this] { m_trace->EndRun(); });
}

CliHost::~CliHost() {
    // The worker posts to this object: stop it while the whole host still exists.
    m_link.Close();
}

Outcome CliHost::RunUpload() { return Run(&UploadSequence::OnSend); }

Outcome CliHost::RunDstDelete() {
    m_progress.Show(0, 1);
    return Run(&UploadSequence::OnDstDelete);
}

Outcome CliHost::Run(void (UploadSequence::*start)()) {
    m_outcome.reset();
    (m_sequence.*start)();
    // A port that cannot be opened ends the exchange before the loop runs.
    if (!m_outcome) m_loop.exec();
    m_progress.Finish();
    return *m_outcome;
}

void CliHost::SetTimer(int id, int milliseconds) { m_timers.SetTimer(id, milliseconds); }

void CliHost::KillTimer(int id) { m_timers.KillTimer(id); }

void CliHost::RefreshControls() { m_progress.Show(m_sequence.AcknowledgedCount(), kMaxRows); }

void CliHost::ShowBox(Outcome outcome, const std::string& details) {
    if (!details.empty()) {
        m_progress.Finish();
        std::fprintf(stderr, "velmora-cli: %s\n", details.c_str());
        std::fflush(stderr);
    }
    // Every box of the sequence ends its exchange.
    m_outcome = outcome;
    m_loop.quit();
}

std::vector<DstRecord> CliHost::ReadRecords() { return m_records; }

int CliHost::Timeout() const { return m_settings.timeoutMs; }

int CliHost::Port() const { return m_settings.portNumber; }

bool CliHost::Open(int portNumber) { return m_uploadLink.Open(portNumber); }

std::string CliHost::OpenFailure() const { return m_uploadLink.OpenFailure(); }

bool CliHost::Start() { return m_uploadLink.Start(); }

void CliHost::QueueWrite(const ByteString& frame, int count) {
    if (m_trace) {
        m_traceRunTimer.stop();
        m_trace->Sent(frame.substr(0, static_cast<std::size_t>(std::max(count, 0))));
    }
    m_uploadLink.QueueWrite(frame, count);
}

void CliHost::Close() { m_uploadLink.Close(); }

void CliHost::PostLinkMessage(const LinkMessage& message) {
    QCoreApplication::postEvent(this, new LinkMessageEvent(message));
}

void CliHost::ReportLinkError(const std::string& text, bool fromWorker,
                              std::uint64_t generation) {
    if (fromWorker)
        QCoreApplication::postEvent(this,
                                    new LinkErrorEvent(QString::fromStdString(text), generation));
    else
        PrintLinkError(text);
}

bool CliHost::event(QEvent* event) {
    if (event->type() == LinkErrorEvent::EventType()) {
        const auto* error = static_cast<LinkErrorEvent*>(event);
        // An error of a stopped worker belongs to an exchange that is over.
        if (error->Generation() == m_link.Generation()) PrintLinkError(error->Text().toStdString());
        return true;
    }
    if (LinkMessageEvent::IsLinkMessageType(event->type())) {
        OnLinkMessage(static_cast<LinkMessageEvent*>(event)->Message());
        return true;
    }
    return QObject::event(event);
}

void CliHost::OnLinkMessage(const LinkMessage& message) {
    // A message of a worker that has been stopped belongs to an exchange that is over.
    if (message.generation != m_link.Generation() || message.message != WM_LINK_RXCHAR) return;
    m_sequence.OnLinkRxChar(message.wParam, message.lParam);
    if (m_trace) {
        m_trace->Received(static_cast<unsigned char>(message.wParam & 0xFFU));
        m_traceRunTimer.start();
    }
}

// What arrived is traced before it is judged, at the reply timer's expiry or
// after the quiet gap of early judgement.
void CliHost::OnReplyTimer(int id) {
    if (m_trace) {
        m_traceRunTimer.stop();
        m_trace->EndRun();
    }
    m_sequence.OnTimer(id);
}

}  // namespace velmora::cli
