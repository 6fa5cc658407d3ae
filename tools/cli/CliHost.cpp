#include "CliHost.h"

#include <QCoreApplication>

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
      m_timers([this](int id) { m_sequence.OnTimer(id); }),
      m_uploadLink(m_link, *this,
                   [this](int portNumber) {
                       return m_settings.devicePath.empty() ? ComPortPath(m_profile, portNumber)
                                                            : m_settings.devicePath;
                   }),
      m_sequence(*this, m_uploadLink) {
    m_sequence.SetEarlyJudgement(m_settings.earlyGapMs);
}

CliHost::~CliHost() {
    // The worker posts to this object: stop it while the whole host still exists.
    m_link.Close();
}

std::string CliHost::RunUpload() { return Run(&UploadSequence::OnSend); }

std::string CliHost::RunDstDelete() {
    m_progress.Show(0, 1);
    return Run(&UploadSequence::OnDstDelete);
}

std::string CliHost::Run(void (UploadSequence::*start)()) {
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

void CliHost::ShowBox(const std::string& text, BoxIcon) {
    // Every box of the sequence ends its exchange.
    m_outcome = text;
    m_loop.quit();
}

std::vector<DstRecord> CliHost::ReadRecords() { return m_records; }

int CliHost::Timeout() const { return m_settings.timeoutMs; }

int CliHost::Port() const { return m_settings.portNumber; }

void CliHost::PostLinkMessage(const LinkMessage& message) {
    QCoreApplication::postEvent(this, new LinkMessageEvent(message));
}

void CliHost::ReportLinkError(const std::string& text, bool fromWorker) {
    if (fromWorker)
        QCoreApplication::postEvent(this, new LinkErrorEvent(QString::fromStdString(text)));
    else
        PrintLinkError(text);
}

bool CliHost::event(QEvent* event) {
    if (event->type() == LinkErrorEvent::EventType()) {
        PrintLinkError(static_cast<LinkErrorEvent*>(event)->Text().toStdString());
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
}

}  // namespace velmora::cli
