// Character sets of entry names. Windows uses the system's OEM and ANSI code pages;
// Linux takes code page 437 as the OEM page and UTF-8 as the ANSI one, so a name
// stored by an MS-DOS tool comes out as UTF-8 and valid UTF-8 is kept as it is.
#pragma once

#include <cstddef>
#include <cstdint>

// Converts a zero-terminated name in place from the OEM to the ANSI code page; the
// result is cut on a character boundary to fit `capacity` bytes with its terminator.
void oemToAnsi(char* text, std::size_t capacity);

// Writes one code point (up to 0xFFFF) in the ANSI code page without best-fit mapping;
// answers the bytes written, or 0 when the page has no such character.
// `out` has room for maxAnsiCharBytes() bytes.
int codePointToAnsi(uint32_t codePoint, char* out);

// The longest character of the ANSI code page, in bytes.
int maxAnsiCharBytes();

// True when the ANSI code page is UTF-8 itself.
bool ansiIsUtf8();

// The length in bytes (at least 1) of the character that starts at `text`, and whether
// the runtime counts it printable. A byte that starts no valid character has length 1
// and is not printable.
int ansiCharacter(const char* text, bool* printable);
