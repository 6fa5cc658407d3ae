#include "ZoneDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDate>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <algorithm>

#include "DialogUnits.h"
#include "Resources.h"
#include "ZoneTable.h"

namespace velmora {

CZoneDlg::CZoneDlg(DateOrder order, QWidget* parent) : QDialog(parent), m_nDateOrder(order) {
    const QFont font = DialogFont();
    setFont(font);
    setWindowTitle(QStringLiteral("New from Time Zone"));
    setObjectName(QString::number(IDD_ZONE));
    setFixedSize(DialogUnitsToPixels(font, 0, 0, 300, 232).size());

    m_filter = new QLineEdit(this);
    PlaceControl(m_filter, IDC_ZONE_FILTER, font, 37, 6, 113, 12);
    PlaceLabel(QStringLiteral("Filter:"), m_filter, font, 7, 8, 28, 10);
    m_filter->setClearButtonEnabled(true);
    m_filter->installEventFilter(this);
    m_zoneList = new QListWidget(this);
    PlaceControl(m_zoneList, IDC_ZONE_LIST, font, 7, 22, 143, 176);
    m_zoneList->setAccessibleName(QStringLiteral("Time zone"));
    for (const std::string& zone : DatabaseZoneIds())
        m_zoneList->addItem(QString::fromStdString(zone));

    m_firstYear = new QSpinBox(this);
    PlaceControl(m_firstYear, IDC_ZONE_FIRST_YEAR, font, 210, 6, 40, 12);
    PlaceLabel(QStringLiteral("First year:"), m_firstYear, font, 160, 8, 45, 10);
    m_firstYear->setRange(kMinFirstYear, kMaxFirstYear);
    m_firstYear->setValue(std::clamp(QDate::currentDate().year(), kMinFirstYear, kMaxFirstYear));
    m_convention = new QComboBox(this);
    PlaceControl(m_convention, IDC_ZONE_ROWS, font, 210, 22, 80, 12);
    PlaceLabel(QStringLiteral("Rows:"), m_convention, font, 160, 24, 45, 10);
    m_convention->addItem(QStringLiteral("calendar year"), int(RowsConvention::Calendar));
    m_convention->addItem(QStringLiteral("period"), int(RowsConvention::Period));

    m_preview = new QTableWidget(0, 2, this);
    PlaceControl(m_preview, IDC_ZONE_PREVIEW, font, 160, 40, 130, 158);
    m_preview->setAccessibleName(QStringLiteral("Preview"));
    m_preview->setHorizontalHeaderLabels(
        {QStringLiteral("DST begins"), QStringLiteral("DST ends")});
    m_preview->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_preview->verticalHeader()->hide();
    // Fifteen rows fit without scrolling.
    m_preview->verticalHeader()->setMinimumSectionSize(QFontMetrics(font).height());
    m_preview->verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height());
    m_preview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->setFocusPolicy(Qt::NoFocus);

    // Why the choices give no table; the refusal of a zone is seen here.
    m_reason = new QLabel(this);
    PlaceControl(m_reason, IDC_ZONE_REASON, font, 7, 202, 170, 24);
    m_reason->setWordWrap(true);
    m_reason->setStyleSheet(QStringLiteral("color: #b00000"));

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(m_ok, IDOK, font, 184, 208, 50, 14);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &CZoneDlg::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancel, IDCANCEL, font, 240, 208, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CZoneDlg::reject);

    setTabOrder(m_filter, m_zoneList);
    setTabOrder(m_zoneList, m_firstYear);
    setTabOrder(m_firstYear, m_convention);
    setTabOrder(m_convention, m_ok);
    setTabOrder(m_ok, cancel);

    const QList<QListWidgetItem*> system =
        m_zoneList->findItems(QString::fromStdString(SystemZoneId()), Qt::MatchExactly);
    if (!system.isEmpty()) m_zoneList->setCurrentItem(system.first());
    m_zoneList->scrollToItem(m_zoneList->currentItem(), QAbstractItemView::PositionAtCenter);

    connect(m_filter, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(m_zoneList, &QListWidget::currentRowChanged, this, [this] { Refresh(); });
    connect(m_firstYear, &QSpinBox::valueChanged, this, [this] { Refresh(); });
    connect(m_convention, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    Refresh();
    m_filter->setFocus();
}

int CZoneDlg::DoModal() {
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

// Only the zones whose name holds the filter text stay listed; a chosen zone
// that is filtered away gives its place to the first one left.
void CZoneDlg::ApplyFilter() {
    const QString text = m_filter->text().trimmed();
    QListWidgetItem* firstShown = nullptr;
    for (int i = 0; i < m_zoneList->count(); ++i) {
        QListWidgetItem* item = m_zoneList->item(i);
        const bool shown = item->text().contains(text, Qt::CaseInsensitive);
        item->setHidden(!shown);
        if (shown && !firstShown) firstShown = item;
    }
    QListWidgetItem* current = m_zoneList->currentItem();
    if (!current || current->isHidden()) {
        m_zoneList->setCurrentItem(firstShown);
        if (!firstShown) Refresh();
    }
    if (m_zoneList->currentItem()) m_zoneList->scrollToItem(m_zoneList->currentItem());
}

void CZoneDlg::Refresh() {
    m_rows.clear();
    QString reason;
    const QListWidgetItem* zone = m_zoneList->currentItem();
    if (!zone || zone->isHidden()) {
        reason = m_zoneList->count() == 0 ? QStringLiteral("The time-zone database has no zones.")
                                          : QStringLiteral("Choose a time zone.");
    } else {
        const auto convention = static_cast<RowsConvention>(m_convention->currentData().toInt());
        const ZoneRows made =
            BuildZoneRows(zone->text().toStdString(), m_firstYear->value(), convention);
        if (made.error.empty()) {
            m_rows = IsMonthFirst(m_nDateOrder) ? ReorderRows(made.rows) : made.rows;
        } else {
            reason = QString::fromStdString(made.error) + QStringLiteral(": no table.");
        }
    }
    m_preview->setRowCount(static_cast<int>(m_rows.size()));
    for (int r = 0; r < static_cast<int>(m_rows.size()); ++r) {
        int column = 0;
        for (const std::string& text : {m_rows[r].begin, m_rows[r].end}) {
            auto* item = new QTableWidgetItem(QString::fromStdString(text));
            item->setTextAlignment(Qt::AlignCenter);
            m_preview->setItem(r, column++, item);
        }
    }
    m_reason->setText(reason);
    m_ok->setEnabled(!m_rows.empty());
}

void CZoneDlg::accept() {
    if (!m_rows.empty()) QDialog::accept();
}

// Up and Down in the filter field move through the zones it leaves.
bool CZoneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_filter && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
            key == Qt::Key_PageDown) {
            QKeyEvent copy(QEvent::KeyPress, key, static_cast<QKeyEvent*>(event)->modifiers());
            QCoreApplication::sendEvent(m_zoneList, &copy);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace velmora
