/*
 * The launcher's four uses of the extraction engine, each one engine call with its own
 * option and callback records, built for the call and freed right after it:
 * extracting sfx.ini alone, extracting the whole archive (both from the program's own
 * file), measuring a runtime jar by listing it, and unpacking such a jar.
 * extractDescriptor and extractInstallerFiles are declared with the run's steps.
 */
#pragma once

// Extracts the single entry sfx.ini of archivePath into destination; the engine's result.
int extractAutorun(const char* archivePath, const char* destination);

// Adds the uncompressed size of the jar's entries to javaJarBytes (nothing when the jar
// cannot be read).
void measureJar(const char* jarPath);

// Unpacks a jar into destination (relative to the working directory); the engine's result.
int unzipJar(const char* jarPath, const char* destination);
