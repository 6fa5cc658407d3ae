// The Device field of the Settings dialog, driven by mouse and keys: it follows
// the COM box, offers the devices of a made-up /dev and /sys, and OK stores in
// [Ports] only what was changed; a device chosen holds for the run even when
// Velmora.ini cannot be written.
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>

#include "AppTestSupport.h"
#include "MadeUpDevices.h"
#include "Subprocess.h"

using namespace velmora;
using namespace velmora::test;

namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Opens the combo box's own list with its arrow and clicks the item at `row`.
void ChooseWithMouse(QComboBox* combo, int row) {
    QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(combo->width() - 4, combo->height() / 2));
    QAbstractItemView* list = combo->view();
    QVERIFY(QTest::qWaitFor([list] { return list->isVisible(); }));
    // A list just opened ignores a release for one double-click interval.
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    const QRect item = list->visualRect(combo->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QVERIFY(QTest::qWaitFor([list] { return !list->isVisible(); }));
}

}  // namespace

class SerialDeviceFieldTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_dir = std::make_unique<ScratchDir>();
        m_boxes = std::make_unique<BoxRecorder>();
        const testing::MadeUpDevices tree(m_dir->Path().toStdString());
        tree.Tty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
        tree.UsbIds("usb1/1-1", "0403", "6001", "FT232R");
        m_adapter = QString::fromStdString(tree.Dev("ttyUSB0"));
        m_ini = m_dir->File("Velmora.ini");
        QFile ini(m_ini);
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Settings]\nPort=1\n\n[Ports]\nCOM1=/dev/ttyUSB5 ; my adapter\n; keep me\n");
        ini.close();
        m_dlg = OpenMainDlg();
        m_dlg->SetSerialRoots(tree.Roots());
    }
    void cleanup() {
        m_dlg.reset();
        m_boxes.reset();
        m_dir.reset();
    }

    void followsTheComBoxAndStoresOnlyTheDeviceChanged() {
        QStringList shown;
        QStringList states;
        WhenModal([&](QDialog& settings) {
            auto* port = Control<QComboBox>(settings, IDC_PORT);
            auto* device = Control<QComboBox>(settings, IDC_DEVICE);
            auto* state = Control<QLabel>(settings, IDC_DEVICE_STATE);
            shown << device->currentText();
            states << state->text();
            // An arrow key on the closed COM list moves it to COM2: the field follows.
            port->setFocus();
            QTest::keyClick(port, Qt::Key_Down);
            shown << device->currentText();
            // The adapter is offered and chosen, then pulled out: the list and the
            // line under the field follow, the choice stays.
            QCOMPARE(device->count(), 1);
            ChooseWithMouse(device, 0);
            states << state->text();
            QFile::remove(m_adapter);
            QTRY_COMPARE_WITH_TIMEOUT(device->count(), 0, 5000);
            shown << device->currentText();
            states << state->text();
            QTest::keyClick(port, Qt::Key_Up);
            shown << device->currentText();
            QTest::mouseClick(Control<QPushButton>(settings, IDOK), Qt::LeftButton);
        });
        OpenSettings();
        QCOMPARE(shown, (QStringList{"/dev/ttyUSB5", "/dev/ttyS1", m_adapter, "/dev/ttyUSB5"}));
        QVERIFY2(states[0].startsWith("not present: no such device"), qPrintable(states[0]));
        QVERIFY2(states[1].startsWith("FT232R (0403:6001); "), qPrintable(states[1]));
        QVERIFY2(states[2].startsWith("not present: no such device"), qPrintable(states[2]));
        QCOMPARE(m_dlg->Port(), 1);  // the COM list never closed on COM2
        const QByteArray stored = "[Ports]\nCOM1=/dev/ttyUSB5 ; my adapter\n; keep me\nCOM2=" +
                                  QFile::encodeName(m_adapter) + "\n";
        QVERIFY2(ReadAll(m_ini).endsWith(stored), ReadAll(m_ini).constData());
    }

    // While the dialog is open, an adapter plugged in joins the list and one
    // pulled out leaves it; the path being typed, its cursor and the COM port
    // stay, and the line under the field tells what the new device is.
    void followsAdaptersWhileTheUserTypes() {
        const testing::MadeUpDevices tree(m_dir->Path().toStdString());
        const QString plugged = QString::fromStdString(tree.Dev("ttyUSB1"));
        QStringList items;
        QString typed, port, state;
        WhenModal([&](QDialog& settings) {
            auto* device = Control<QComboBox>(settings, IDC_DEVICE);
            QLineEdit* field = device->lineEdit();
            field->setFocus();
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, plugged.mid(1));  // all but the first slash
            QTest::keyClick(field, Qt::Key_Home);
            QFile::remove(m_adapter);
            tree.Tty("ttyUSB1", "usb1/1-2/1-2:1.0/ttyUSB1");
            tree.UsbIds("usb1/1-2", "10c4", "ea60", "CP2102");
            QTRY_COMPARE_WITH_TIMEOUT(device->itemText(0), plugged, 5000);
            for (int i = 0; i < device->count(); ++i) items << device->itemText(i);
            QTest::keyClicks(field, "/");  // where the cursor was left: the start
            typed = field->text();
            port = Control<QComboBox>(settings, IDC_PORT)->currentText();
            state = Control<QLabel>(settings, IDC_DEVICE_STATE)->text();
        });
        OpenSettings();
        QCOMPARE(items, QStringList{plugged});
        QCOMPARE(typed, plugged);
        QCOMPARE(port, QStringLiteral("COM1"));
        QVERIFY2(state.startsWith("CP2102 (10c4:ea60)"), qPrintable(state));
    }

    void keyboardOnlyTypesAPathAndTheDefaultRemovesTheKey() {
        bool reached = false;
        WhenModal([&](QDialog& settings) {
            // Keys go to the dialog once it is the active window.
            QVERIFY(QTest::qWaitForWindowActive(&settings));
            // Tab from OK through Cancel, Timeout and COM Port to the Device field.
            auto* device = Control<QComboBox>(settings, IDC_DEVICE);
            for (int tabs = 0; tabs < 4; ++tabs) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            QWidget* field = QApplication::focusWidget();
            reached = field == device || field == device->lineEdit();
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, "/dev/ttyS0");  // COM1's default
            QTest::keyClick(field, Qt::Key_Return);
        });
        OpenSettings();
        QVERIFY(reached);
        QVERIFY(m_boxes->Texts().isEmpty());
        QVERIFY2(ReadAll(m_ini).endsWith("[Ports]\n; keep me\n"), ReadAll(m_ini).constData());
    }

    // A device chosen in Settings holds for the run although Velmora.ini is
    // read-only: Send goes to it, and the file is left as it was.
    void chosenDeviceHoldsWithAReadOnlyProfile() {
        const QString log = m_dir->File("frames.log");
        Simulator device({"--log", log.toStdString()});
        const QByteArray before = ReadAll(m_ini);
        QVERIFY(QFile::setPermissions(m_ini, QFile::ReadOwner | QFile::ReadGroup));
        const auto typeInto = [](QWidget* field, const QString& text) {
            field->setFocus();
            QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(field, text);
        };
        WhenModal([&](QDialog& settings) {
            typeInto(Control<QComboBox>(settings, IDC_DEVICE)->lineEdit(),
                     QString::fromStdString(device.DevicePath()));
            typeInto(Control<QLineEdit>(settings, IDC_TIMEOUT), QStringLiteral("150"));
            QTest::keyClick(&settings, Qt::Key_Return);
        });
        OpenSettings();
        QCOMPARE(ReadAll(m_ini), before);
        QCOMPARE(m_boxes->Texts(), QStringList{"Unable to save the settings!"});
        QVERIFY2(m_boxes->Boxes().front().details.contains(": the file is read-only."),
                 qPrintable(m_boxes->Boxes().front().details));
        m_boxes->Clear();

        // The dialog shows the choice again, and Cancel keeps it.
        QString shown;
        WhenModal([&](QDialog& settings) {
            shown = Control<QComboBox>(settings, IDC_DEVICE)->currentText();
            QTest::keyClick(&settings, Qt::Key_Escape);
        });
        OpenSettings();
        QCOMPARE(shown, QString::fromStdString(device.DevicePath()));

        FillTable(*m_dlg);
        QTest::mouseClick(Control<QPushButton>(*m_dlg, IDC_SEND), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->Texts(), QStringList{"Done!"}, 10000);
        QCOMPARE(LoggedFrameCount(log.toStdString()), std::size_t{kMaxRows});
    }

  private:
    void OpenSettings() { m_dlg->Dispatch({MsgKind::Command, ID_SETTINGS, 0, 0, 0, {}}); }

    std::unique_ptr<ScratchDir> m_dir;
    std::unique_ptr<BoxRecorder> m_boxes;
    std::unique_ptr<CMainDlg> m_dlg;
    QString m_adapter;
    QString m_ini;
};

QTEST_MAIN(SerialDeviceFieldTest)
#include "SerialDeviceFieldTest.moc"
