/*
 * The run's calls of the engine on the program's own archive: extracting sfx.ini alone
 * and extracting the whole archive (extractDescriptor and extractInstallerFiles, declared
 * with the run's steps).
 */
#pragma once

// Extracts the single entry sfx.ini of archivePath into destination; the engine's result.
int extractAutorun(const char* archivePath, const char* destination);

// Engine callback (askReplace) of the main extraction: logs the question and always
// answers REPLACE_YES.
int answerReplace(char* nameBuffer, int bufferSize);
