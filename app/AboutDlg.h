// The About box: icon, program name and version, the notice line and OK.
#pragma once

#include <QDialog>

namespace velmora {

class CAboutDlg : public QDialog {
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace velmora
