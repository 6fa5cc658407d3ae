#include "SettingsDlg.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <system_error>
#include <utility>

#include "DialogUnits.h"
#include "MessageBox.h"
#include "Resources.h"
#include "SerialPortWatch.h"

namespace velmora {
namespace {

constexpr int kPortCount = kComPortCount;

QString FromLocal(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToLocal(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// The drop-down of devices shows what is known of each beside its path; the
// edit field shows the path alone.
class DeviceItemDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString description = index.data(Qt::ToolTipRole).toString();
        if (!description.isEmpty()) option->text += QStringLiteral("   ") + description;
    }
};

}  // namespace

CSettingsDlg::CSettingsDlg(const Settings& settings, const ComPortPaths& devices, SystemRoots roots,
                           QWidget* parent)
    : QDialog(parent),
      m_settings(settings),
      m_devices(devices),
      m_devicesOnEntry(devices),
      m_roots(std::move(roots)) {
    const QFont font = DialogFont();
    setFont(font);
    setWindowTitle(QStringLiteral("Settings"));
    setObjectName(QString::number(IDD_SETTINGS));
    setFixedSize(DialogUnitsToPixels(font, 0, 0, 192, 183).size());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(ok, IDOK, font, 125, 10, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancel, IDCANCEL, font, 125, 27, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);

    // Digits only: a key that is no digit is not taken, and a pasted text that
    // holds anything else is refused whole.
    m_timeoutEdit = new QLineEdit(this);
    PlaceControl(m_timeoutEdit, IDC_TIMEOUT, font, 45, 35, 50, 12);
    m_timeoutEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    PlaceLabel(QStringLiteral("Timeout:"), m_timeoutEdit, font, 13, 35, 30, 10);

    m_portCombo = new QComboBox(this);
    m_portCombo->setEditable(true);
    m_portCombo->setInsertPolicy(QComboBox::NoInsert);
    PlaceControl(m_portCombo, IDC_PORT, font, 45, 10, 50, 85);
    m_portCombo->setFixedHeight(m_portCombo->sizeHint().height());
    PlaceLabel(QStringLiteral("COM Port:"), m_portCombo, font, 7, 15, 33, 10);

    auto* group = new QGroupBox(QStringLiteral("Date format"), this);
    PlaceControl(group, -1, font, 10, 60, 85, 45);
    m_dayFirst = new QRadioButton(QStringLiteral("DD/MM/YYYY"), this);
    PlaceControl(m_dayFirst, IDC_DAY_FIRST, font, 20, 75, 70, 10);
    m_monthFirst = new QRadioButton(QStringLiteral("MM/DD/YYYY"), this);
    PlaceControl(m_monthFirst, IDC_MONTH_FIRST, font, 20, 90, 70, 10);
    connect(m_dayFirst, &QRadioButton::clicked, this, [this] {
        Dispatch({MsgKind::Command, IDC_DAY_FIRST, BN_CLICKED, 0, 0, {}});
    });
    connect(m_monthFirst, &QRadioButton::clicked, this, [this] {
        Dispatch({MsgKind::Command, IDC_MONTH_FIRST, BN_CLICKED, 0, 0, {}});
    });

    // The device behind the COM port, below the other settings.
    m_deviceCombo = new QComboBox(this);
    m_deviceCombo->setEditable(true);
    m_deviceCombo->setInsertPolicy(QComboBox::NoInsert);
    m_deviceCombo->setItemDelegate(new DeviceItemDelegate(m_deviceCombo));
    PlaceControl(m_deviceCombo, IDC_DEVICE, font, 45, 112, 140, 85);
    m_deviceCombo->setFixedHeight(m_deviceCombo->sizeHint().height());
    PlaceLabel(QStringLiteral("Device:"), m_deviceCombo, font, 7, 114, 33, 10);
    m_deviceState = new QLabel(this);
    m_deviceState->setWordWrap(true);
    m_deviceState->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_deviceState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    PlaceControl(m_deviceState, IDC_DEVICE_STATE, font, 45, 127, 140, 24);
    connect(m_portCombo, &QComboBox::currentIndexChanged, this, &CSettingsDlg::OnPortShown);
    connect(m_deviceCombo, &QComboBox::editTextChanged, this, &CSettingsDlg::OnDeviceText);

    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_timeoutEdit);
    setTabOrder(m_timeoutEdit, m_portCombo);
    setTabOrder(m_portCombo, m_deviceCombo);
    setTabOrder(m_deviceCombo, m_dayFirst);

