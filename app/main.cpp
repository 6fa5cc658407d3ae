// The window program. It reads no command line of its own.
#include "MainApp.h"

int main(int argc, char** argv) {
    velmora::CMainApp app(argc, argv);
    app.InitInstance();
    return 0;
}
