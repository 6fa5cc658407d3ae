// The Settings dialog: serial port, the device behind each port, reply timeout,
// date order, early judgement and the record of uploads. The caller gives the
// settings it holds and the device of each COM port, runs DoModal and, on
// IDOK, takes the choices back.
#pragma once

#include <QDialog>
#include <memory>
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

class SerialPortWatch;

class CSettingsDlg : public QDialog {
  public:
    CSettingsDlg(const Settings& settings, const ComPortPaths& devices, SystemRoots roots,
                 QWidget* parent = nullptr);
    ~CSettingsDlg() override;

    // Runs OnInitDialog, then the dialog; IDOK or IDCANCEL.
    int DoModal();
    void OnInitDialog();
    // save: the timeout text, the port the box shows and the check box into
    // the choices (false, after telling the user, when the timeout is not an
    // integer or the text names no port); otherwise the choices into the controls.
    bool DoDataExchange(bool save);
    // Routes one message through the dialog's table.
    void Dispatch(const DlgMessage& message);

    // What the dialog shows and, after OK, what the user chose.
    const Settings& Chosen() const { return m_settings; }
    // The device of COM1 to COM8. The Device field shows and edits the one of
    // the COM port the list shows; an empty one means the port's default
    // (WithDefaultComPortPaths).
    const ComPortPaths& ChosenDevices() const { return m_devices; }

    void accept() override;
    // Closing stops following the devices.
    void done(int result) override;

  private:
    void OnDayFirst() { m_settings.dateOrder = 0; }
    void OnMonthFirst() { m_settings.dateOrder = 1; }

    Settings m_settings;
    ComPortPaths m_devices;
    // The devices as the caller gave them; OK refuses only a changed one.
    const ComPortPaths m_devicesOnEntry;
    // Where the devices present are looked for, each time the dialog opens.
    const SystemRoots m_roots;

    QLineEdit* m_timeoutEdit = nullptr;
    QComboBox* m_portCombo = nullptr;
    QRadioButton* m_dayFirst = nullptr;
    QRadioButton* m_monthFirst = nullptr;

    void OnPortShown(int index);
    void OnDeviceText(const QString& text);
    bool DevicesAreValid();
    void FillDeviceList();
    // The devices the watch found now; the field keeps its text, cursor and
    // selection, and the COM port stays.
    void OnDevicesChanged(std::vector<SerialDevice> present);

    QComboBox* m_deviceCombo = nullptr;
    QLabel* m_deviceState = nullptr;
    std::vector<SerialDevice> m_present;
    int m_nDeviceIndex = -1;  // the COM port (index) whose device the field shows
    QCheckBox* m_judgeAtOnce = nullptr;
    QCheckBox* m_recordUploads = nullptr;
    // While the dialog is open: the devices plugged in and pulled out, told on
    // the watch's thread and handed to the dialog's as a queued call.
    std::unique_ptr<SerialPortWatch> m_watch;
};

}  // namespace velmora
