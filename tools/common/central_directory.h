/*
 * The entries of a ZIP archive as its central directory records them: names, the system
 * that made each entry and its external attributes. The tools read these themselves for
 * what the engine does not report: quenlow-pack checks a runtime jar's Java program
 * (there, and executable once unpacked on Linux?), quenlow-unzip lists Unix modes.
 *
 * The directory is found where it physically lies, just before the end records, so an
 * archive behind a stub reads the same whether its offsets count from the file's start
 * or from the archive's.
 */
#ifndef QUENLOW_TOOLS_CENTRAL_DIRECTORY_H
#define QUENLOW_TOOLS_CENTRAL_DIRECTORY_H

#include <cstdint>
#include <string>
#include <vector>

struct CentralEntry {
    std::string name;    // as stored
    unsigned hostSystem; // high byte of "version made by": 0 FAT, 3 Unix, 10 NTFS, ...
    uint32_t externalAttributes;

    // Unix systems keep st_mode in the high 16 bits of the external attributes.
    bool hasUnixMode() const;
    uint32_t unixMode() const { return externalAttributes >> 16; }
};

// False (with `error` set) when the file is not a readable ZIP archive.
bool readCentralDirectory(const std::string& path, std::vector<CentralEntry>* entries,
                          std::string* error);

#endif
