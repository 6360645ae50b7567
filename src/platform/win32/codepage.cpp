// Character sets on Windows: the system's OEM and ANSI code pages.
#include "platform/codepage.h"

#include <windows.h>

#include <cctype>
#include <cstring>

void oemToAnsi(char* text, std::size_t) {
    // Both pages are single- or double-byte pages of the same system; the conversion
    // never makes a name longer.
    ::OemToCharA(text, text);
}

int codePointToAnsi(uint32_t codePoint, char* out) {
    if (codePoint > 0xFFFF) return 0;
    wchar_t wide = wchar_t(codePoint);
    BOOL usedDefault = FALSE;
    int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &wide, 1, out, maxAnsiCharBytes(),
                                  nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return 0;
    return n;
}

int maxAnsiCharBytes() {
    CPINFO info;
    if (!::GetCPInfo(CP_ACP, &info)) return 2;
    return int(info.MaxCharSize);
}

bool ansiIsUtf8() { return ::GetACP() == CP_UTF8; }

int ansiCharacter(const char* text, bool* printable) {
    unsigned char lead = static_cast<unsigned char>(text[0]);
    if (::IsDBCSLeadByte(lead) && text[1] != '\0') {
        *printable = true;
        return 2;
    }
    *printable = std::isprint(lead) != 0;
    return 1;
}
