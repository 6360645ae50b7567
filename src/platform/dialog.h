// The dialog half of our small application framework: a modal dialog run from a template,
// controls bound by identifier, one dialog procedure per dialog with a switch on the
// message, and a starter for the one worker thread.
//
// The shape follows the class model the launcher was designed on (a dialog base, control
// classes, a worker-thread object), cut down to what the progress dialog needs. On Windows
// every operation is the Win32 call of the same name; a window handle is an HWND and a
// dialog is a real dialog box made from the template in the executable's resources. On
// Linux the same classes drive a terminal display on standard error (a status line and a
// bar redrawn in place, Ctrl-C as the Cancel button); without a terminal nothing is drawn
// but the dialog runs all the same.
//
// Requests from another thread (set a text, move the bar, show or hide) are synchronous on
// both platforms: they are carried out on the thread that runs the dialog's modal loop
// while the caller waits. Ending the dialog only marks it to end and wakes the loop.
//
// No name here is a Win32 macro (SendMessage, SetWindowText, ...), so that the Windows
// implementation can include <windows.h> beside this header.
#pragma once

#include <cstdint>

using WindowHandle = void*;
using IconHandle = void*;

// Messages the framework and its dialogs use, with the window system's numbers.
enum WindowMessage : unsigned {
    MessageSetText = 0x000C,
    MessageGetText = 0x000D,
    MessagePaint = 0x000F,
    MessageShowWindow = 0x0018,
    MessageIconEraseBackground = 0x0027,
    MessageQueryDragIcon = 0x0037,
    MessageSetIcon = 0x0080,
    MessageInitDialog = 0x0110,
    MessageCommand = 0x0111,
    ProgressSetPos = 0x0402,
    ProgressGetPos = 0x0408,
};

// Command identifiers of the standard buttons.
enum : int { IdOk = 1, IdCancel = 2 };

// Window-visibility requests (the window system's numbers).
enum class ShowCommand : int { Hide = 0, Normal = 1, Show = 5 };

// Icon slots of a window.
enum class IconSize : int { Small = 0, Big = 1 };

// What a bound control is, for a window system that draws the dialog itself.
enum class ControlKind : int { Plain, Text, Bar };

// System metrics the dialogs ask for.
enum class SystemMetric : int { IconWidth = 11, IconHeight = 12 };

struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// A window or control known by its handle. Copies refer to the same window.
class CWnd {
  public:
    WindowHandle m_hWnd = nullptr;

    CWnd() = default;
    explicit CWnd(WindowHandle handle) : m_hWnd(handle) {}
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = default;
    CWnd& operator=(const CWnd&) = default;

    WindowHandle GetSafeHwnd() const { return m_hWnd; }

    // A synchronous message to the window; its result.
    intptr_t Send(unsigned message, uintptr_t wParam = 0, intptr_t lParam = 0) const;
    void SetText(const char* text) const;
    void Show(ShowCommand command) const;
    void Enable(bool enable) const;
    bool IsIconic() const;
    bool IsVisible() const;
    bool IsEnabled() const;

    void GetClientRect(WindowRect& rect) const;
    void GetWindowRect(WindowRect& rect) const; // in screen coordinates
    void ScreenToClient(WindowRect& rect) const;
    void MoveWindow(int x, int y, int width, int height, bool repaint) const;
    void SetIcon(IconHandle icon, IconSize size) const;
};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
  public:
    // Moves the bar; the control clamps the position to its range (0 to 100).
    void SetPos(int position) const;
};

// Painting of a window between begin and end of a paint cycle.
class CPaintDC {
  public:
    explicit CPaintDC(CWnd& window);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    uintptr_t GetSafeHdc() const { return m_hDC; }
    void DrawIcon(int x, int y, IconHandle icon) const;

  private:
    CWnd& m_window;
    uintptr_t m_hDC = 0;
    alignas(8) unsigned char m_paintState[128] = {}; // the window system's paint record
};

class CDialog : public CWnd {
  public:
    CDialog(int templateId, CWnd* parent);
    ~CDialog() override;

    // Creates the dialog from its template and runs its modal loop until EndDialog;
    // returns the code given to EndDialog, or -1 when the dialog could not be created.
    intptr_t DoModal();

    // Marks the modal loop to end with the code and wakes it; callable from any thread.
    void EndDialog(int result) const;

    // The window of a control of this dialog, or an empty CWnd.
    CWnd GetDlgItem(int id) const;

    // The dialog procedure: the framework hands every message of the dialog to it. A
    // derived dialog switches on the messages it handles and passes the rest to this one,
    // which does the default processing (initialisation, the OK and Cancel commands).
    // The result is the dialog procedure's: non-zero when handled, or the message's value.
    virtual intptr_t WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam);

  protected:
    // Binds the dialog's controls to members (BindControl); called by OnInitDialog.
    virtual void DoDataExchange();
    // Called once the window exists, before it is first shown; true gives the focus to
    // the first tab-stop control.
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Attaches the control with the identifier to the member object. The kind tells a
    // window system that draws the dialog itself (the terminal display) what it is.
    void BindControl(int id, CWnd& control, ControlKind kind);
    void BindControl(int id, CStatic& control) { BindControl(id, control, ControlKind::Text); }
    void BindControl(int id, CProgressCtrl& control) { BindControl(id, control, ControlKind::Bar); }

  public:
    int m_nTemplateId;
    CWnd* m_pParentWnd;
};

// The worker thread started by a dialog. The object lives until the process ends.
class CWinThread {
  public:
    void* m_hThread = nullptr;
    unsigned m_nThreadID = 0;
};

// Starts a thread running entry(argument) at normal priority with the default stack size;
// null when it could not be started.
CWinThread* startWorkerThread(unsigned (*entry)(void*), void* argument);

// An icon from the program's own resources (null on Linux, which has none).
IconHandle loadIconResource(int id);

int systemMetric(SystemMetric metric);
