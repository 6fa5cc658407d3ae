// Shared helpers of the dialog tests: a recorder in place of the message box,
// a scratch current directory, a main window ready for use, and a driver for
// modal dialogs that never blocks.
#pragma once

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "MainDlg.h"
#include "MessageBox.h"
#include "PlatformNames.h"
#include "RecordFile.h"
#include "Resources.h"

namespace velmora::test {

// Records every box instead of showing it.
class BoxRecorder {
  public:
    BoxRecorder() {
        m_previous = SetMessageBoxHook([this](const BoxRequest& box) {
            m_boxes.push_back(box);
            if (m_onBox) m_onBox(box);
        });
    }
    ~BoxRecorder() { SetMessageBoxHook(m_previous); }
    const std::vector<BoxRequest>& Boxes() const { return m_boxes; }
    QStringList Texts() const {
        QStringList texts;
        for (const BoxRequest& box : m_boxes) texts << box.text;
        return texts;
    }
    void Clear() { m_boxes.clear(); }
    // Runs while each box is up, as the user would, after it was recorded.
    void SetOnBox(std::function<void(const BoxRequest&)> onBox) { m_onBox = std::move(onBox); }

  private:
    std::vector<BoxRequest> m_boxes;
    std::function<void(const BoxRequest&)> m_onBox;
    MessageBoxHook m_previous;
};

// A fresh empty directory made current for the life of the object.
class ScratchDir {
  public:
    ScratchDir() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~ScratchDir() { QDir::setCurrent(m_previous); }
    QString Path() const { return m_dir.path(); }
    QString File(const QString& name) const { return m_dir.filePath(name); }

  private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// A shown main window, initialised as at start-up but without the banner.
inline std::unique_ptr<CMainDlg> OpenMainDlg() {
    auto dlg = std::make_unique<CMainDlg>(CMainDlg::Options{.showBanner = false, .startFile = {}});
    dlg->OnInitDialog();
    dlg->show();
    return dlg;
}

// What a window test starts from: a scratch current folder, a box recorder and
// a main window opened there, torn down in the reverse order.
struct WindowScratch {
    ScratchDir dir;
    BoxRecorder boxes;
    std::unique_ptr<CMainDlg> dlg = OpenMainDlg();
};

// The record of uploads kept in `folder` (the system's state folder, whose
// "velmora" holds it) for the life of the object.
class RecordFolder {
  public:
    explicit RecordFolder(const QString& folder)
        : m_previous(qgetenv(kVariable)), m_wasSet(qEnvironmentVariableIsSet(kVariable)) {
        qputenv(kVariable, QDir::toNativeSeparators(folder).toUtf8());
    }
    ~RecordFolder() {
        if (m_wasSet) {
            qputenv(kVariable, m_previous);
        } else {
            qunsetenv(kVariable);
        }
    }
    RecordFolder(const RecordFolder&) = delete;
    RecordFolder& operator=(const RecordFolder&) = delete;

    static std::string Path() { return DefaultRecordPath(); }
    static std::vector<UploadRecord> Records() {
        RecordReading reading;
        ReadUploadRecords(Path(), reading);
        return reading.records;
    }

  private:
    static constexpr const char* kVariable = kWindows ? "LOCALAPPDATA" : "XDG_STATE_HOME";
    QByteArray m_previous;
    bool m_wasSet;
};

template <class T>
T* Control(QWidget& dialog, int id) {
    return dialog.findChild<T*>(QString::number(id));
}

inline QStringList RowTexts(CMainDlg& dlg) {
    QStringList texts;
    for (const DstRow& row : dlg.Rows()) {
        texts << QString::fromStdString(row.begin) + " " + QString::fromStdString(row.end);
    }
    return texts;
}

// Sets the pickers' dates (their time of day is kept) and presses Add.
inline void AddRow(CMainDlg& dlg, QDate begin, QDate end) {
    Control<QDateEdit>(dlg, IDC_BEGIN_DATE)->setDate(begin);
    Control<QDateEdit>(dlg, IDC_END_DATE)->setDate(end);
    Control<QPushButton>(dlg, IDC_ADD)->click();
}

// Fifteen rows, one per year from 2020: 5 March to 29 October.
inline void FillTable(CMainDlg& dlg) {
    for (int year = 2020; year < 2020 + kMaxRows; ++year) {
        AddRow(dlg, QDate(year, 3, 5), QDate(year, 10, 29));
    }
}

// A key pressed in an active window: it reaches the window's focus widget and
// goes up to the dialog if that widget does not take it.
inline void PressKey(QWidget& window, Qt::Key key) {
    QWidget* focus = window.focusWidget();
    QTest::keyClick(focus ? focus : &window, key);
}

// Runs `drive` on the next modal dialog once it is up, then closes that dialog
// with Cancel if `drive` left it open, so a failing test never hangs. The timer
// that waits is returned: a test that expects no dialog deletes it.
inline QPointer<QTimer> WhenModal(std::function<void(QDialog&)> drive) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, drive = std::move(drive)] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        timer->stop();
        timer->deleteLater();
        drive(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    timer->start();
    return timer;
}

// Runs `action` and tells whether a modal dialog came up during it (which is
// then closed with Cancel).
inline bool AskedDuring(const std::function<void()>& action) {
    bool asked = false;
    const QPointer<QTimer> waiting = WhenModal([&asked](QDialog&) { asked = true; });
    action();
    delete waiting.data();
    return asked;
}

}  // namespace velmora::test
