/*
 * The names and Unix modes of the entries of a jar, read from its central directory,
 * for the packer's checks of a runtime component (is the Java program there, and will
 * it be executable once unpacked on Linux?).
 */
#ifndef QUENLOW_PACK_JAR_CONTENTS_H
#define QUENLOW_PACK_JAR_CONTENTS_H

#include <cstdint>
#include <string>
#include <vector>

struct JarEntry {
    std::string name;
    bool hasUnixMode = false; // made on Unix, with a mode in the high attribute bits
    uint32_t unixMode = 0;
};

// False (with `error` set) when the file is not a readable ZIP archive.
bool readJarEntries(const std::string& path, std::vector<JarEntry>* entries, std::string* error);

#endif
