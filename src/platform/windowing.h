/*
 * The little of the window system that the launcher itself uses outside the dialog:
 * message boxes and the application's main window (their owner). The Linux build has no
 * message boxes: there the "ERROR:" line on standard error is the whole report.
 */
#pragma once

namespace platform {

using WindowHandle = void*; // HWND on Windows

// Shows a message box with a single OK button and no icon, owned by owner (may be null),
// and waits until it is closed. A null caption leaves the system's default caption.
void showMessageBox(WindowHandle owner, const char* text, const char* caption);

// The application's main window, owner of the message boxes of every thread (the
// progress dialog once it exists). Null until one is set.
void setMainWindow(WindowHandle window);
WindowHandle mainWindow();

} // namespace platform
