/*
 * The Java runtime the installer runs on travels in the archive as one or more
 * components, each a set of jar files in Disk1/stage/Components/<name>/<version>/DataFiles.
 * Before the launch their jars are found, measured against the free space of the
 * temporary directory and unpacked into one destination directory.
 */
#pragma once

#include <string>

// The jars of every component of a JRE_COMPONENT text ("name[:version],..."), as one
// list of relative paths joined with ","; empty when no component has a jar or a
// component without a version has no version directory.
std::string buildJarList(const char* componentText);

// The jars of one DataFiles directory, joined with ","; empty when there are none.
std::string listJars(const std::string& dataFilesDirectory);

// Measures every jar of the list, checks that the temporary directory has room for
// their contents, and unpacks them into destination. False only for lack of room.
bool prepareJavaRuntime(const std::string& jarList, const char* destination);
