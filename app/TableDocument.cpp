#include "TableDocument.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <string>
#include <utility>

#include "DateFile.h"
#include "DateList.h"
#include "MessageBox.h"
#include "Resources.h"
#include "SaveFileDlg.h"
#include "ZoneDlg.h"

namespace velmora {
namespace {

const QString kAppTitle = QStringLiteral("Velmora");
const QString kFileFilter = QStringLiteral("Velmora File (*.dst)");

// File names travel as UTF-8 on every system; the file code converts them to
// what the system's own calls take.
std::string LocalPath(const QString& path) {
    return path.toUtf8().toStdString();
}

// The file's full path in the system's own form, for the record of uploads.
std::string FullPath(const QString& path) {
    return LocalPath(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

}  // namespace

TableDocument::TableDocument(QWidget& window, DateList& list) : m_window(window), m_list(list) {}

std::optional<QString> TableDocument::AskForFile(FileDialogKind kind) {
    if (m_fileDialog) return m_fileDialog(kind);
    if (kind == FileDialogKind::Save) {
        CSaveFileDlg dialog(&m_window, kFileFilter);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return dialog.selectedFiles().first();
    }
    const QString path = QFileDialog::getOpenFileName(&m_window, QString(), QString(), kFileFilter);
    if (path.isEmpty()) return std::nullopt;
    return path;
}

void TableDocument::ResetTitle() {
    m_window.setWindowTitle(kAppTitle);
}

bool TableDocument::Open(const QString& path, DateOrder order) {
    DateFileBytes bytes{};
    if (!ReadDateFile(LocalPath(path), bytes)) {
        AfxMessageBox(QStringLiteral("Unable to read file!"), MB_OK | MB_ICONERROR);
        return false;
    }
    m_list.ReplaceRows(FileBytesToRows(bytes, order));
    SetChanged(false);
    m_filePath = FullPath(path);
    m_window.setWindowTitle(kAppTitle + QStringLiteral(" - ") + QFileInfo(path).fileName());
    return true;
}

bool TableDocument::Save(DateOrder order) {
    if (m_list.rowCount() < kMaxRows) {
        AfxMessageBox(QStringLiteral("Insert 15 dates"), MB_OK);
        return false;
    }
    const std::optional<QString> path = AskForFile(FileDialogKind::Save);
    if (!path) return false;
    // The dialog asked about the name as chosen and refused a read-only file; a
    // name extended with ".dst" is written without a further question. A
    // read-only file is not replaced even then.
    const std::string file = WithDstSuffix(LocalPath(*path));
    ReplaceFailure failure;
    if (!WriteDateFile(file, RowsToFileBytes(m_list.Rows(), order), &failure)) {
        // Why, and where the tables are when neither could be put under the name.
        QString details = QString::fromStdString(file + ": " + failure.reason + ".");
        if (!failure.newFile.empty()) {
            details += QString::fromStdString("\nThe new table is in " + failure.newFile +
                                              (failure.oldFile.empty()
                                                   ? std::string(".")
                                                   : ", the old one in " + failure.oldFile + "."));
        }
        AfxMessageBox(QStringLiteral("Unable to write file!"), MB_OK | MB_ICONERROR, details);
        return false;
    }
    SetChanged(false);
    m_filePath = FullPath(QString::fromUtf8(file));
    return true;
}

bool TableDocument::NewFromZone(DateOrder order) {
    CZoneDlg zones(order, &m_window);
    if (zones.DoModal() != IDOK) return false;
    m_list.ReplaceRows(zones.Rows());
    ResetTitle();
    SetChanged(true);
    m_filePath.clear();
    return true;
}

}  // namespace velmora
