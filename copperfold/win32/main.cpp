// Copperfold's entry point.
#include <windows.h>

#include "common/win32/system_info.h"
#include "copperfold_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    CCopperfoldApp app(win32::ModulePath());
    return app.Main(commandLine ? commandLine : L"");
}
