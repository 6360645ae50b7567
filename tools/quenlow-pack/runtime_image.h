/*
 * A Java runtime folder (the output of jlink, or a JDK) packed as the installer's
 * runtime component: one jar, runtime.jar, that keeps every file's Unix mode, placed
 * at Disk1/stage/Components/NAME/VERSION/DataFiles/ in the installer's archive. The jar
 * is made in a temporary file beside the installer; nothing is written into the folder.
 */
#ifndef QUENLOW_PACK_RUNTIME_IMAGE_H
#define QUENLOW_PACK_RUNTIME_IMAGE_H

#include <string>
#include <vector>

#include "installer_checks.h"
#include "source_tree.h"

struct RuntimeImage {
    std::string directory;
    std::string name;    // the component's name
    std::string version; // given, or JAVA_VERSION of the runtime's release file
    std::vector<SourceItem> items;
};

// Reads the folder (and its version, when none is given).
bool readRuntimeImage(RuntimeImage* image, std::string* error);

// The files as the launcher will unpack them, for the launch checks.
std::vector<ComponentFile> runtimeFiles(const RuntimeImage& image);

// Where the jar goes in the installer's archive.
std::string runtimeJarName(const RuntimeImage& image);

#endif
