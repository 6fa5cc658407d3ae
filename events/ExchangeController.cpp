#include "ExchangeController.h"

#include <QCoreApplication>
#include <algorithm>

#include "LinkEvents.h"

namespace velmora {

void IExchangeFrontEnd::DeliverTimer(ExchangeController& exchange, int id) {
    exchange.OnTimer(id);
}

void IExchangeFrontEnd::DeliverLinkMessage(ExchangeController& exchange,
                                           const LinkMessage& message) {
    if (message.message == WM_LINK_RXCHAR) exchange.OnLinkRxChar(message.wParam, message.lParam);
}

void IExchangeFrontEnd::FrameWritten(const ByteString&) {}

ExchangeController::ExchangeController(IExchangeFrontEnd& frontEnd)
    : m_frontEnd(frontEnd),
      m_timers([this](int id) { m_frontEnd.DeliverTimer(*this, id); }),
      m_uploadLink(m_link, *this, [this](int port) { return m_frontEnd.DevicePath(port); }),
      m_sequence(*this, *this) {}

ExchangeController::~ExchangeController() {
    m_link.Close();
}

void ExchangeController::SetEarlyJudgement(std::optional<int> minimumGapMs) {
    m_sequence.SetEarlyJudgement(minimumGapMs);
}

void ExchangeController::Stop() {
    m_timers.KillAll();
    m_link.Close();
}

void ExchangeController::QueueWrite(const ByteString& frame, int count) {
    m_frontEnd.FrameWritten(frame.substr(0, static_cast<std::size_t>(std::max(count, 0))));
    m_uploadLink.QueueWrite(frame, count);
}

void ExchangeController::PostLinkMessage(const LinkMessage& message) {
    QCoreApplication::postEvent(this, new LinkMessageEvent(message));
}

void ExchangeController::ReportLinkError(const std::string& text, bool fromWorker,
                                         std::uint64_t generation) {
    if (fromWorker) {
        QCoreApplication::postEvent(this,
                                    new LinkErrorEvent(QString::fromStdString(text), generation));
    } else {
        m_frontEnd.ShowLinkError(text);
    }
}

bool ExchangeController::event(QEvent* event) {
    // What a worker that has since been stopped posted belongs to an exchange
    // that is over, and is dropped.
    if (event->type() == LinkErrorEvent::EventType()) {
        const auto* error = static_cast<const LinkErrorEvent*>(event);
        if (error->Generation() == m_link.Generation()) {
            m_frontEnd.ShowLinkError(error->Text().toStdString());
        }
        return true;
    }
    if (LinkMessageEvent::IsLinkMessageType(event->type())) {
        const LinkMessage& message = static_cast<const LinkMessageEvent*>(event)->Message();
        if (message.generation == m_link.Generation())
            m_frontEnd.DeliverLinkMessage(*this, message);
        return true;
    }
    return QObject::event(event);
}

}  // namespace velmora
