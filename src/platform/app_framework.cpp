/*
 * The application framework's process-wide part: the one application object and the
 * argument vector, and the main window. Shared by both platforms; only the entry point differs.
 */
#include "platform/app_framework.h"
#include "platform/windowing.h"

static CWinApp* registeredApplication = nullptr;
static int recordedCount = 0;
static char** recordedVector = nullptr;
static platform::WindowHandle mainWindowHandle = nullptr;

CWinApp::CWinApp() {
    registeredApplication = this;
}

CWinApp::~CWinApp() {
    if (registeredApplication == this)
        registeredApplication = nullptr;
}

bool CWinApp::InitInstance() {
    return true;
}

int CWinApp::ExitInstance() {
    return 0;
}

CWinApp* CWinApp::application() {
    return registeredApplication;
}

namespace platform {

int runApplication() {
    CWinApp* application = CWinApp::application();
    if (application == nullptr)
        return -1;
    application->InitInstance();
    return application->ExitInstance();
}

void setArgumentVector(int count, char** vector) {
    recordedCount = count;
    recordedVector = vector;
}

int argumentCount() {
    return recordedCount;
}

char** argumentVector() {
    return recordedVector;
}

void setMainWindow(WindowHandle window) {
    mainWindowHandle = window;
}

WindowHandle mainWindow() {
    return mainWindowHandle;
}

} // namespace platform
