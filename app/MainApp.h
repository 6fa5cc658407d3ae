// The application object: runs the main window modally and ends with it.
#pragma once

#include <QApplication>

namespace velmora {

class CMainApp : public QApplication {
  public:
    CMainApp(int& argc, char** argv);
    // Runs the main window until it closes. False: there is nothing left to run.
    bool InitInstance();
};

}  // namespace velmora