    // Below the device; the timeout stays the limit of every answer.
    m_judgeAtOnce = new QCheckBox(QStringLiteral("Judge complete answers at once"), this);
    PlaceControl(m_judgeAtOnce, IDC_JUDGE_AT_ONCE, font, 10, 155, 170, 10);
    setTabOrder(m_monthFirst, m_judgeAtOnce);
    // Each Send and DST Delete adds a line to the record of uploads unless off.
    m_recordUploads = new QCheckBox(QStringLiteral("&Record uploads"), this);
    PlaceControl(m_recordUploads, IDC_RECORD_UPLOADS, font, 10, 168, 170, 10);
    m_recordUploads->setAccessibleName(QStringLiteral("Record uploads"));
    setTabOrder(m_judgeAtOnce, m_recordUploads);
}

void CSettingsDlg::Dispatch(const DlgMessage& message) {
    static const MessageRoute<CSettingsDlg> kRoutes[] = {
        {MsgKind::Command, IDC_DAY_FIRST, BN_CLICKED,
         [](CSettingsDlg& dlg, const DlgMessage&) -> long {
             dlg.OnDayFirst();
             return 0;
         }},
        {MsgKind::Command, IDC_MONTH_FIRST, BN_CLICKED,
         [](CSettingsDlg& dlg, const DlgMessage&) -> long {
             dlg.OnMonthFirst();
             return 0;
         }},
    };
    RouteMessage(kRoutes, *this, message);
}

