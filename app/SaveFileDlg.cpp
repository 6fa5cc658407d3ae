#include "SaveFileDlg.h"

#include <QFileInfo>
#include <QMessageBox>

namespace velmora {
namespace {

// No write permission for anyone in its mode (which binds even the superuser
// here, as when the file is written), or none for this process.
bool IsWriteProtected(const QFileInfo& info) {
    constexpr auto kAnyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return (info.permissions() & kAnyWrite) == 0 || !info.isWritable();
}

}  // namespace

CSaveFileDlg::CSaveFileDlg(QWidget* parent, const QString& filter)
    : QFileDialog(parent, QString(), QDir::currentPath(), filter) {
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    // The checks below live in this dialog; a dialog of the desktop would skip them.
    setOption(QFileDialog::DontUseNativeDialog);
}

void CSaveFileDlg::accept() {
    const QStringList files = selectedFiles();
    if (files.isEmpty()) return;
    const QFileInfo chosen(files.first());
    // A folder is opened, not chosen: the dialog's own handling.
    if (chosen.isDir()) {
        QFileDialog::accept();
        return;
    }
    // Named as the dialog's own question before a replacement names it.
    const QString name = chosen.fileName();
    if (chosen.exists()) {
        if (IsWriteProtected(chosen)) {
            Refuse(tr("%1 is read-only.\nChoose another name.").arg(name));
            return;
        }
        // The dialog itself asks before it lets the file be replaced.
        QFileDialog::accept();
        return;
    }
    const QFileInfo folder(chosen.absolutePath());
    const QString folderName = QDir::toNativeSeparators(folder.absoluteFilePath());
    if (!folder.isDir()) {
        Refuse(tr("The folder %1 does not exist.").arg(folderName));
        return;
    }
    if (IsWriteProtected(folder)) {
        Refuse(tr("The folder %1 is write-protected.\nChoose another folder.").arg(folderName));
        return;
    }
    if (!Ask(tr("%1 does not exist.\nDo you want to create it?").arg(name))) return;
    QFileDialog::accept();
}

void CSaveFileDlg::Refuse(const QString& text) {
    QMessageBox::warning(this, windowTitle(), text);
}

bool CSaveFileDlg::Ask(const QString& text) {
    return QMessageBox::question(this, windowTitle(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

}  // namespace velmora
