// The Settings dialog: serial port, the device behind each port, reply timeout,
// date order and early judgement. The caller fills the public members, runs
// DoModal and, on IDOK, takes them back.
#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "DateTable.h"
#include "MessageRoute.h"
#include "SerialPorts.h"
#include "Settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
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
    bool m_bJudgeAtOnce = false;  // judge complete answers at once
    // The device of COM1 to COM8. The Device field shows and edits the one of
    // the COM port the list shows; an empty one means the port's default.
    ComPortPaths m_strDevices;
    // The devices as the caller gave them; OK refuses only a changed one.
    ComPortPaths m_strDevicesOnEntry;
    // Where the devices present are looked for, each time the dialog opens.
    SystemRoots m_roots;

    void accept() override;

  private:
    void OnDayFirst() { m_nDateOrder = 0; }
    void OnMonthFirst() { m_nDateOrder = 1; }

    QLineEdit* m_timeoutEdit = nullptr;
    QComboBox* m_portCombo = nullptr;
    QRadioButton* m_dayFirst = nullptr;
    QRadioButton* m_monthFirst = nullptr;

    void OnPortShown(int index);
    void OnDeviceText(const QString& text);
    bool DevicesAreValid();

    QComboBox* m_deviceCombo = nullptr;
    QLabel* m_deviceState = nullptr;
    std::vector<SerialDevice> m_present;
    int m_nDeviceIndex = -1;  // the COM port (index) whose device the field shows
    QCheckBox* m_judgeAtOnce = nullptr;
};

}  // namespace velmora
