/*
 * Profile reading on Linux: a small reader of our own for the INI form of the launch
 * descriptor. It reproduces what the launcher relies on from the Windows reader:
 * section and key names match without regard to case, the first matching key wins,
 * blanks (and one pair of enclosing quotes) around the value are dropped, a missing
 * file, section or key gives the default, and a long value is cut to fit the buffer.
 * Lines may end in CR LF; a UTF-8 byte-order mark at the start is skipped.
 */
#include "platform/profile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

std::string_view trimBlanks(std::string_view text) {
    const char* blanks = " \t\r";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'A' && ca <= 'Z')
            ca = static_cast<unsigned char>(ca - 'A' + 'a');
        if (cb >= 'A' && cb <= 'Z')
            cb = static_cast<unsigned char>(cb - 'A' + 'a');
        if (ca != cb)
            return false;
    }
    return true;
}

// Reads at most one byte beyond the limit, so that a file of any size costs no more.
bool readWholeFile(const char* path, std::string* content) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    char chunk[4096];
    size_t got;
    while (content->size() <= platform::kProfileSizeLimit &&
           (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        content->append(chunk, got);
    std::fclose(file);
    if (content->size() > platform::kProfileSizeLimit) {
        content->clear();
        errno = EFBIG;
        return false;
    }
    return true;
}

// Finds the value of key in section; false when the file, section or key is missing.
bool findValue(const std::string& content, std::string_view section, std::string_view key,
               std::string_view* value) {
    std::string_view rest(content);
    if (rest.starts_with("\xEF\xBB\xBF"))
        rest.remove_prefix(3);
    bool inSection = false;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = trimBlanks(rest.substr(0, end));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.starts_with('[')) {
            size_t close = line.find(']');
            if (close == std::string_view::npos)
                continue;
            inSection = sameNameIgnoringCase(trimBlanks(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection)
            continue;
        size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        if (!sameNameIgnoringCase(trimBlanks(line.substr(0, equals)), key))
            continue;
        std::string_view found = trimBlanks(line.substr(equals + 1));
        if (found.size() >= 2 && (found.front() == '"' || found.front() == '\'') &&
            found.back() == found.front()) {
            found = found.substr(1, found.size() - 2);
        }
        *value = found;
        return true;
    }
    return false;
}

uint32_t copyCut(std::string_view text, char* buffer, uint32_t bufferSize) {
    if (bufferSize == 0)
        return 0;
    size_t count = text.size() < bufferSize - 1 ? text.size() : bufferSize - 1;
    if (count > 0)
        std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
    return static_cast<uint32_t>(count);
}

} // namespace

namespace platform {

uint32_t readProfileString(const char* section, const char* key, const char* defaultValue,
                           char* buffer, uint32_t bufferSize, const char* path) {
    errno = 0;
    std::string content;
    std::string_view value;
    if (readWholeFile(path, &content) && findValue(content, section, key, &value)) {
        return copyCut(value, buffer, bufferSize);
    }
    return copyCut(defaultValue != nullptr ? defaultValue : "", buffer, bufferSize);
}

bool profileTooLarge(const char* path) {
    struct stat status{};
    return stat(path, &status) == 0 && static_cast<uint64_t>(status.st_size) > kProfileSizeLimit;
}

unsigned long lastProfileError() {
    return static_cast<unsigned long>(errno);
}

} // namespace platform
