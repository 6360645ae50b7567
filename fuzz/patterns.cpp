// matchPattern against a reference matcher written for clarity: a plain backtracking
// search over (pattern position, name position), memoised so that any number of stars
// takes polynomial time, trying every split a "*" allows instead of giving up early.
// The two must agree, except where giving up early is what loses the match (possible
// only with multibyte characters in the name); there the reference is run again with
// the matcher's give-up rule and must then agree.
//
// The reference implements the matcher's rules one by one, quirks included:
// characters are whole multibyte characters of the code page; "*" followed by a rest
// without wildcards compares that rest byte for byte with the end of the name (its
// backslashes as themselves), and only when the end begins on a character boundary;
// "*" followed by wildcards tries the rest at every character position of the name but
// not at its very end; a set takes one byte, a negated set one character.
//
// Input: one flag byte (bit 0: ignore case), the pattern, a zero byte, the name.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/patterns.h"
#include "platform/codepage.h"

namespace {

size_t characterLength(const char* text) {
    bool printable;
    return size_t(ansiCharacter(text, &printable));
}

unsigned char fold(unsigned char c, bool ignoreCase) {
    const bool upper = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
    return ignoreCase && upper ? static_cast<unsigned char>(c + 0x20) : c;
}

class Reference {
public:
    // With `giveUp`, a "*" whose rest fails from every later position gives the whole
    // match up at once, as the matcher does; without, every split is tried.
    Reference(const std::string& name, const std::string& pattern, bool ignoreCase, bool giveUp)
        : name_(name), pattern_(pattern), ignoreCase_(ignoreCase), giveUp_(giveUp),
          memo_((name.size() + 1) * (pattern.size() + 1), kUnknown) {}

    bool matches() { return match(0, 0) == YES; }

private:
    enum Answer : int8_t { NO, YES, GIVE_UP };
    static constexpr int8_t kUnknown = -1;

    Answer match(size_t p, size_t n) {
        int8_t& known = memo_[p * (name_.size() + 1) + n];
        if (known == kUnknown) known = compute(p, n);
        return Answer(known);
    }

    const char* nameAt(size_t n) const { return name_.c_str() + n; }
    const char* patternAt(size_t p) const { return pattern_.c_str() + p; }

    Answer compute(size_t p, size_t n) {
        const char c = pattern_[p];  // '\0' at the end
        if (c == '\0') return n == name_.size() ? YES : NO;
        if (c == '?') return n < name_.size() ? match(p + 1, n + characterLength(nameAt(n))) : NO;
        if (c == '*') return star(p + 1, n);
        if (c == '[') return set(p + 1, n);
        size_t q = p;
        if (c == '\\') {
            ++q;
            if (q == pattern_.size()) return NO;
        }
        if (n == name_.size()) return NO;
        const size_t length = characterLength(patternAt(q));
        if (length == 1) {
            if (fold(uint8_t(name_[n]), ignoreCase_) != fold(uint8_t(pattern_[q]), ignoreCase_))
                return NO;
        } else if (characterLength(nameAt(n)) != length ||
                   std::memcmp(nameAt(n), patternAt(q), length) != 0) {
            return NO;
        }
        return match(q + length, n + length);
    }

    // Whether the pattern from p on holds a "*", "?" or "[" that no backslash escapes.
    bool wildcardFrom(size_t p) const {
        while (p < pattern_.size()) {
            const char c = pattern_[p];
            if (c == '*' || c == '?' || c == '[') return true;
            if (c == '\\') {
                if (p + 1 == pattern_.size()) return false;
                ++p;
            }
            p += characterLength(patternAt(p));
        }
        return false;
    }

