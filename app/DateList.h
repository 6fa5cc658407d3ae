// The date table as the window shows it: a list of two columns, "DST begins"
// and "DST ends", one row a DstRow, one row selected at most.
#pragma once

#include <QTableWidget>
#include <vector>

#include "DateTable.h"

class QFont;
class QPoint;

namespace velmora {

class DateList : public QTableWidget {
  public:
    DateList(const QFont& font, QWidget* parent);

    // The two column headers, each half the list wide; once the list has its size.
    void CreateColumns();

    std::vector<DstRow> Rows() const;
    void AppendRow(const DstRow& row);
    void ReplaceRows(const std::vector<DstRow>& rows);
    // The selected row, if one is.
    void RemoveSelectedRow();
    bool HasSelectedRow() const;

    // Whether a point of the screen lies strictly inside the list: its left
    // column and top row of pixels do not count.
    bool HitTest(const QPoint& screenPoint) const;
};

}  // namespace velmora
