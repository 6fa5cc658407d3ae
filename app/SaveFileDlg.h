// The file dialog of Save. Before it lets a name be chosen it refuses a
// read-only file, a name in a folder that does not exist or is write-protected,
// asks before a name that does not exist yet is created and asks before an
// existing file is replaced. The questions concern the name as chosen.
#pragma once

#include <QFileDialog>

namespace velmora {

class CSaveFileDlg : public QFileDialog {
  public:
    CSaveFileDlg(QWidget* parent, const QString& filter);

    void accept() override;

  private:
    void Refuse(const QString& text);
    bool Ask(const QString& text);
};

}  // namespace velmora