int CSettingsDlg::DoModal() {
    OnInitDialog();
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CSettingsDlg::OnInitDialog() {
    DoDataExchange(false);
    // Read afresh at every opening, and followed while the dialog is open:
    // adapters come and go.
    try {
        m_watch = std::make_unique<SerialPortWatch>(
            m_roots, [this](const std::vector<SerialDevice>& present,
                            const std::vector<SerialDeviceChange>&) {
                QMetaObject::invokeMethod(
                    this, [this, present] { OnDevicesChanged(present); }, Qt::QueuedConnection);
            });
        m_present = m_watch->Present();
    } catch (const std::system_error&) {
        m_present = ListSerialDevices(m_roots);  // listed once, as the system cannot watch
    }
    FillDeviceList();
    for (int n = 1; n <= kPortCount; ++n) m_portCombo->addItem(QStringLiteral("COM%1").arg(n));
    // A port outside 1..8 leaves the list without a selection.
    m_portCombo->setCurrentIndex(
        m_settings.port >= 1 && m_settings.port <= kPortCount ? m_settings.port - 1 : -1);
    m_dayFirst->setChecked(m_settings.dateOrder == 0);
    m_monthFirst->setChecked(m_settings.dateOrder != 0);
}

bool CSettingsDlg::DoDataExchange(bool save) {
    if (!save) {
        m_timeoutEdit->setText(QString::number(m_settings.timeoutMs));
        m_judgeAtOnce->setChecked(m_settings.earlyJudgement);
        m_recordUploads->setChecked(m_settings.recordUploads);
        return true;
    }
    bool isInteger = false;
    const int timeout = m_timeoutEdit->text().trimmed().toInt(&isInteger, 10);
    if (!isInteger) {
        AfxMessageBox(QStringLiteral("Please enter an integer."), MB_OK);
        m_timeoutEdit->setFocus();
        m_timeoutEdit->selectAll();
        return false;
    }
    // The port is the one the box shows, however it came there: chosen in the
    // list, stepped to with the arrow keys, or typed. A box that shows none
    // keeps the port the dialog started with.
    const QString shown = m_portCombo->currentText().trimmed();
    const int index = m_portCombo->findText(shown, Qt::MatchFixedString);
    if (index < 0 && !shown.isEmpty()) {
        AfxMessageBox(QStringLiteral("Choose a port from COM1 to COM8."), MB_OK);
        m_portCombo->setFocus();
        m_portCombo->lineEdit()->selectAll();
        return false;
    }
    m_settings.timeoutMs = timeout;
    if (index >= 0) m_settings.port = index + 1;
    m_settings.earlyJudgement = m_judgeAtOnce->isChecked();
    m_settings.recordUploads = m_recordUploads->isChecked();
    return true;
}

CSettingsDlg::~CSettingsDlg() = default;

void CSettingsDlg::FillDeviceList() {
    m_deviceCombo->clear();
    for (const SerialDevice& device : m_present) {
        m_deviceCombo->addItem(FromLocal(device.path));
        m_deviceCombo->setItemData(m_deviceCombo->count() - 1, FromLocal(device.description),
                                   Qt::ToolTipRole);
    }
    m_deviceCombo->view()->setMinimumWidth(m_deviceCombo->view()->sizeHintForColumn(0));
}

void CSettingsDlg::OnDevicesChanged(std::vector<SerialDevice> present) {
    m_present = std::move(present);
    QLineEdit* field = m_deviceCombo->lineEdit();
    const QString text = field->text();
    const int cursor = field->cursorPosition();
    const int selectionStart = field->selectionStart();
    const auto selectionLength = static_cast<int>(field->selectedText().size());
    {
        // The text stays as it is: no edit of the user's is told again.
        const QSignalBlocker blocker(m_deviceCombo);
        FillDeviceList();
        m_deviceCombo->setCurrentIndex(m_deviceCombo->findText(text));
        m_deviceCombo->setEditText(text);
    }
    if (selectionStart < 0) {
        field->setCursorPosition(cursor);
    } else if (cursor == selectionStart) {  // selected leftwards
        field->setSelection(selectionStart + selectionLength, -selectionLength);
    } else {
        field->setSelection(selectionStart, selectionLength);
    }
    OnDeviceText(text);  // what is known of the device may have changed
}

void CSettingsDlg::done(int result) {
    m_watch.reset();
    QDialog::done(result);
}

void CSettingsDlg::accept() {
    if (DoDataExchange(true) && DevicesAreValid()) QDialog::accept();
}

// A path typed with a control character could not be stored as one line of
// the profile: the user is told, and shown the port.
bool CSettingsDlg::DevicesAreValid() {
    for (int index = 0; index < kPortCount; ++index) {
        const std::string& path = m_devices[static_cast<std::size_t>(index)];
        if (ShownPath(path) == path || path == m_devicesOnEntry[static_cast<std::size_t>(index)]) {
            continue;
        }
        m_portCombo->setCurrentIndex(index);
        AfxMessageBox(
            QStringLiteral("The device of COM%1 holds a control character.").arg(index + 1), MB_OK);
        m_deviceCombo->setFocus();
        return false;
    }
    return true;
}

// The Device field follows the COM port the list shows, however it was chosen.
void CSettingsDlg::OnPortShown(int index) {
    m_nDeviceIndex = index >= 0 && index < kPortCount ? index : -1;
    m_deviceCombo->setEnabled(m_nDeviceIndex >= 0);
    const QString path = m_nDeviceIndex >= 0
                             ? FromLocal(m_devices[static_cast<std::size_t>(m_nDeviceIndex)])
                             : QString();
    m_deviceCombo->setCurrentIndex(m_deviceCombo->findText(path));
    m_deviceCombo->setEditText(path);
    OnDeviceText(path);
}

void CSettingsDlg::OnDeviceText(const QString& text) {
    if (m_nDeviceIndex < 0) {
        m_deviceState->clear();
        return;
    }
    const std::string path = ToLocal(text);
    m_devices[static_cast<std::size_t>(m_nDeviceIndex)] = path;
    if (path.empty()) {
        m_deviceState->setText(QStringLiteral("empty: COM%1 is %2")
                                   .arg(m_nDeviceIndex + 1)
                                   .arg(FromLocal(DefaultComPortPath(m_nDeviceIndex + 1))));
        return;
    }
    // What the list knows of a device present, and anything that stands in the
    // way of opening it (a device may also vanish while the dialog is open).
    QString state;
    for (const SerialDevice& device : m_present) {
        if (device.path == path) state = FromLocal(device.description);
    }
    const std::string presence = DescribePresence(path, m_roots);
    if (presence != "present" || state.isEmpty()) {
        state += (state.isEmpty() ? "" : "; ") + FromLocal(presence);
    }
    m_deviceState->setText(state);
}

}  // namespace velmora
