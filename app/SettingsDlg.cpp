#include "SettingsDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "DialogUnits.h"
#include "MessageBox.h"
#include "Resources.h"

namespace velmora {
namespace {

constexpr int kPortCount = 8;

}  // namespace

CSettingsDlg::CSettingsDlg(QWidget* parent) : QDialog(parent) {
    const QFont font = DialogFont();
    setFont(font);
    setWindowTitle(QStringLiteral("Settings"));
    setObjectName(QString::number(IDD_SETTINGS));
    setFixedSize(DialogUnitsToPixels(font, 0, 0, 192, 116).size());

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(ok, IDOK, font, 125, 10, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSettingsDlg::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancel, IDCANCEL, font, 125, 27, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CSettingsDlg::reject);

    // Digits, with a minus sign allowed in front so a negative period can be
    // stored as typed.
    m_timeoutEdit = new QLineEdit(this);
    PlaceControl(m_timeoutEdit, IDC_TIMEOUT, font, 45, 35, 50, 12);
    m_timeoutEdit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]*")), this));
    PlaceControl(new QLabel(QStringLiteral("Timeout:"), this), -1, font, 13, 35, 30, 10);

    m_portCombo = new QComboBox(this);
    m_portCombo->setEditable(true);
    m_portCombo->setInsertPolicy(QComboBox::NoInsert);
    PlaceControl(m_portCombo, IDC_PORT, font, 45, 10, 50, 85);
    m_portCombo->setFixedHeight(m_portCombo->sizeHint().height());
    PlaceControl(new QLabel(QStringLiteral("COM Port:"), this), -1, font, 7, 15, 33, 10);

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

    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_timeoutEdit);
    setTabOrder(m_timeoutEdit, m_portCombo);
    setTabOrder(m_portCombo, m_dayFirst);
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
    for (int n = 1; n <= kPortCount; ++n) m_portCombo->addItem(QStringLiteral("COM%1").arg(n));
    // A port outside 1..8 leaves the list without a selection.
    m_portCombo->setCurrentIndex(m_nPort >= 1 && m_nPort <= kPortCount ? m_nPort - 1 : -1);
    m_dayFirst->setChecked(m_nDateOrder == 0);
    m_monthFirst->setChecked(m_nDateOrder != 0);
}

bool CSettingsDlg::DoDataExchange(bool save) {
    if (!save) {
        m_timeoutEdit->setText(QString::number(m_nTimeout));
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
    m_nTimeout = timeout;
    if (index >= 0) m_nPort = index + 1;
    return true;
}

void CSettingsDlg::accept() {
    if (DoDataExchange(true)) QDialog::accept();
}

}  // namespace velmora
