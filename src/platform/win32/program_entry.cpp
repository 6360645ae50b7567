/*
 * Process entry of the Windows program: records the argument vector the C runtime built
 * from the command line (by the Windows rules for quotes and backslashes, in the ANSI code
 * page) and runs the application object.
 */
#include <cstdlib>
#include <windows.h>

#include "platform/app_framework.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    platform::setArgumentVector(__argc, __argv);
    return platform::runApplication();
}
