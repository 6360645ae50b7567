// The wildcard matcher for entry selection and archive-name expansion.
#pragma once

// True when the whole name matches the whole pattern: "*" any run of characters
// ("/" included), "?" one character, "[...]" a set or range ("!" or "^" negates),
// "\" makes the next character literal.
bool matchPattern(const char* name, const char* pattern, bool ignoreCase);

// True when the pattern holds "*", "?" or "[" not escaped by a backslash.
bool patternHasWildcard(const char* pattern);
