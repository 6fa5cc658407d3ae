// The application object: runs the main window modally and ends with it.
#pragma once

#include <QApplication>
#include <QStringList>

namespace velmora {

struct CMainDlgOptions;

// Before a table to open: Velmora.ini is the one in "Velmora" of the user's
// documents, not the one of the current folder.
inline constexpr char kUserSettingsOption[] = "--user-settings";

class CMainApp : public QApplication {
  public:
    CMainApp(int& argc, char** argv);
    // Runs the main window until it closes. False: there is nothing left to run.
    bool InitInstance();
    // The window's options from the command line (the program's name first):
    // [--user-settings] [TABLE.dst].
    static CMainDlgOptions StartOptions(QStringList args);
};

}  // namespace velmora
