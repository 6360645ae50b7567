// What `quenlow-unzip list` prints: the entries the engine reports, as a table with
// totals or as one JSON object; with --verbose also each entry's mode, read from the
// archive's central directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ListedEntry {
    std::string name;
    uint64_t size;
    uint64_t compressed;
    unsigned ratio;
    int year, month, day, hour, minute;
    std::string method;
    uint32_t crc;
    bool encrypted;
    std::string mode; // "-rwxr-xr-x" as ls -l shows it, or the system that made the entry
};

// Collects entries from the engine's listEntry callback (install it in the callbacks).
void collectListedEntry(uint64_t uncompressedSize, uint64_t compressedSize, unsigned ratioPercent,
                        int date1, int date2, int date3, int hour, int minute, char caseMark,
                        const char* name, const char* methodName, uint32_t crc, char encryptedMark);
const std::vector<ListedEntry>& listedEntries();

// Fills in the entries' modes from the archive's central directory (left empty where it
// cannot be read).
void describeModes(const char* archivePath);

// The mode as ls -l shows it ("drwxr-xr-x", set-id and sticky bits included).
std::string modeText(uint32_t mode);

void printTable(const std::vector<ListedEntry>& entries, bool verbose);
void printJson(const std::vector<ListedEntry>& entries, int result, bool verbose);
