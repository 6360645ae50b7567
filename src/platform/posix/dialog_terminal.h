// The screen of the Linux dialogs: one line on the terminal that standard error is on.
//
// The line is redrawn in place (carriage return, text, erase to the end of the line) and
// cut to the terminal's width, so it never wraps and never scrolls. While it is up, the
// process's standard error is a pipe that the dialog's loop reads: complete lines written
// there (error and debug lines) are printed above the display instead of through it.
// Suspending erases the line and gives standard error back to the terminal, so whatever
// runs next writes to the real terminal as if no display had been there.
#pragma once

#include <string>

class TerminalDisplay {
  public:
    // Takes over the terminal when standard error is one (and not a dumb one); false
    // leaves everything alone.
    bool open();
    // Suspends the display and releases the terminal.
    void close();

    bool active() const { return m_terminal >= 0; }
    // The pipe to watch for output to relay, or -1 while there is none.
    int relayDescriptor() const { return m_suspended ? -1 : m_relayRead; }

    // Standard error goes through the relay and the line may be drawn.
    void resume();
    // Erases the line and gives standard error back to the terminal.
    void suspend();
    // Prints the complete lines written to standard error above the display.
    void relay();
    // Shows the line (when it is not shown already).
    void draw(const std::string& line);

  private:
    void erase();
    std::size_t columns() const;

    int m_terminal = -1; // our own descriptor of the terminal
    int m_relayRead = -1;
    int m_relayWrite = -1;
    bool m_suspended = true;
    std::string m_shown;   // the line now on the screen, empty when none
    std::string m_pending; // relayed output not yet ended by a newline
};
