// The table as a document: whether its rows differ from the last file opened
// or saved, the window title that names the file, and the commands that load,
// save or make the fifteen rows (Open, Save, New from Time Zone).
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "DateTable.h"

class QWidget;

namespace velmora {

class DateList;

class TableDocument {
  public:
    enum class FileDialogKind { Open, Save };
    // Asks for a file; nothing when the user cancels.
    using FileDialogHook = std::function<std::optional<QString>(FileDialogKind)>;

    // The rows are `list`'s; `window` carries the title and owns the dialogs.
    TableDocument(QWidget& window, DateList& list);

    void SetFileDialogHook(FileDialogHook hook) { m_fileDialog = std::move(hook); }
    std::optional<QString> AskForFile(FileDialogKind kind);

    // Whether the rows differ from the last file opened or saved. Every command
    // that adds, removes or replaces rows marks it; Open and Save clear it.
    bool IsChanged() const { return m_changed; }
    void SetChanged(bool changed) { m_changed = changed; }
    // The file (UTF-8, its full path when opened) last opened or saved; empty
    // before either and after New from Time Zone.
    const std::string& FilePath() const { return m_filePath; }
    // The title without a file's name.
    void ResetTitle();

    // Reads and checks the file before the rows are touched: true when the rows
    // are the file's; false, after telling the user, when it cannot be used.
    bool Open(const QString& path, DateOrder order);
    // Asks for the file and writes the fifteen rows; true when it was written.
    bool Save(DateOrder order);
    // The dialog refuses choices that give no table, so the rows change only
    // on OK, and then they are fifteen; true then.
    bool NewFromZone(DateOrder order);

  private:
    QWidget& m_window;
    DateList& m_list;
    bool m_changed = false;
    std::string m_filePath;
    FileDialogHook m_fileDialog;
};

}  // namespace velmora
