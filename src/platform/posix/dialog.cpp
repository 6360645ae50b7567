// The dialog framework on Linux: a tiny window system whose only screen is one line of the
// terminal on standard error.
//
// Windows here are records (a text, a bar position, visible and enabled flags) owned by the
// thread that runs the modal loop, exactly as real windows belong to the thread that made
// them. A request from another thread is queued, the loop is woken through a pipe, and the
// caller waits until the loop has carried it out, so the dialog's handlers and every change
// of its windows run on one thread, as on Windows.
//
// What the dialog shows is one line on the terminal (dialog_terminal.h): its texts, then
// its bars with their percentage. Hiding the dialog takes the line away and gives the
// terminal back to standard error before the request returns, so a program started
// afterwards writes to the real terminal. Ctrl-C is the Cancel button: it clicks it when
// the dialog is shown and the button is visible and enabled, and is ignored otherwise.
// Without a terminal nothing is drawn; the dialog runs all the same.
#include "platform/dialog.h"
#include "platform/posix/dialog_terminal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// Requests of this window system itself, in the application range of message numbers.
constexpr unsigned RequestShow = 0x8001;
constexpr unsigned RequestEnable = 0x8002;
constexpr unsigned RequestIsVisible = 0x8003;
constexpr unsigned RequestIsEnabled = 0x8004;

constexpr int BarWidth = 30;

struct Window {
    int id = 0;
    ControlKind kind = ControlKind::Plain;
    CDialog* dialog = nullptr; // only for the dialog's own window
    std::string text;
    int position = 0;
    bool visible = true;
    bool enabled = true;
};

struct Request {
    Window* window;
    unsigned message;
    uintptr_t wParam;
    intptr_t lParam;
    intptr_t result = 0;
    bool done = false;
};

// ---- the window system -----------------------------------------------------------------

std::atomic<int> interruptCount{0};
std::atomic<int> interruptWakeDescriptor{-1};
struct sigaction interruptBefore {}; // the run's own handling comes after the button's

void onInterrupt(int signal, siginfo_t* info, void* context) {
    int savedErrno = errno;
    interruptCount.fetch_add(1);
    int fd = interruptWakeDescriptor.load();
    if (fd >= 0) {
        [[maybe_unused]] ssize_t ignored = write(fd, "!", 1);
    }
    errno = savedErrno;
    if ((interruptBefore.sa_flags & SA_SIGINFO) != 0 && interruptBefore.sa_sigaction != nullptr)
        interruptBefore.sa_sigaction(signal, info, context);
    else if (interruptBefore.sa_handler != SIG_DFL && interruptBefore.sa_handler != SIG_IGN)
        interruptBefore.sa_handler(signal);
}

struct WindowSystem {
    std::mutex lock;
    // A plain condition variable on the mutex's own handle: std::condition_variable would
    // bring the C++ exception machinery into the statically linked stub.
    pthread_cond_t answered = PTHREAD_COND_INITIALIZER;
    std::deque<Request*> queue;
    std::thread::id loopThread;
    bool looping = false;
    bool ended = false;
    int endCode = 0;
    int wake[2] = {-1, -1};
    Window dialogWindow;
    std::map<int, Window> controls; // by identifier; nodes never move
    TerminalDisplay display;
};

WindowSystem windows;

void wakeLoop() {
    if (windows.wake[1] >= 0) {
        [[maybe_unused]] ssize_t ignored = write(windows.wake[1], "w", 1);
    }
}

Window* controlWindow(int id) {
    std::lock_guard guard(windows.lock);
    Window& window = windows.controls[id];
    window.id = id;
    return &window;
}

// What the dialog shows, as one line: its texts, then its bars with their percentage.
std::string composeLine() {
    if (!windows.dialogWindow.visible)
        return {};
    std::string texts;
    std::string bars;
    std::lock_guard guard(windows.lock);
    for (const auto& [id, window] : windows.controls) {
        if (!window.visible)
            continue;
        if (window.kind == ControlKind::Text && !window.text.empty()) {
            if (!texts.empty())
                texts += "  ";
            texts += window.text;
        } else if (window.kind == ControlKind::Bar) {
            int filled = window.position * BarWidth / 100;
            bars += "  [" + std::string(static_cast<size_t>(filled), '#') +
                    std::string(static_cast<size_t>(BarWidth - filled), '.') + "] " +
                    std::to_string(window.position) + "%";
        }
    }
    return texts + bars;
}

