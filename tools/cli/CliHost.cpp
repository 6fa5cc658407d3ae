#include "CliHost.h"

#include <cstdio>
#include <utility>

namespace velmora::cli {

CliHost::CliHost(ComPortPaths ports, LinkSettings settings, std::vector<DstRecord> records,
                 ProgressReporter& progress)
    : m_ports(std::move(ports)),
      m_settings(std::move(settings)),
      m_records(std::move(records)),
      m_progress(progress),
      m_exchange(*this) {
    m_exchange.SetEarlyJudgement(m_settings.earlyGapMs);
    if (m_settings.trace) m_trace.emplace(stderr, ExchangeTrace::Clock::now(), m_settings.prefix);
    m_traceRunTimer.setSingleShot(true);
    m_traceRunTimer.setTimerType(Qt::PreciseTimer);
    m_traceRunTimer.setInterval(ExchangeTrace::kRunGap);
    connect(&m_traceRunTimer, &QTimer::timeout, this, [this] { m_trace->EndRun(); });
}

void CliHost::Start(bool send, std::function<void()> finished) {
    m_outcome.reset();
    m_details.clear();
    m_finished = std::move(finished);
    if (send) {
        m_exchange.Send();
    } else {
        m_progress.Show(0, 1);
        m_exchange.DstDelete();
    }
}

std::string CliHost::DevicePath(int portNumber) const {
    return m_settings.devicePath.empty() ? ComPortPathOf(m_ports, portNumber)
                                         : m_settings.devicePath;
}

void CliHost::ShowProgress() {
    m_progress.Show(m_exchange.Sequence().AcknowledgedCount(), kMaxRows);
}

void CliHost::ShowBox(Outcome outcome, const std::string& details) {
    m_details = details;
    m_progress.Finish();
    if (!details.empty()) {
        // Details that begin with the device already name the port.
        const bool named = details.rfind(m_settings.prefix, 0) == 0;
        std::fprintf(stderr, "velmora-cli: %s%s\n", named ? "" : m_settings.prefix.c_str(),
                     details.c_str());
        std::fflush(stderr);
    }
    // Every box of the sequence ends its exchange.
    m_outcome = outcome;
    if (m_finished) std::exchange(m_finished, nullptr)();
}

void CliHost::ShowLinkError(const std::string& text) {
    std::fprintf(stderr, "%sApplication Error: %s", m_settings.prefix.c_str(), text.c_str());
    std::fflush(stderr);
}

void CliHost::FrameWritten(const ByteString& bytes) {
    if (!m_trace) return;
    m_traceRunTimer.stop();
    m_trace->Sent(bytes);
}

void CliHost::DeliverLinkMessage(ExchangeController& exchange, const LinkMessage& message) {
    IExchangeFrontEnd::DeliverLinkMessage(exchange, message);
    if (m_trace && message.message == WM_LINK_RXCHAR) {
        m_trace->Received(static_cast<unsigned char>(message.wParam & 0xFFU));
        m_traceRunTimer.start();
    }
}

// What arrived is traced before it is judged, at the reply timer's expiry or
// after the quiet gap of early judgement.
void CliHost::DeliverTimer(ExchangeController& exchange, int id) {
    if (m_trace) {
        m_traceRunTimer.stop();
        m_trace->EndRun();
    }
    IExchangeFrontEnd::DeliverTimer(exchange, id);
}

}  // namespace velmora::cli
