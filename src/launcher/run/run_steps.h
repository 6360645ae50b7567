/*
 * The steps of a run that work on the archive and the installer. Each returns 0 on
 * success and reports its own failures; launchInstaller returns the installer's exit code
 * (0 when cancelled before the start, 1 when it failed before, 555 when the installer
 * could not be started).
 */
#pragma once

// Extracts sfx.ini into extractPath and reads the archive's announced size into totalBytes.
int extractDescriptor();

// Extracts the whole archive into the working directory, counting progress.
int extractInstallerFiles();

// Prepares the Java runtime, runs the installer in Disk1 and waits for it.
int launchInstaller();
