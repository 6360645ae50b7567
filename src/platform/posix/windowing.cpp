/*
 * Linux has no message boxes: the "ERROR:" line on standard error, written before any box
 * would be shown, is the whole report.
 */
#include "platform/windowing.h"

namespace platform {

void showMessageBox(WindowHandle, const char*, const char*) {}

} // namespace platform
