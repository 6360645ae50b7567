/*
 * Version names of runtime components: ordering them and choosing the newest version
 * directory of a component.
 */
#pragma once

#include <string>

// Orders two version names (null allowed: a missing name is the smaller). Negative
// when a < b, zero when equal, positive when a > b.
int compareVersions(const char* a, const char* b);

// The newest version directory of a component directory, ignoring files and names
// that begin with "."; empty when there is none (or the directory cannot be read).
std::string pickVersionDirectory(const char* componentDirectory);
