/*
 * Message boxes of the Windows program.
 */
#include "platform/windowing.h"

#include <windows.h>

namespace platform {

void showMessageBox(WindowHandle owner, const char* text, const char* caption) {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_OK);
}

} // namespace platform
