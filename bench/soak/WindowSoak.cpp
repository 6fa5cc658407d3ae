#include "WindowSoak.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <optional>

#include "AppTestSupport.h"
#include "DateFile.h"
#include "Files.h"
#include "Subprocess.h"

namespace velmora::soak {
namespace {

using test::Simulator;

class WindowSoak {
  public:
    WindowSoak(int timeoutMs, Figures& figures) : m_figures(figures) {
        QDir::setCurrent(m_dir.path());
        test::WriteVelmoraIni(m_dir.filePath("Velmora.ini").toStdString(), m_simulator.DevicePath(),
                              timeoutMs, true);
        m_dlg = test::OpenMainDlg();
        m_dlg->activateWindow();
        // Two tables to reload from: the one typed in, and the same a year later.
        test::FillTable(*m_dlg);
        m_files[0] = m_dir.filePath("first.dst");
        m_files[1] = m_dir.filePath("second.dst");
        DateFileBytes bytes = RowsToFileBytes(m_dlg->Rows(), 0);
        WriteDateFile(m_files[0].toStdString(), bytes);
        for (std::size_t i = 4; i < bytes.size(); i += 5) ++bytes[i];
        WriteDateFile(m_files[1].toStdString(), bytes);
        m_dlg->SetFileDialogHook([this](CMainDlg::FileDialogKind) { return m_chosen; });
    }

    void Run(int uploads) {
        m_figures.samples.push_back(TakeSample(0));
        auto* send = test::Control<QPushButton>(*m_dlg, IDC_SEND);
        for (int i = 0; i < uploads; ++i) {
            if (i % 25 == 0) Reload(i / 25 % 2);
            QElapsedTimer clock;
            clock.start();
            const QString text = ClickAndCloseBox(send);
            m_figures.Timed(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            const QString progress = test::Control<QLineEdit>(*m_dlg, IDC_PROGRESS)->text();
            if (text != QStringLiteral("Done!") || progress != QStringLiteral("15"))
                m_figures.Wrong("upload by Send: box \"" + text.toStdString() + "\", progress " +
                                progress.toStdString());
            m_figures.Count();
            m_figures.SampleIfDue();
        }
        m_figures.SampleAtEnd();
    }

  private:
    // File > Open of one of the two tables; the rows must be the file's.
    void Reload(int which) {
        m_chosen = m_files[which];
        m_dlg->Dispatch({MsgKind::Command, ID_FILE_OPEN, 0, 0, 0, {}});
        DateFileBytes bytes{};
        ReadDateFile(m_files[which].toStdString(), bytes);
        if (RowsToFileBytes(m_dlg->Rows(), m_dlg->GetDateOrder()) != bytes)
            m_figures.Wrong("the rows are not those of " + m_files[which].toStdString());
    }

    // Clicks `button`, waits for the box that ends the exchange and closes it
    // with Return; the box's text, empty when none came.
    QString ClickAndCloseBox(QPushButton* button) {
        QString text;
        QTimer watch;
        watch.setInterval(2);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || !text.isEmpty()) return;
            text = box->text();
            QTest::keyClick(box, Qt::Key_Return);
        });
        watch.start();
        QTest::mouseClick(button, Qt::LeftButton);
        QElapsedTimer waited;
        waited.start();
        while (text.isEmpty() && waited.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        watch.stop();
        return text;
    }

    Figures& m_figures;
    QTemporaryDir m_dir;
    Simulator m_simulator;
    std::unique_ptr<CMainDlg> m_dlg;
    QString m_files[2];
    std::optional<QString> m_chosen;
};

}  // namespace

void RunWindowSoak(int timeoutMs, int uploads, Figures& figures) {
    WindowSoak soak(timeoutMs, figures);
    soak.Run(uploads);
}

}  // namespace velmora::soak
