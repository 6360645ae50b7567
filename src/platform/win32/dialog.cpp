// The dialog framework on Windows: a thin layer over the dialog manager of USER32.
//
// A modal dialog is DialogBoxParamA on the template in our own resources, with one static
// dialog procedure that finds the C++ object (kept in the window's DWLP_USER slot from
// WM_INITDIALOG on) and hands it every message. Returning 0 from the procedure leaves a
// message to the dialog manager's default processing. The window manager already makes a
// message sent from another thread synchronous, so the control operations are plain calls.
#include "platform/dialog.h"

#include <windows.h>

#include <commctrl.h>
#include <new>
#include <process.h>

namespace {

HWND handleOf(const CWnd& window) {
    return static_cast<HWND>(window.m_hWnd);
}

void copyRect(const RECT& from, WindowRect& to) {
    to.left = from.left;
    to.top = from.top;
    to.right = from.right;
    to.bottom = from.bottom;
}

// A dialog whose template gives position 0, 0 without any centring or absolute-position
// style, and that has no owner, is centred on the work area of the screen once it has
// been initialised, unless its initialisation moved it.
void centreIfUnplaced(HWND window, const RECT& before) {
    RECT now;
    ::GetWindowRect(window, &now);
    if (now.left != before.left || now.top != before.top)
        return;
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if ((style & (DS_CENTER | DS_ABSALIGN)) != 0 || GetWindow(window, GW_OWNER) != nullptr)
        return;
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0))
        return;
    int width = now.right - now.left;
    int height = now.bottom - now.top;
    int x = area.left + ((area.right - area.left) - width) / 2;
    int y = area.top + ((area.bottom - area.top) - height) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK dialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* dialog;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        RECT before;
        ::GetWindowRect(window, &before);
        INT_PTR result = dialog->WindowProc(message, wParam, lParam);
        centreIfUnplaced(window, before);
        return result;
    }
    dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (dialog == nullptr)
        return FALSE; // messages that come before WM_INITDIALOG (WM_SETFONT)
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
        return FALSE;
    }
    return dialog->WindowProc(message, wParam, lParam);
}

// The worker thread's record: the entry and its argument travel with the thread object.
struct WorkerThread : CWinThread {
    unsigned (*entry)(void*) = nullptr;
    void* argument = nullptr;
};

unsigned __stdcall workerTrampoline(void* record) {
    auto* thread = static_cast<WorkerThread*>(record);
    return thread->entry(thread->argument);
}

} // namespace

// ---- windows and controls ------------------------------------------------------------

intptr_t CWnd::Send(unsigned message, uintptr_t wParam, intptr_t lParam) const {
    return SendMessageA(handleOf(*this), message, wParam, lParam);
}

void CWnd::SetText(const char* text) const {
    SetWindowTextA(handleOf(*this), text);
}

void CWnd::Show(ShowCommand command) const {
    ::ShowWindow(handleOf(*this), static_cast<int>(command));
}

void CWnd::Enable(bool enable) const {
    ::EnableWindow(handleOf(*this), enable ? TRUE : FALSE);
}

bool CWnd::IsIconic() const {
    return ::IsIconic(handleOf(*this)) != FALSE;
}

bool CWnd::IsVisible() const {
    return IsWindowVisible(handleOf(*this)) != FALSE;
}

bool CWnd::IsEnabled() const {
    return IsWindowEnabled(handleOf(*this)) != FALSE;
}

void CWnd::GetClientRect(WindowRect& rect) const {
    RECT r{};
    ::GetClientRect(handleOf(*this), &r);
    copyRect(r, rect);
}

void CWnd::GetWindowRect(WindowRect& rect) const {
    RECT r{};
    ::GetWindowRect(handleOf(*this), &r);
    copyRect(r, rect);
}

void CWnd::ScreenToClient(WindowRect& rect) const {
    POINT corners[2] = {{rect.left, rect.top}, {rect.right, rect.bottom}};
    MapWindowPoints(nullptr, handleOf(*this), corners, 2);
    rect.left = corners[0].x;
    rect.top = corners[0].y;
    rect.right = corners[1].x;
    rect.bottom = corners[1].y;
}

void CWnd::MoveWindow(int x, int y, int width, int height, bool repaint) const {
    ::MoveWindow(handleOf(*this), x, y, width, height, repaint ? TRUE : FALSE);
}

void CWnd::SetIcon(IconHandle icon, IconSize size) const {
    SendMessageA(handleOf(*this), WM_SETICON, static_cast<WPARAM>(size),
                 reinterpret_cast<LPARAM>(icon));
}

void CProgressCtrl::SetPos(int position) const {
    SendMessageA(handleOf(*this), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// ---- painting ------------------------------------------------------------------------

CPaintDC::CPaintDC(CWnd& window) : m_window(window) {
    static_assert(sizeof(PAINTSTRUCT) <= sizeof(m_paintState), "paint record does not fit");
    auto* paint = new (m_paintState) PAINTSTRUCT{};
    m_hDC = reinterpret_cast<uintptr_t>(BeginPaint(handleOf(window), paint));
}

CPaintDC::~CPaintDC() {
    EndPaint(handleOf(m_window), reinterpret_cast<PAINTSTRUCT*>(m_paintState));
}

void CPaintDC::DrawIcon(int x, int y, IconHandle icon) const {
    ::DrawIcon(reinterpret_cast<HDC>(m_hDC), x, y, static_cast<HICON>(icon));
}

// ---- dialogs -------------------------------------------------------------------------

intptr_t CDialog::DoModal() {
    // The template names the progress bar's window class, which exists only once the
    // common controls have registered it.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    HWND parent = m_pParentWnd != nullptr ? handleOf(*m_pParentWnd) : nullptr;
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId),
                                     parent, dialogProcedure, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(int result) const {
    ::EndDialog(handleOf(*this), result);
}

CWnd CDialog::GetDlgItem(int id) const {
    return CWnd(::GetDlgItem(handleOf(*this), id));
}

void CDialog::BindControl(int id, CWnd& control, ControlKind) {
    control.m_hWnd = ::GetDlgItem(handleOf(*this), id);
}

// ---- worker thread, resources, metrics -----------------------------------------------

CWinThread* startWorkerThread(unsigned (*entry)(void*), void* argument) {
    // One worker per process: its record is never freed, so a pointer to it stays valid
    // whenever the dialog looks at it.
    auto* thread = new (std::nothrow) WorkerThread;
    if (thread == nullptr)
        return nullptr;
    thread->entry = entry;
    thread->argument = argument;
    unsigned id = 0;
    uintptr_t handle = _beginthreadex(nullptr, 0, workerTrampoline, thread, 0, &id);
    if (handle == 0) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<void*>(handle);
    thread->m_nThreadID = id;
    return thread;
}

IconHandle loadIconResource(int id) {
    return LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id));
}

int systemMetric(SystemMetric metric) {
    return ::GetSystemMetrics(static_cast<int>(metric));
}
