#include "UploadHistoryDlg.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "DialogUnits.h"
#include "RecordFile.h"
#include "Resources.h"
#include "UploadHistory.h"

namespace velmora {
namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Where the record lives, and what came of reading it.
QString StateText(const std::string& path, const std::string& whyNoPath, bool read,
                  const std::string& reason, const RecordReading& reading) {
    if (path.empty())
        return QStringLiteral("There is no place for the record of uploads: %1.")
            .arg(FromUtf8(whyNoPath));
    QString text = QStringLiteral("The record of uploads: %1").arg(FromUtf8(path));
    if (!read) return text + QStringLiteral("\nIt could not be read: %1.").arg(FromUtf8(reason));
    if (reading.records.empty()) text += QStringLiteral("\nNo uploads recorded yet.");
    if (reading.skipped == 1) text += QStringLiteral("\n1 line could not be read and is left out.");
    if (reading.skipped > 1)
        text += QStringLiteral("\n%1 lines could not be read and are left out.")
                    .arg(static_cast<qulonglong>(reading.skipped));
    return text;
}

}  // namespace

CUploadHistoryDlg::CUploadHistoryDlg(const std::string& path, const std::string& whyNoPath,
                                     QWidget* parent)
    : QDialog(parent) {
    setFont(DialogFont());
    setWindowTitle(QStringLiteral("Upload History"));
    setObjectName(QString::number(IDD_UPLOAD_HISTORY));

    RecordReading reading;
    std::string reason;
    const bool read = path.empty() || ReadUploadRecords(path, reading, &reason);

    auto* state = new QLabel(StateText(path, whyNoPath, read, reason, reading), this);
    state->setObjectName(QString::number(IDC_HISTORY_STATE));
    state->setWordWrap(true);
    state->setTextInteractionFlags(Qt::TextSelectableByMouse);

    const std::vector<std::string>& headings = HistoryHeadings();
    auto* table = new QTableWidget(static_cast<int>(reading.records.size()),
                                   static_cast<int>(headings.size()), this);
    table->setObjectName(QString::number(IDC_HISTORY_LIST));
    table->setAccessibleName(QStringLiteral("Uploads"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    QStringList labels;
    for (const std::string& heading : headings) labels << FromUtf8(heading);
    table->setHorizontalHeaderLabels(labels);
    // Newest first: the record holds its lines oldest first.
    int row = 0;
    for (auto it = reading.records.rbegin(); it != reading.records.rend(); ++it, ++row) {
        const std::vector<std::string> cells = HistoryCells(*it);
        for (int column = 0; column < static_cast<int>(cells.size()); ++column) {
            table->setItem(row, column,
                           new QTableWidgetItem(FromUtf8(cells[static_cast<std::size_t>(column)])));
        }
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QString::number(IDCANCEL));
    close->setAccessibleName(QStringLiteral("Close"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(state);
    layout->addWidget(table, 1);
    layout->addWidget(close, 0, Qt::AlignRight);
    setTabOrder(table, close);
    table->setFocus(Qt::OtherFocusReason);
    resize(DialogUnitsToPixels(font(), 0, 0, 380, 200).size());
}

}  // namespace velmora
