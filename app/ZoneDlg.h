// The "New from Time Zone" dialog: a zone of the database (with a filter), the
// first year and the rows convention, and a preview of the fifteen rows they
// give. OK is possible only while the choices give fifteen rows.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "DateTable.h"
#include "RowsConvention.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace velmora {

class CZoneDlg : public QDialog {
  public:
    // The preview shows the rows in `order`; the system's zone and this year
    // are chosen at first.
    explicit CZoneDlg(DateOrder order, QWidget* parent = nullptr);

    // IDOK or IDCANCEL.
    int DoModal();
    // The fifteen rows of the choices, in the dialog's date order (empty while
    // the choices give none).
    const std::vector<DstRow>& Rows() const { return m_rows; }

    void accept() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ApplyFilter();
    void Refresh();

    DateOrder m_nDateOrder;
    std::vector<DstRow> m_rows;

    QLineEdit* m_filter = nullptr;
    QListWidget* m_zoneList = nullptr;
    QSpinBox* m_firstYear = nullptr;
    QComboBox* m_convention = nullptr;
    QTableWidget* m_preview = nullptr;
    QLabel* m_reason = nullptr;
    QPushButton* m_ok = nullptr;
};

}  // namespace velmora
