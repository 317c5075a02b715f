// Dockline's entry point.
#include <windows.h>

#include "common/win32/system_info.h"
#include "dockline_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    CDocklineApp app(win32::ModulePath(), commandLine ? commandLine : L"");
    return app.Main();
}
