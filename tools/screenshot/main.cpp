// velmora-screenshot: renders the real main window (without the start-up
// banner) to a PNG file, optionally with a date file opened, for the README.
//   velmora-screenshot OUTPUT.png [TABLE.dst]
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>

#include "MainDlg.h"
#include "Resources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmora-screenshot OUTPUT.png [TABLE.dst]\n");
        return 1;
    }
    const QString output = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
    velmora::CMainDlg dlg(velmora::CMainDlg::Options{.showBanner = false, .startFile = {}});
    dlg.OnInitDialog();
    if (argc > 2) {
        const QString table = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[2]));
        dlg.SetFileDialogHook(
            [table](velmora::CMainDlg::FileDialogKind) { return std::optional<QString>(table); });
        velmora::DlgMessage open;
        open.id = velmora::ID_FILE_OPEN;
        dlg.Dispatch(open);
    }
    dlg.show();
    QApplication::processEvents();
    if (!dlg.grab().save(output, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
