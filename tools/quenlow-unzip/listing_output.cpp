// The listing as users read it (a table) and as programs read it (JSON). The engine
// hands the date in the order of the user's short-date setting; both outputs here use
// year-month-day, which reads the same everywhere.
#include "listing_output.h"

#include <cinttypes>
#include <cstdio>

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

// Percent of the total saved (or added), rounded; the sizes are the archive's claims,
// so the quotient is taken first and capped before it could overflow.
static unsigned overallRatio(uint64_t size, uint64_t compressed) {
    if (size == 0) return 0;
    uint64_t difference = compressed <= size ? size - compressed : compressed - size;
    if (difference / size >= 1000000) return 100000000;
    uint64_t permille = difference <= UINT64_MAX / 1000 ? difference * 1000 / size
                                                        : difference / (size / 1000);
    return unsigned((permille + 5) / 10);
}

void printTable(const std::vector<ListedEntry>& list) {
    std::printf("%12s %12s %5s  %-7s %-10s %-5s  %-8s  %s\n", "Size", "Compressed", "Ratio", "Method",
                "Date", "Time", "CRC-32", "Name");
    std::printf("%12s %12s %5s  %-7s %-10s %-5s  %-8s  %s\n", "----", "----------", "-----", "------",
                "----", "----", "------", "----");
    uint64_t size = 0, compressed = 0;
    for (const ListedEntry& e : list) {
        std::printf("%12" PRIu64 " %12" PRIu64 " %4u%%  %-7s %04d-%02d-%02d %02d:%02d  %08" PRIx32 "%c %s\n",
                    e.size, e.compressed, e.ratio, e.method.c_str(), e.year, e.month, e.day, e.hour,
                    e.minute, e.crc, e.encrypted ? '*' : ' ', e.name.c_str());
        size += e.size;
        compressed += e.compressed;
    }
    std::printf("%12s %12s %5s  %-7s %-10s %-5s  %-8s  %s\n", "----", "----------", "-----", "", "", "", "",
                "----");
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

void printJson(const std::vector<ListedEntry>& list, int result) {
    std::printf("{\"entries\":[");
    for (std::size_t i = 0; i < list.size(); ++i) {
        const ListedEntry& e = list[i];
        std::printf("%s{\"name\":", i == 0 ? "" : ",");
        printJsonString(e.name);
        std::printf(",\"size\":%" PRIu64 ",\"compressed\":%" PRIu64 ",\"ratio\":%u,\"method\":", e.size,
                    e.compressed, e.ratio);
        printJsonString(e.method);
        std::printf(",\"crc\":\"%08" PRIx32 "\",\"encrypted\":%s,\"date\":\"%04d-%02d-%02d\",\"time\":\"%02d:%02d\"}",
                    e.crc, e.encrypted ? "true" : "false", e.year, e.month, e.day, e.hour, e.minute);
    }
    std::printf("],\"count\":%zu,\"result\":%d}\n", list.size(), result);
}
