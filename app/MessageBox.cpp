#include "MessageBox.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

#include "Resources.h"

namespace velmora {
namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

QMessageBox::Icon IconOf(unsigned type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::Warning;
    }
}

void ShowBox(const BoxRequest& request) {
    if (Hook()) {
        Hook()(request);
        return;
    }
    QMessageBox box(IconOf(request.type), request.title, request.text, QMessageBox::Ok);
    if (!request.details.isEmpty()) {
        box.setInformativeText(request.details);
        box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    box.exec();
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    return std::exchange(Hook(), std::move(hook));
}

QString MessageBoxCaption() {
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    return name.isEmpty() ? QCoreApplication::applicationName() : name;
}

void AfxMessageBox(const QString& text, unsigned type) {
    ShowBox({MessageBoxCaption(), text, type, {}});
}

void AfxMessageBox(const QString& text, unsigned type, const QString& details) {
    ShowBox({MessageBoxCaption(), text, type, details});
}

void ShowErrorBox(const QString& title, const QString& text) {
    ShowBox({title, text, MB_OK | MB_ICONERROR, {}});
}

SaveChoice AskSaveBeforeClosing(QWidget* parent) {
    QMessageBox box(QMessageBox::Warning, MessageBoxCaption(),
                    QStringLiteral("The table has changed since it was last opened or saved.\n"
                                   "Save it before closing?"),
                    QMessageBox::NoButton, parent);
    QPushButton* save = box.addButton(QStringLiteral("&Save..."), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QStringLiteral("Close &without saving"), QMessageBox::DestructiveRole);
    QPushButton* back = box.addButton(QStringLiteral("Go &back"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(back);
    box.exec();
    if (box.clickedButton() == save) return SaveChoice::Save;
    if (box.clickedButton() == discard) return SaveChoice::CloseWithoutSaving;
    return SaveChoice::GoBack;
}

}  // namespace velmora
