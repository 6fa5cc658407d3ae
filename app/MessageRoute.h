// The routing of a dialog's messages: each dialog keeps one table of
// {kind, id, code, handler} entries, searched in order; the first match
// handles the message, and a message without an entry gets the dialog's
// default processing.
#pragma once

#include <QPoint>
#include <cstdint>
#include <optional>

namespace velmora {

enum class MsgKind {
    SysCommand,   // an item of the window menu; id is the item
    Command,      // a button, menu item or control notification; id and code
    ContextMenu,  // a right click; point is in screen coordinates
    Timer,        // a timer expiry; id is the timer
    Message,      // a message of the serial link; id is its number
};

constexpr int kAnyId = -1;

struct DlgMessage {
    MsgKind kind = MsgKind::Command;
    int id = 0;
    int code = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    QPoint point;
};

template <class Dlg>
struct MessageRoute {
    MsgKind kind;
    int id;  // kAnyId: every id of that kind
    int code;
    long (*handler)(Dlg&, const DlgMessage&);
};

// The handler's result, or nothing when no entry matches.
template <class Dlg, std::size_t N>
std::optional<long> RouteMessage(const MessageRoute<Dlg> (&table)[N], Dlg& dlg,
                                 const DlgMessage& message) {
    for (const MessageRoute<Dlg>& entry : table) {
        if (entry.kind == message.kind && (entry.id == kAnyId || entry.id == message.id) &&
            entry.code == message.code) {
            return entry.handler(dlg, message);
        }
    }
    return std::nullopt;
}

}  // namespace velmora
