#include "MainApp.h"

#include "MainDlg.h"

namespace velmora {

CMainApp::CMainApp(int& argc, char** argv) : QApplication(argc, argv) {}

bool CMainApp::InitInstance() {
    CMainDlg dlg;
    dlg.DoModal();
    return false;
}

}  // namespace velmora
