// The window program. Its command line is --version, answered without a
// window, or a .dst file to open.
#include <cstdio>
#include <string_view>

#include "MainApp.h"
#include "version.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::fputs(VELMORA_VERSION_LINES("velmora"), stdout);
        return 0;
    }
    velmora::CMainApp app(argc, argv);
    app.InitInstance();
    return 0;
}
