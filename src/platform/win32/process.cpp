/*
 * Installer process on Windows: CreateProcessA with the built command line, no
 * separate program name (the quoted first piece names it), default security, no
 * creation flags, the program's environment and working directory, and start-up
 * information that is all zero except its size.
 */
#include "platform/process.h"

#include <windows.h>

#include "platform/interruption.h"

namespace platform {

bool startProcess(char* commandLine, const std::vector<std::string>& /*arguments*/,
                  bool inheritHandles, ChildProcess* child) {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, inheritHandles ? TRUE : FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
        return false;
    }
    // The installer shares the console: it receives Ctrl+C and Ctrl+Break itself.
    setRunStage(RunStage::installerRunning);
    CloseHandle(info.hThread);
    child->handle = reinterpret_cast<intptr_t>(info.hProcess);
    return true;
}

bool waitForProcess(ChildProcess* child, uint32_t* exitCode) {
    HANDLE process = reinterpret_cast<HANDLE>(child->handle);
    bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0;
    DWORD code = 0;
    if (ended && GetExitCodeProcess(process, &code)) {
        *exitCode = code;
    } else {
        ended = false;
    }
    CloseHandle(process);
    child->handle = 0;
    setRunStage(RunStage::working);
    return ended;
}

} // namespace platform