// The window procedure of every window: what the window system does with a message.
intptr_t process(Window* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case MessageSetText:
        window->text = lParam != 0 ? reinterpret_cast<const char*>(lParam) : "";
        return 1;
    case MessageGetText: {
        auto* buffer = reinterpret_cast<char*>(lParam);
        if (buffer == nullptr || wParam == 0)
            return 0;
        size_t length = std::min<size_t>(window->text.size(), wParam - 1);
        window->text.copy(buffer, length);
        buffer[length] = '\0';
        return static_cast<intptr_t>(length);
    }
    case ProgressSetPos: {
        int previous = window->position;
        window->position = std::clamp(static_cast<int>(wParam), 0, 100);
        return previous;
    }
    case ProgressGetPos:
        return window->position;
    case RequestShow: {
        bool show = wParam != 0;
        bool was = window->visible;
        if (was == show)
            return was;
        window->visible = show;
        if (window->dialog != nullptr) {
            if (!show)
                windows.display.suspend();
            window->dialog->WindowProc(MessageShowWindow, show ? 1 : 0, 0);
            if (show)
                windows.display.resume();
        }
        return was;
    }
    case RequestEnable: {
        bool was = window->enabled;
        window->enabled = wParam != 0;
        return !was;
    }
    case RequestIsVisible:
        return window->visible;
    case RequestIsEnabled:
        return window->enabled;
    default:
        return window->dialog != nullptr ? window->dialog->WindowProc(message, wParam, lParam) : 0;
    }
}

// Carries a message out on the loop's thread; from another thread, waits until it has.
intptr_t deliver(Window* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (window == nullptr)
        return 0;
    std::unique_lock guard(windows.lock);
    if (!windows.looping || std::this_thread::get_id() == windows.loopThread) {
        guard.unlock();
        return process(window, message, wParam, lParam);
    }
    Request request{window, message, wParam, lParam};
    windows.queue.push_back(&request);
    wakeLoop();
    while (!request.done)
        pthread_cond_wait(&windows.answered, windows.lock.native_handle());
    return request.result;
}

// Answers the queued requests; true when the dialog has been ended.
bool answerRequests() {
    std::unique_lock guard(windows.lock);
    while (!windows.queue.empty()) {
        Request* request = windows.queue.front();
        windows.queue.pop_front();
        guard.unlock();
        intptr_t result =
            process(request->window, request->message, request->wParam, request->lParam);
        guard.lock();
        request->result = result;
        request->done = true;
        pthread_cond_broadcast(&windows.answered);
    }
    return windows.ended;
}

// Ctrl-C clicks the Cancel button, if the user could click it now.
void pressCancel(CDialog& dialog) {
    Window* button = controlWindow(IdCancel);
    if (!windows.dialogWindow.visible || !button->visible || !button->enabled)
        return;
    dialog.WindowProc(MessageCommand, IdCancel, reinterpret_cast<intptr_t>(button));
}

void drainWakePipe() {
    char buffer[64];
    while (read(windows.wake[0], buffer, sizeof buffer) > 0) {
    }
}

void runLoop(CDialog& dialog) {
    int handledInterrupts = interruptCount.load();
    while (!answerRequests()) {
        windows.display.draw(composeLine());
        pollfd watched[2] = {{windows.wake[0], POLLIN, 0},
                             {windows.display.relayDescriptor(), POLLIN, 0}};
        if (poll(watched, watched[1].fd >= 0 ? 2 : 1, -1) < 0 && errno != EINTR)
            break;
        drainWakePipe();
        if (watched[1].fd >= 0 && (watched[1].revents & POLLIN) != 0)
            windows.display.relay();
        for (int now = interruptCount.load(); handledInterrupts < now; ++handledInterrupts)
            pressCancel(dialog);
    }
}

struct WorkerThread : CWinThread {
    unsigned (*entry)(void*) = nullptr;
    void* argument = nullptr;
    pthread_t thread{};
};

void* workerTrampoline(void* record) {
    auto* worker = static_cast<WorkerThread*>(record);
    worker->entry(worker->argument);
    return nullptr;
}

// The thread records of the process; kept so that their pointers stay valid to the end.
std::mutex workerLock;
std::deque<WorkerThread> workerThreads;

} // namespace

// ---- windows and controls ------------------------------------------------------------

intptr_t CWnd::Send(unsigned message, uintptr_t wParam, intptr_t lParam) const {
    return deliver(static_cast<Window*>(m_hWnd), message, wParam, lParam);
}

void CWnd::SetText(const char* text) const {
    Send(MessageSetText, 0, reinterpret_cast<intptr_t>(text));
}

