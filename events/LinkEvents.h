// The serial link's notifications as posted Qt events. A link message travels
// as an event whose type is the message number (1031 for a received byte);
// an error the worker met travels as a LinkErrorEvent. Both carry the link's
// generation, so that the owner can drop those of a worker it has stopped.
#pragma once

#include <QEvent>
#include <QString>
#include <cstdint>
#include <utility>

#include "SerialLink.h"

namespace velmora {

class LinkMessageEvent : public QEvent {
  public:
    explicit LinkMessageEvent(const LinkMessage& message)
        : QEvent(static_cast<QEvent::Type>(message.message)), m_message(message) {}
    const LinkMessage& Message() const { return m_message; }

    static bool IsLinkMessageType(QEvent::Type type) {
        return type >= static_cast<QEvent::Type>(WM_LINK_BREAK) &&
               type <= static_cast<QEvent::Type>(WM_LINK_RXFLAG);
    }

  private:
    LinkMessage m_message;
};

class LinkErrorEvent : public QEvent {
  public:
    LinkErrorEvent(QString text, std::uint64_t generation)
        : QEvent(EventType()), m_text(std::move(text)), m_generation(generation) {}
    const QString& Text() const { return m_text; }
    std::uint64_t Generation() const { return m_generation; }

    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

  private:
    QString m_text;
    std::uint64_t m_generation;
};

}  // namespace velmora
