// The wildcard matcher used for entry selection and for expanding archive names.
//
// It compares the whole name with the whole pattern and answers match, no match or
// give-up. Give-up is what keeps a pattern with many stars from taking exponential
// time: when the rest after a "*" fails from every later position of the name, no
// earlier "*" can do better by swallowing more, so the whole match is abandoned at
// once instead of being retried from every earlier star position.
//
// One character is one byte, or a whole multibyte character of the ANSI code page
// (stepped with characterLength); a character is never split. "/" is ordinary.
#include "engine/patterns.h"

#include <cstddef>
#include <cstring>

#include "platform/codepage.h"

namespace {

size_t characterLength(const char* text) {
    bool printable;
    return static_cast<size_t>(ansiCharacter(text, &printable));
}

enum Match { NO_MATCH, MATCH, GIVE_UP };

// Lower-cases ASCII letters and the Latin-1 capitals (0xC0-0xDE but the multiplication
// sign 0xD7); everything else stays as it is.
unsigned char fold(unsigned char c, bool ignoreCase) {
    if (!ignoreCase) return c;
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    return c;
}

// Where the set that begins at `set` (just after "[" and an optional "!" or "^") ends:
// at the first "]" not escaped by a backslash; nullptr without one.
const char* setEnd(const char* set) {
    for (const char* p = set; *p != '\0'; ++p) {
        if (*p == '\\') {
            if (p[1] == '\0') return nullptr;
            ++p;
        } else if (*p == ']') {
            return p;
        }
    }
    return nullptr;
}

// Whether the folded byte `c` is a member of the set [set, end).
bool inSet(const char* set, const char* end, unsigned char c, bool ignoreCase) {
    const char* p = set;
    while (p < end) {
        unsigned char low;
        if (*p == '\\' && p + 1 < end) ++p;
        low = static_cast<unsigned char>(*p++);
        // A "-" between two characters makes a range; one at the very start was
        // taken as a plain member just above.
        if (p + 1 < end && *p == '-') {
            const char* highAt = p + 1;
            if (*highAt == '\\' && highAt + 1 < end) ++highAt;
            unsigned char high = static_cast<unsigned char>(*highAt);
            for (unsigned v = low; v <= high; ++v)
                if (fold(static_cast<unsigned char>(v), ignoreCase) == c) return true;
            p = highAt + 1;
            continue;
        }
        if (fold(low, ignoreCase) == c) return true;
    }
    return false;
}

// Compares the rest of a pattern without wildcards with the same number of bytes at
// the end of the name.
Match matchTail(const char* name, const char* rest, bool ignoreCase) {
    size_t nameLength = std::strlen(name);
    size_t restLength = std::strlen(rest);
    if (nameLength < restLength) return NO_MATCH;
    const char* tail = name + (nameLength - restLength);
    const char* p = name;
    while (p < tail) p += characterLength(p);
    if (p != tail) return NO_MATCH;  // the tail would begin inside a character
    for (size_t i = 0; i < restLength; ++i) {
        if (fold(static_cast<unsigned char>(tail[i]), ignoreCase) !=
            fold(static_cast<unsigned char>(rest[i]), ignoreCase))
            return NO_MATCH;
    }
    return MATCH;
}

// Compares one character of the name with one of the pattern.
bool sameCharacter(const char* name, const char* pattern, size_t length, bool ignoreCase) {
    if (length == 1)
        return fold(static_cast<unsigned char>(*name), ignoreCase) ==
               fold(static_cast<unsigned char>(*pattern), ignoreCase);
    return characterLength(name) == length && std::memcmp(name, pattern, length) == 0;
}

Match matchFrom(const char* name, const char* pattern, bool ignoreCase) {
    for (;;) {
        char c = *pattern;
        if (c == '\0') return *name == '\0' ? MATCH : NO_MATCH;
        if (c == '?') {
            if (*name == '\0') return NO_MATCH;
            name += characterLength(name);
            ++pattern;
            continue;
        }
        if (c == '*') {
            const char* rest = pattern + 1;
            if (*rest == '\0') return MATCH;
            if (!patternHasWildcard(rest)) return matchTail(name, rest, ignoreCase);
            for (const char* p = name; *p != '\0'; p += characterLength(p)) {
                Match tried = matchFrom(p, rest, ignoreCase);
                if (tried != NO_MATCH) return tried;
            }
            return GIVE_UP;
        }
        if (c == '[') {
            if (*name == '\0') return NO_MATCH;
            const char* set = pattern + 1;
            bool negated = *set == '!' || *set == '^';
            if (negated) ++set;
            const char* end = setEnd(set);
            if (end == nullptr) return NO_MATCH;
            bool hit = inSet(set, end, fold(static_cast<unsigned char>(*name), ignoreCase),
                             ignoreCase);
            if (hit == negated) return NO_MATCH;
            // A plain set consumed one byte; a negated one a whole character.
            name += negated ? characterLength(name) : 1;
            pattern = end + 1;
            continue;
        }
        if (c == '\\') {
            ++pattern;
            if (*pattern == '\0') return NO_MATCH;
        }
        if (*name == '\0') return NO_MATCH;
        size_t length = characterLength(pattern);
        if (!sameCharacter(name, pattern, length, ignoreCase)) return NO_MATCH;
        name += length;
        pattern += length;
    }
}

} // namespace

bool matchPattern(const char* name, const char* pattern, bool ignoreCase) {
    return matchFrom(name, pattern, ignoreCase) == MATCH;
}

bool patternHasWildcard(const char* pattern) {
    for (const char* p = pattern; *p != '\0'; p += characterLength(p)) {
        if (*p == '\\') {
            if (p[1] == '\0') return false;
            ++p;
        } else if (*p == '*' || *p == '?' || *p == '[') {
            return true;
        }
    }
    return false;
}
