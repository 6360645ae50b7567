/*
 * The smallest application framework that gives the launcher's application class its
 * shape: one static application object whose instance initialisation does the work and
 * whose instance exit yields the process exit code. WinMain (Windows) or main (Linux)
 * records the argument vector and calls runApplication.
 */
#pragma once

class CWinApp {
public:
    // Registers this object as the process's application; there is exactly one.
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns true to go on into a message loop, false to go straight to ExitInstance.
    // This framework has no message loop of its own: a true result also ends the process.
    virtual bool InitInstance();
    // Its result becomes the process exit code.
    virtual int ExitInstance();

    static CWinApp* application();
};

namespace platform {

// Runs the registered application: InitInstance, then ExitInstance, whose result it
// returns. Without an application object the result is -1.
int runApplication();

// The argument vector of the process. WinMain records the runtime's __argc/__argv (built
// by the Windows rules for quotes and backslashes); main records its own. Tests may set
// their own vector; the strings must outlive their use.
void setArgumentVector(int count, char** vector);
int argumentCount();
char** argumentVector();

} // namespace platform
