/*
 * The steps of a run that work on the archive (the third, launchInstaller, is the launch's:
 * launch/launch_installer.h). Each returns 0 on success and reports its own failures.
 */
#pragma once

// Extracts sfx.ini into extractPath and reads the archive's announced size into totalBytes.
int extractDescriptor();

// Extracts the whole archive into the working directory, counting progress.
int extractInstallerFiles();
