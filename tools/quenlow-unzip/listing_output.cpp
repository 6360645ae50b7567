// The listing as users read it (a table) and as programs read it (JSON). The engine
// hands the date in the order of the user's short-date setting; both outputs here use
// year-month-day, which reads the same everywhere.
#include "listing_output.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "central_directory.h"
#include "platform/codepage.h"
#include "platform/dateorder.h"

static std::vector<ListedEntry> entries;

void collectListedEntry(uint64_t uncompressedSize, uint64_t compressedSize, unsigned ratioPercent,
                        int date1, int date2, int date3, int hour, int minute, char,
                        const char* name, const char* methodName, uint32_t crc, char encryptedMark) {
    ListedEntry e{name, uncompressedSize, compressedSize, ratioPercent, 0, 0, 0, hour, minute,
                  methodName, crc, encryptedMark == 'E'};
    switch (userDateOrder()) {
    case DATE_DAY_MONTH_YEAR:
        e.day = date1, e.month = date2, e.year = date3;
        break;
    case DATE_YEAR_MONTH_DAY:
        e.year = date1, e.month = date2, e.day = date3;
        break;
    default:
        e.month = date1, e.day = date2, e.year = date3;
        break;
    }
    entries.push_back(e);
}

const std::vector<ListedEntry>& listedEntries() { return entries; }

std::string modeText(uint32_t mode) {
    static const char kTypes[] = "?pc?d?b?-?l?s???"; // by the type bits, S_IFMT >> 12
    std::string text(10, '-');
    text[0] = kTypes[(mode >> 12) & 0xF];
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) text[1 + bit] = (mode & (0400u >> bit)) ? letters[bit] : '-';
    // Set-user-ID, set-group-ID and sticky show in the execute places, in capitals without x.
    const struct { uint32_t bit; int at; char letter; } special[] = {
        {04000, 3, 's'}, {02000, 6, 's'}, {01000, 9, 't'}};
    for (const auto& s : special) {
        if (mode & s.bit) text[s.at] = text[s.at] == 'x' ? s.letter : char(s.letter - 'a' + 'A');
    }
    return text;
}

// The systems of the "version made by" field, for entries that carry no Unix mode.
static std::string hostName(unsigned host) {
    static const char* const kNames[] = {"FAT", "Amiga", "VMS", "Unix", "VM/CMS", "Atari",
                                         "HPFS", "Macintosh", "Z-System", "CP/M", "NTFS", "MVS",
                                         "VSE", "Acorn", "VFAT", "MVS", "BeOS", "Tandem",
                                         "OS/400", "macOS"};
    if (host < sizeof kNames / sizeof kNames[0]) return kNames[host];
    return "system " + std::to_string(host);
}

// The engine lists entries in the central directory's order, skipping those the patterns
// leave out, and with names converted to this system's character set: each listed entry
// is the next central entry of the same name, as stored or converted.
void describeModes(const char* archivePath) {
    std::vector<CentralEntry> central;
    std::string error;
    if (!readCentralDirectory(archivePath, &central, &error)) return;
    std::size_t next = 0;
    for (ListedEntry& listed : entries) {
        for (std::size_t at = next; at < central.size(); ++at) {
            std::string converted = central[at].name;
            converted.resize(converted.size() * 3 + 1);
            oemToAnsi(converted.data(), converted.size());
            converted.resize(std::char_traits<char>::length(converted.c_str()));
            if (central[at].name != listed.name && converted != listed.name) continue;
            const CentralEntry& entry = central[at];
            listed.mode = entry.hasUnixMode() ? modeText(entry.unixMode()) : hostName(entry.hostSystem);
            next = at + 1;
            break;
        }
    }
}

// Percent of the total saved (or added), rounded. The sizes are the archive's claims:
// the per mille is capped where the engine caps each entry's (the 32-bit limit) before
// any step of it could overflow.
static unsigned overallRatio(uint64_t size, uint64_t compressed) {
    constexpr uint64_t kCap = INT32_MAX;
    if (size == 0) return 0;
    uint64_t difference = compressed <= size ? size - compressed : compressed - size;
    uint64_t permille = difference / size >= kCap / 1000       ? kCap
                        : difference <= UINT64_MAX / 1000      ? difference * 1000 / size
                                                               : difference / (size / 1000);
    if (permille > kCap) permille = kCap;
    return unsigned((permille + 5) / 10);
}

void printTable(const std::vector<ListedEntry>& list, bool verbose) {
    const char* modeHeading = verbose ? "Mode        " : "";
    const char* modeRule = verbose ? "----        " : "";
    std::printf("%12s %12s %5s  %-7s %-10s %-5s  %-8s  %s%s\n", "Size", "Compressed", "Ratio", "Method",
                "Date", "Time", "CRC-32", modeHeading, "Name");
    std::printf("%12s %12s %5s  %-7s %-10s %-5s  %-8s  %s%s\n", "----", "----------", "-----", "------",
                "----", "----", "------", modeRule, "----");
    uint64_t size = 0, compressed = 0;
    for (const ListedEntry& e : list) {
        std::string mode = verbose ? (e.mode.empty() ? "?" : e.mode) : "";
        if (verbose) mode.resize(std::max<std::size_t>(mode.size() + 1, 12), ' ');
        std::printf("%12" PRIu64 " %12" PRIu64 " %4u%%  %-7s %04d-%02d-%02d %02d:%02d  %08" PRIx32 "%c %s%s\n",
                    e.size, e.compressed, e.ratio, e.method.c_str(), e.year, e.month, e.day, e.hour,
                    e.minute, e.crc, e.encrypted ? '*' : ' ', mode.c_str(), e.name.c_str());
        size += e.size;
        compressed += e.compressed;
    }
    std::printf("%12s %12s %5s  %-7s %-10s %-5s  %-8s  %s%s\n", "----", "----------", "-----", "", "", "", "",
                verbose ? "            " : "", "----");
    std::printf("%12" PRIu64 " %12" PRIu64 " %4u%%  %zu %s\n", size, compressed, overallRatio(size, compressed),
                list.size(), list.size() == 1 ? "entry" : "entries");
    bool anyEncrypted = false;
    for (const ListedEntry& e : list) anyEncrypted = anyEncrypted || e.encrypted;
    if (anyEncrypted) std::printf("(* encrypted)\n");
}

static void printJsonString(const std::string& text) {
    std::putchar('"');
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            std::printf("\\%c", c);
        } else if (c < 0x20) {
            std::printf("\\u%04x", c);
        } else {
            std::putchar(c);
        }
    }
    std::putchar('"');
}

void printJson(const std::vector<ListedEntry>& list, int result, bool verbose) {
    std::printf("{\"entries\":[");
    for (std::size_t i = 0; i < list.size(); ++i) {
        const ListedEntry& e = list[i];
        std::printf("%s{\"name\":", i == 0 ? "" : ",");
        printJsonString(e.name);
        std::printf(",\"size\":%" PRIu64 ",\"compressed\":%" PRIu64 ",\"ratio\":%u,\"method\":", e.size,
                    e.compressed, e.ratio);
        printJsonString(e.method);
        std::printf(",\"crc\":\"%08" PRIx32 "\",\"encrypted\":%s,\"date\":\"%04d-%02d-%02d\",\"time\":\"%02d:%02d\"",
                    e.crc, e.encrypted ? "true" : "false", e.year, e.month, e.day, e.hour, e.minute);
        if (verbose) {
            std::printf(",\"mode\":");
            printJsonString(e.mode);
        }
        std::printf("}");
    }
    std::printf("],\"count\":%zu,\"result\":%d}\n", list.size(), result);
}