    Answer star(size_t rest, size_t n) {
        if (rest == pattern_.size()) return YES;
        if (!wildcardFrom(rest)) {
            const size_t restLength = pattern_.size() - rest;
            if (name_.size() - n < restLength) return NO;
            const size_t tail = name_.size() - restLength;
            size_t at = n;
            while (at < tail) at += characterLength(nameAt(at));
            if (at != tail) return NO;
            for (size_t i = 0; i < restLength; ++i)
                if (fold(uint8_t(name_[tail + i]), ignoreCase_) !=
                    fold(uint8_t(pattern_[rest + i]), ignoreCase_))
                    return NO;
            return YES;
        }
        for (size_t at = n; at < name_.size(); at += characterLength(nameAt(at))) {
            const Answer tried = match(rest, at);
            if (tried == YES || (giveUp_ && tried == GIVE_UP)) return tried;
        }
        return giveUp_ ? GIVE_UP : NO;
    }

    Answer set(size_t p, size_t n) {
        if (n == name_.size()) return NO;
        const bool negated = pattern_[p] == '!' || pattern_[p] == '^';
        if (negated) ++p;
        // The set ends at the first "]" that no backslash escapes.
        size_t end = p;
        for (;; ++end) {
            if (end >= pattern_.size()) return NO;
            if (pattern_[end] == ']') break;
            if (pattern_[end] == '\\') {
                if (end + 1 >= pattern_.size()) return NO;
                ++end;
            }
        }
        // Members are single bytes (a backslash makes the next one plain) or ranges of
        // two members around a "-"; every value is folded.
        bool members[256] = {};
        auto takeMember = [&](size_t& q) {
            if (pattern_[q] == '\\' && q + 1 < end) ++q;
            return uint8_t(pattern_[q++]);
        };
        for (size_t q = p; q < end;) {
            const uint8_t low = takeMember(q);
            uint8_t high = low;
            if (q + 1 < end && pattern_[q] == '-') {
                ++q;
                high = takeMember(q);
            }
            for (unsigned v = low; v <= high; ++v) members[fold(uint8_t(v), ignoreCase_)] = true;
        }
        const bool hit = members[fold(uint8_t(name_[n]), ignoreCase_)];
        if (hit == negated) return NO;
        return match(end + 1, n + (negated ? characterLength(nameAt(n)) : 1));
    }

    const std::string& name_;
    const std::string& pattern_;
    bool ignoreCase_;
    bool giveUp_;
    std::vector<int8_t> memo_;
};

constexpr size_t kMaxLength = 256;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const bool ignoreCase = (data[0] & 1) != 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t textSize = size - 1;
    const char* zero = static_cast<const char*>(std::memchr(text, 0, textSize));
    const std::string pattern(text, zero != nullptr ? size_t(zero - text) : textSize);
    std::string name;
    if (zero != nullptr) {
        const char* nameStart = zero + 1;
        const size_t left = textSize - size_t(nameStart - text);
        const char* nameEnd = static_cast<const char*>(std::memchr(nameStart, 0, left));
        name.assign(nameStart, nameEnd != nullptr ? size_t(nameEnd - nameStart) : left);
    }
    if (pattern.size() > kMaxLength || name.size() > kMaxLength) return 0;

    const bool ours = matchPattern(name.c_str(), pattern.c_str(), ignoreCase);
    const bool expected = Reference(name, pattern, ignoreCase, false).matches();
    if (ours == expected) return 0;
    // Giving up early loses a match only where the split it skips falls inside a
    // multibyte character (a set takes one byte of one, and where the literal end of
    // a pattern may begin depends on the position the name is walked from). That is
    // the matcher's rule, kept; everywhere else the two must agree.
    const bool multibyte = std::any_of(name.begin(), name.end(), [](char c) { return c & 0x80; });
    if (multibyte && Reference(name, pattern, ignoreCase, true).matches() == ours) return 0;
    std::fprintf(stderr, "matchPattern(\"%s\", \"%s\", %d) = %d, reference says %d\n",
                 name.c_str(), pattern.c_str(), ignoreCase, ours, expected);
    std::abort();
    return 0;
}
