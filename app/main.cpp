// The window program. Its one argument, when given, is a .dst file to open.
#include "MainApp.h"

int main(int argc, char** argv) {
    velmora::CMainApp app(argc, argv);
    app.InitInstance();
    return 0;
}
