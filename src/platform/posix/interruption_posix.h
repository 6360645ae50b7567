/*
 * What the Linux process start needs from the interruption handling: whether the run has
 * been cancelled, and where to pass signals on to while the installer runs.
 */
#pragma once

#include <sys/types.h>

namespace platform {

// The signal that cancelled the run, 0 while none has.
int cancellingSignal();

// The installer's process id while it runs (the stage "installerRunning"), 0 once it has
// ended (the stage "working" again).
void followInstaller(pid_t child);

} // namespace platform
