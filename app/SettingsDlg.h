// The Settings dialog: serial port, reply timeout and date order. The caller
// fills the public members, runs DoModal and, on IDOK, takes them back.
#pragma once

#include <QDialog>

#include "DateTable.h"
#include "MessageRoute.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace velmora {

class CSettingsDlg : public QDialog {
  public:
    explicit CSettingsDlg(QWidget* parent = nullptr);

    // Runs OnInitDialog, then the dialog; IDOK or IDCANCEL.
    int DoModal();
    void OnInitDialog();
    // save: the timeout text into m_nTimeout and the port the box shows into
    // m_nPort (false, after telling the user, when the timeout is not an
    // integer or the text names no port); otherwise m_nTimeout into the edit.
    bool DoDataExchange(bool save);
    // Routes one message through the dialog's table.
    void Dispatch(const DlgMessage& message);

    DateOrder m_nDateOrderOnEntry = 0;
    DateOrder m_nDateOrder = 0;
    int m_nPort = 0;
    int m_nTimeout = 0;

    void accept() override;

  private:
    void OnDayFirst() { m_nDateOrder = 0; }
    void OnMonthFirst() { m_nDateOrder = 1; }

    QLineEdit* m_timeoutEdit = nullptr;
    QComboBox* m_portCombo = nullptr;
    QRadioButton* m_dayFirst = nullptr;
    QRadioButton* m_monthFirst = nullptr;
};

}  // namespace velmora
