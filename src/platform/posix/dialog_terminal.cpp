// The Linux dialogs' one-line screen on the terminal of standard error; see the header.
#include "platform/posix/dialog_terminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        ssize_t written = write(fd, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

bool TerminalDisplay::open() {
    // A terminal that declares itself dumb cannot erase a line: show it nothing.
    const char* kind = std::getenv("TERM");
    if (isatty(STDERR_FILENO) != 1 || (kind != nullptr && std::strcmp(kind, "dumb") == 0))
        return false;
    m_terminal = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (m_terminal < 0)
        return false;
    int relay[2];
    if (pipe2(relay, O_CLOEXEC) != 0) {
        ::close(m_terminal);
        m_terminal = -1;
        return false;
    }
    m_relayRead = relay[0];
    m_relayWrite = relay[1];
    fcntl(m_relayRead, F_SETFL, fcntl(m_relayRead, F_GETFL) | O_NONBLOCK);
    m_shown.clear();
    m_pending.clear();
    m_suspended = true;
    return true;
}

void TerminalDisplay::close() {
    if (!active())
        return;
    suspend();
    ::close(m_relayRead);
    ::close(m_relayWrite);
    ::close(m_terminal);
    m_terminal = m_relayRead = m_relayWrite = -1;
}

void TerminalDisplay::resume() {
    if (!active() || !m_suspended)
        return;
    // dup2 leaves the new standard error inheritable, as it was.
    dup2(m_relayWrite, STDERR_FILENO);
    m_suspended = false;
}

void TerminalDisplay::suspend() {
    if (!active() || m_suspended)
        return;
    relay();
    erase();
    if (!m_pending.empty()) {
        writeAll(m_terminal, m_pending.data(), m_pending.size());
        m_pending.clear();
    }
    dup2(m_terminal, STDERR_FILENO);
    m_suspended = true;
}

void TerminalDisplay::relay() {
    char buffer[4096];
    for (;;) {
        ssize_t got = read(m_relayRead, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        m_pending.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t end = m_pending.rfind('\n');
    if (end == std::string::npos)
        return;
    std::string shown = m_shown;
    erase();
    writeAll(m_terminal, m_pending.data(), end + 1);
    m_pending.erase(0, end + 1);
    draw(shown);
}

void TerminalDisplay::draw(const std::string& line) {
    if (!active() || m_suspended || line == m_shown)
        return;
    std::string out = "\r" + line.substr(0, columns() - 1) + "\033[K";
    writeAll(m_terminal, out.data(), out.size());
    m_shown = line;
}

void TerminalDisplay::erase() {
    if (m_shown.empty())
        return;
    writeAll(m_terminal, "\r\033[K", 4);
    m_shown.clear();
}

std::size_t TerminalDisplay::columns() const {
    winsize size{};
    if (ioctl(m_terminal, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return 80;
}
