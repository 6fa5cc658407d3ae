// What a screen reader is told: every control a user can operate in the main
// window, Settings and New from Time Zone has a name, read through the same
// accessibility tree that AT-SPI and UI Automation read, and the date fields
// tell the order of their parts.
#include <QAccessible>
#include <QDateEdit>
#include <QRadioButton>

#include "AppTestSupport.h"

using namespace velmora;
using namespace velmora::test;

namespace {

bool IsOperable(QAccessible::Role role) {
    switch (role) {
        case QAccessible::PushButton:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::ComboBox:
        case QAccessible::SpinBox:
        case QAccessible::EditableText:
        case QAccessible::List:
        case QAccessible::Table:
            return true;
        default:
            return false;
    }
}

// The name a screen reader says for a control: that of a label tied to it, or
// its own, except that a combo box's own name on Linux is the value it shows.
QString SpokenName(QAccessibleInterface* node) {
    for (const auto& [label, relation] : node->relations(QAccessible::Label)) {
        if (!label->text(QAccessible::Name).isEmpty()) return label->text(QAccessible::Name);
    }
    const QString name = node->text(QAccessible::Name);
    const bool byValue =
        node->role() == QAccessible::ComboBox && name == node->text(QAccessible::Value);
    return byValue ? QString() : name;
}

// The operable controls below `node` that a screen reader could not name. The
// parts of a control (a list's rows, a spin box's arrows) are the control's.
void CollectUnnamed(QAccessibleInterface* node, QStringList& unnamed) {
    if (node == nullptr || node->state().invisible) return;
    if (IsOperable(node->role())) {
        if (SpokenName(node).isEmpty()) {
            unnamed << QStringLiteral("%1 (role %2)")
                           .arg(node->object()->objectName())
                           .arg(node->role(), 0, 16);
        }
        return;
    }
    for (int i = 0; i < node->childCount(); ++i) CollectUnnamed(node->child(i), unnamed);
}

QStringList Unnamed(QWidget& window) {
    QStringList unnamed;
    CollectUnnamed(QAccessible::queryAccessibleInterface(&window), unnamed);
    return unnamed;
}

}  // namespace

class AccessibleNamesTest : public QObject {
    Q_OBJECT

  private slots:
    void everyOperableControlHasAName() {
        WindowScratch scratch;
        CMainDlg& dlg = *scratch.dlg;
        const QStringList mainUnnamed = Unnamed(dlg);
        QVERIFY2(mainUnnamed.isEmpty(), qPrintable(mainUnnamed.join(", ")));

        QStringList settingsUnnamed{"not walked"};
        WhenModal([&](QDialog& settings) { settingsUnnamed = Unnamed(settings); });
        dlg.Dispatch({MsgKind::Command, ID_SETTINGS, 0, 0, 0, {}});
        QVERIFY2(settingsUnnamed.isEmpty(), qPrintable(settingsUnnamed.join(", ")));

        QStringList zonesUnnamed{"not walked"};
        WhenModal([&](QDialog& zones) { zonesUnnamed = Unnamed(zones); });
        dlg.Dispatch({MsgKind::Command, ID_FILE_NEW_FROM_ZONE, 0, 0, 0, {}});
        QVERIFY2(zonesUnnamed.isEmpty(), qPrintable(zonesUnnamed.join(", ")));

        QStringList historyUnnamed{"not walked"};
        WhenModal([&](QDialog& history) { historyUnnamed = Unnamed(history); });
        dlg.Dispatch({MsgKind::Command, ID_FILE_UPLOAD_HISTORY, 0, 0, 0, {}});
        QVERIFY2(historyUnnamed.isEmpty(), qPrintable(historyUnnamed.join(", ")));
    }

    // Without a mouse: Alt and a letter open a menu's command.
    void menusOpenWithTheirAltKeys() {
        WindowScratch scratch;
        CMainDlg& dlg = *scratch.dlg;
        QStringList opened;
        const auto open = [&](auto&& keys) {
            dlg.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dlg));
            WhenModal([&opened](QDialog& dialog) {
                opened << dialog.windowTitle();
                QTest::keyClick(&dialog, Qt::Key_Escape);
            });
            const qsizetype before = opened.size();
            keys();
            QTRY_COMPARE_WITH_TIMEOUT(opened.size(), before + 1, 5000);
            QTRY_COMPARE(QApplication::activeModalWidget(), nullptr);
        };
        open([&dlg] { QTest::keyClick(&dlg, Qt::Key_S, Qt::AltModifier); });
        open([&dlg] {
            QTest::keyClick(&dlg, Qt::Key_F, Qt::AltModifier);
            QTRY_VERIFY(QApplication::activePopupWidget() != nullptr);
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_N);
        });
        QCOMPARE(opened, (QStringList{"Settings", "New from Time Zone"}));
    }

    // The date fields say how their text reads, and follow the order chosen.
    void dateFieldsDescribeTheirOrder() {
        WindowScratch scratch;
        CMainDlg& dlg = *scratch.dlg;
        const auto description = [&dlg](int id) {
            return QAccessible::queryAccessibleInterface(Control<QDateEdit>(dlg, id))
                ->text(QAccessible::Description);
        };
        QCOMPARE(description(IDC_BEGIN_DATE), QStringLiteral("Date as DD/MM/YYYY"));
        WhenModal([](QDialog& settings) {
            QTest::mouseClick(Control<QRadioButton>(settings, IDC_MONTH_FIRST), Qt::LeftButton);
            QTest::mouseClick(Control<QPushButton>(settings, IDOK), Qt::LeftButton);
        });
        dlg.Dispatch({MsgKind::Command, ID_SETTINGS, 0, 0, 0, {}});
        QCOMPARE(description(IDC_END_DATE), QStringLiteral("Date as MM/DD/YYYY"));
    }
};

QTEST_MAIN(AccessibleNamesTest)
#include "AccessibleNamesTest.moc"
