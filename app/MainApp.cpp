#include "MainApp.h"

#include <QStringList>

#include "MainDlg.h"

namespace velmora {

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {}

bool CMainApp::InitInstance() {
    // The one argument is a .dst file to open, as File > Open would: a file
    // that cannot be read is said so in the window, whose table stays empty.
    CMainDlgOptions options;
    const QStringList args = arguments();
    if (args.size() > 1) options.startFile = args.at(1);
    CMainDlg dlg(options);
    dlg.DoModal();
    return false;
}

}  // namespace velmora
