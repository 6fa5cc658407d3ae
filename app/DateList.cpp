#include "DateList.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <string>

namespace velmora {

DateList::DateList(const QFont& font, QWidget* parent) : QTableWidget(parent) {
    setAccessibleName(QStringLiteral("DST table"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    // Tab goes on to the next control, as from every other one; the arrows
    // walk the rows.
    setTabKeyNavigation(false);
    // The two columns fill the list; the vertical scroll bar of a full table
    // must not add a horizontal one for the few pixels it takes.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(QFontMetrics(font).height() + 4);
    horizontalHeader()->setSectionsClickable(false);
}

void DateList::CreateColumns() {
    setColumnCount(2);
    const int columnWidth = width() / 2 - 2;
    int column = 0;
    for (const QString& title : {QStringLiteral("DST begins"), QStringLiteral("DST ends")}) {
        auto* header = new QTableWidgetItem(title);
        header->setTextAlignment(Qt::AlignCenter);
        setHorizontalHeaderItem(column, header);
        setColumnWidth(column++, columnWidth);
    }
}

std::vector<DstRow> DateList::Rows() const {
    std::vector<DstRow> rows;
    for (int r = 0; r < rowCount(); ++r) {
        const auto text = [&](int column) {
            const QTableWidgetItem* cell = item(r, column);
            return cell ? cell->text().toStdString() : std::string();
        };
        rows.push_back({text(0), text(1)});
    }
    return rows;
}

void DateList::AppendRow(const DstRow& row) {
    const int r = rowCount();
    insertRow(r);
    int column = 0;
    for (const std::string& text : {row.begin, row.end}) {
        auto* cell = new QTableWidgetItem(QString::fromStdString(text));
        cell->setTextAlignment(Qt::AlignCenter);
        setItem(r, column++, cell);
    }
}

void DateList::ReplaceRows(const std::vector<DstRow>& rows) {
    setRowCount(0);
    for (const DstRow& row : rows) AppendRow(row);
}

void DateList::RemoveSelectedRow() {
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (!selected.isEmpty()) removeRow(selected.first().row());
}

bool DateList::HasSelectedRow() const {
    return selectionModel()->hasSelection();
}

bool DateList::HitTest(const QPoint& screenPoint) const {
    const QRect list(mapToGlobal(QPoint(0, 0)), size());
    return screenPoint.x() > list.x() && screenPoint.x() < list.x() + list.width() &&
           screenPoint.y() > list.y() && screenPoint.y() < list.y() + list.height();
}

}  // namespace velmora
