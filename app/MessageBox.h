// Modal message boxes of the window program. Every box goes through one seam,
// so tests can record what would have been shown instead of waiting on a box.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace velmora {

// What a box would show: its caption, its text and its type (MB_* flags).
struct BoxRequest {
    QString title;
    QString text;
    unsigned type = 0;
    QString details;  // shown under the text; may be empty
};

// Replaces the real box; returns the hook it replaced. An empty hook restores
// the real box.
using MessageBoxHook = std::function<void(const BoxRequest&)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// The caption of the program's boxes: the executable's file name without its
// extension, or the application name when there is no executable path.
QString MessageBoxCaption();

// A modal box with an OK button, captioned with MessageBoxCaption(). A type
// without an icon shows the exclamation icon, as the program always has.
void AfxMessageBox(const QString& text, unsigned type);
// The same box with `details` under its text, selectable so that a command in
// them can be copied.
void AfxMessageBox(const QString& text, unsigned type, const QString& details);

// The serial link's error box: its own title, OK and the error icon.
void ShowErrorBox(const QString& title, const QString& text);

// Asked once when the window is closed with a changed table. Always a real box
// (the recorder above never stands in for it): Enter saves, Esc goes back.
enum class SaveChoice { Save, CloseWithoutSaving, GoBack };
SaveChoice AskSaveBeforeClosing(QWidget* parent);

}  // namespace velmora
