// The Settings dialog: serial port, reply timeout, date order and early judgement. The caller
// fills the public members, runs DoModal and, on IDOK, takes them back.
#pragma once

#include <QDialog>

#include "DateTable.h"
#include "MessageRoute.h"

class QCheckBox;
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
    // save: the timeout text into m_nTimeout (false, after telling the user,
    // when it is not an integer); otherwise m_nTimeout into the edit.
    bool DoDataExchange(bool save);
    // Routes one message through the dialog's table.
    void Dispatch(const DlgMessage& message);

    DateOrder m_nDateOrderOnEntry = 0;
    DateOrder m_nDateOrder = 0;
    int m_nPort = 0;
    int m_nTimeout = 0;
    bool m_bJudgeAtOnce = false;  // judge complete answers at once

    void accept() override;

  private:
    void OnCloseUpPort();
    void OnDayFirst() { m_nDateOrder = 0; }
    void OnMonthFirst() { m_nDateOrder = 1; }

    QLineEdit* m_timeoutEdit = nullptr;
    QComboBox* m_portCombo = nullptr;
    QRadioButton* m_dayFirst = nullptr;
    QRadioButton* m_monthFirst = nullptr;
    QCheckBox* m_judgeAtOnce = nullptr;
};

}  // namespace velmora
