/*
 * Version names are compared token by token (tokens separated by "." or ","). Within a
 * token only the leading number and the one character after it count: "1.8.0_131"
 * equals "1.8.0_141", "2a" is smaller than "2B" (the character is compared in upper
 * case), "1.10" is greater than "1.9", and a name that runs out of tokens first is the
 * smaller. Numbers are compared as digit strings, so a token of any length orders
 * correctly without overflowing an integer.
 */
#include "launcher/launch/versions.h"

#include <string_view>
#include <vector>

#include "launcher/app/reporting.h"
#include "platform/filesystem.h"

namespace {

bool isSeparator(char c) {
    return c == '.' || c == ',';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The next token of `rest` (consecutive separators are skipped, like strtok).
bool nextToken(std::string_view* rest, std::string_view* token) {
    size_t start = 0;
    while (start < rest->size() && isSeparator((*rest)[start]))
        ++start;
    if (start == rest->size())
        return false;
    size_t end = start;
    while (end < rest->size() && !isSeparator((*rest)[end]))
        ++end;
    *token = rest->substr(start, end - start);
    rest->remove_prefix(end);
    return true;
}

// Splits a token into its leading digits (leading zeros dropped; none reads as 0) and
// the character after them (0 at the end of the token), that character in upper case.
void readToken(std::string_view token, std::string_view* digits, int* following) {
    size_t end = 0;
    while (end < token.size() && isDigit(token[end]))
        ++end;
    size_t first = 0;
    while (first < end && token[first] == '0')
        ++first;
    *digits = token.substr(first, end - first);
    int c = end < token.size() ? static_cast<unsigned char>(token[end]) : 0;
    *following = (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

int compareNumbers(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

} // namespace

int compareVersions(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        if (a == nullptr && b == nullptr)
            return 0;
        return a == nullptr ? -1 : 1;
    }
    std::string_view restA(a);
    std::string_view restB(b);
    for (;;) {
        std::string_view tokenA, tokenB;
        bool haveA = nextToken(&restA, &tokenA);
        bool haveB = nextToken(&restB, &tokenB);
        if (!haveA || !haveB)
            return haveA == haveB ? 0 : (haveA ? 1 : -1);

        std::string_view numberA, numberB;
        int followingA, followingB;
        readToken(tokenA, &numberA, &followingA);
        readToken(tokenB, &numberB, &followingB);
        int order = compareNumbers(numberA, numberB);
        if (order != 0)
            return order;
        if (followingA != followingB)
            return followingA - followingB;
    }
}

std::string pickVersionDirectory(const char* componentDirectory) {
    std::vector<platform::DirectoryEntry> entries;
    std::string best;
    if (!platform::listDirectory(componentDirectory, "*", entries))
        return best;
    for (const platform::DirectoryEntry& entry : entries) {
        if (entry.name.starts_with('.') || !entry.attributes.isDirectory)
            continue;
        // On equal versions the one enumerated first stays.
        if (best.empty() || compareVersions(best.c_str(), entry.name.c_str()) < 0) {
            best = entry.name;
        }
    }
    debugLog("Using version %s of component %s", best.empty() ? "NULL" : best.c_str(),
             componentDirectory);
    return best;
}