void CWnd::Show(ShowCommand command) const {
    Send(RequestShow, command == ShowCommand::Hide ? 0 : 1);
}

void CWnd::Enable(bool enable) const {
    Send(RequestEnable, enable ? 1 : 0);
}

bool CWnd::IsIconic() const {
    return false;
}

bool CWnd::IsVisible() const {
    return Send(RequestIsVisible) != 0;
}

bool CWnd::IsEnabled() const {
    return Send(RequestIsEnabled) != 0;
}

// A terminal line has no geometry: every rectangle is empty and nothing moves.
void CWnd::GetClientRect(WindowRect& rect) const {
    rect = {};
}

void CWnd::GetWindowRect(WindowRect& rect) const {
    rect = {};
}

void CWnd::ScreenToClient(WindowRect&) const {}

void CWnd::MoveWindow(int, int, int, int, bool) const {}

void CWnd::SetIcon(IconHandle, IconSize) const {}

void CProgressCtrl::SetPos(int position) const {
    Send(ProgressSetPos, static_cast<uintptr_t>(position));
}

CPaintDC::CPaintDC(CWnd& window) : m_window(window) {}

CPaintDC::~CPaintDC() = default;

void CPaintDC::DrawIcon(int, int, IconHandle) const {}

// ---- dialogs -------------------------------------------------------------------------

intptr_t CDialog::DoModal() {
    {
        std::lock_guard guard(windows.lock);
        if (windows.looping)
            return -1; // one modal dialog at a time
        windows.controls.clear();
        windows.queue.clear();
        windows.dialogWindow = Window{};
        windows.dialogWindow.id = m_nTemplateId;
        windows.dialogWindow.dialog = this;
        windows.dialogWindow.visible = false;
        windows.ended = false;
        windows.endCode = 0;
        if (pipe2(windows.wake, O_CLOEXEC | O_NONBLOCK) != 0)
            return -1;
        windows.loopThread = std::this_thread::get_id();
        windows.looping = true;
    }
    m_hWnd = &windows.dialogWindow;
    windows.display.open();

    struct sigaction interrupt {};
    interrupt.sa_sigaction = onInterrupt;
    interrupt.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&interrupt.sa_mask);
    interruptWakeDescriptor.store(windows.wake[1]);
    sigaction(SIGINT, &interrupt, &interruptBefore);

    WindowProc(MessageInitDialog, 0, 0);
    // The template makes the dialog visible once it has been initialised.
    if (!answerRequests())
        process(&windows.dialogWindow, RequestShow, 1, 0);
    runLoop(*this);

    {
        std::lock_guard guard(windows.lock);
        windows.looping = false;
    }
    answerRequests(); // whatever came in while the loop was ending
    windows.dialogWindow.visible = false;
    windows.display.close();
    sigaction(SIGINT, &interruptBefore, nullptr);
    interruptWakeDescriptor.store(-1);
    ::close(windows.wake[0]);
    ::close(windows.wake[1]);
    windows.wake[0] = windows.wake[1] = -1;
    windows.dialogWindow.dialog = nullptr;
    m_hWnd = nullptr;
    return windows.endCode;
}

void CDialog::EndDialog(int result) const {
    std::lock_guard guard(windows.lock);
    if (!windows.looping || m_hWnd != &windows.dialogWindow)
        return;
    windows.ended = true;
    windows.endCode = result;
    wakeLoop();
}

CWnd CDialog::GetDlgItem(int id) const {
    return m_hWnd != nullptr ? CWnd(controlWindow(id)) : CWnd();
}

void CDialog::BindControl(int id, CWnd& control, ControlKind kind) {
    Window* window = controlWindow(id);
    window->kind = kind;
    control.m_hWnd = window;
}

// ---- worker thread, resources, metrics -----------------------------------------------

CWinThread* startWorkerThread(unsigned (*entry)(void*), void* argument) {
    std::lock_guard guard(workerLock);
    WorkerThread& record = workerThreads.emplace_back();
    record.entry = entry;
    record.argument = argument;
    // The main thread never waits for a worker, so none is joined.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    int failed = pthread_create(&record.thread, &attributes, workerTrampoline, &record);
    pthread_attr_destroy(&attributes);
    if (failed != 0) {
        workerThreads.pop_back();
        return nullptr;
    }
    record.m_hThread = &record.thread;
    return &record;
}

IconHandle loadIconResource(int) {
    return nullptr;
}

int systemMetric(SystemMetric) {
    return 32;
}
