#include "MainApp.h"

#include <QDir>
#include <QStandardPaths>
#include <QStringList>

#include "MainDlg.h"

namespace velmora {

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {}

bool CMainApp::InitInstance() {
    CMainDlg dlg(StartOptions(arguments()));
    dlg.DoModal();
    return false;
}

CMainDlgOptions CMainApp::StartOptions(QStringList args) {
    CMainDlgOptions options;
    args.removeFirst();
    // The Start-menu entry and a double-clicked table pass --user-settings:
    // whatever folder a table lies in, the settings are the user's own ones,
    // in "Velmora" of the user's documents, made when missing.
    if (!args.isEmpty() && args.first() == QLatin1String(kUserSettingsOption)) {
        args.removeFirst();
        options.settingsFolder =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
            QStringLiteral("/Velmora");
        QDir().mkpath(options.settingsFolder);
    }
    // The one argument left is a .dst file to open, as File > Open would: a
    // file that cannot be read is said so in the window, whose table stays empty.
    if (!args.isEmpty()) options.startFile = args.first();
    return options;
}

}  // namespace velmora
