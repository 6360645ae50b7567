/*
 * What quenlow-pack checks before it writes anything: an installer that cannot start
 * fails only on the user's machine ("Cannot launch the installer"), far from whoever
 * can fix it, so every cause that can be seen at packing time is refused here with what
 * is wrong and what to do.
 */
#ifndef QUENLOW_PACK_INSTALLER_CHECKS_H
#define QUENLOW_PACK_INSTALLER_CHECKS_H

#include <cstdint>
#include <string>
#include <vector>

enum class StubKind { Linux, Windows };

// The stub must be a launcher program as built: an executable that carries no archive yet.
bool inspectStub(const std::string& path, StubKind* kind, std::string* error);

// A file of a runtime component as the launcher will unpack it.
struct ComponentFile {
    std::string name;  // "/" separators
    std::string where; // the jar holding it, for messages
    bool hasUnixMode = false;
    uint32_t unixMode = 0;
};

// The files of the first component named by JRE_COMPONENT, read from the jars of its
// version directories under SOURCE/Disk1/stage/Components (every version directory when
// JRE_COMPONENT names none, since which one the launcher takes depends on the names).
// Checks that every named component (and version) exists, except `packedName`, which
// --runtime-image adds.
bool readFirstComponent(const std::string& source, const std::string& components,
                        const std::string& packedName, std::vector<ComponentFile>* files,
                        std::string* error);

// CMD and JRE_COMPONENT are there, CMD's program is in the first component, with the
// execute mode behind the Linux stub, and written with the stub's separators.
bool checkLaunch(const std::string& command, const std::string& components, StubKind stub,
                 const std::vector<ComponentFile>& files, std::string* error);

std::vector<std::string> splitAt(const std::string& text, char separator);

#endif
