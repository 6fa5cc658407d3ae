#include "AboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "DialogUnits.h"
#include "Resources.h"

namespace velmora {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const QFont font = DialogFont();
    setFont(font);
    // The box has no title. Qt shows the application's name in place of an
    // empty one on every platform, so the title is a single blank.
    setWindowTitle(QStringLiteral(" "));
    setObjectName(QString::number(IDD_ABOUTBOX));
    setFixedSize(DialogUnitsToPixels(font, 0, 0, 235, 55).size());

    auto* icon = new QLabel(this);
    const QPixmap pixmap = QIcon(kIconResource).pixmap(32, 32);
    icon->setPixmap(pixmap);
    icon->setGeometry(QRect(DialogUnitsToPixels(font, 11, 15, 0, 0).topLeft(), pixmap.size()));

    auto* name = new QLabel(QStringLiteral("Velmora Version 1.30"), this);
    PlaceControl(name, -1, font, 45, 15, 119, 8);
    auto* notice = new QLabel(QStringLiteral("© 2026 Velmora contributors"), this);
    PlaceControl(notice, -1, font, 45, 30, 119, 8);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(ok, IDOK, font, 178, 7, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace velmora
