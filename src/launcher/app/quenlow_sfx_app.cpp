/*
 * Start-up: parse the command line, open the console when asked, report a bad command
 * line, or carry out the run (silent here on the main thread, or with the progress
 * dialog). The result is kept in m_nExitStatus for instance exit.
 */
#include "launcher/app/quenlow_sfx_app.h"

#include "launcher/app/command_line.h"
#include "launcher/app/reporting.h"
#include "launcher/run/run_sequence.h"
#include "launcher/ui/progress_dialog_run.h"

bool CQuenlowSFXApp::InitInstance() {
    // The console opens before the error is reported, so that with -debug or -silent seen
    // before the bad argument the error reaches the console rather than only a box.
    if (parseCommandLine())
        openConsole();
    if (commandLine.optionError != nullptr) {
        reportError("%s", commandLine.optionError);
        m_nExitStatus = -1;
        releaseOptionError();
        return false;
    }
    m_nExitStatus = commandLine.silentMode ? runSilent() : runWithProgressDialog();
    return false;
}

int CQuenlowSFXApp::ExitInstance() {
    finishConsole();
    return m_nExitStatus;
}
