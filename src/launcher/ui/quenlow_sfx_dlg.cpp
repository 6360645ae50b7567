// The progress dialog's own code: control binding, icons, the centred picture, the worker
// started on the first showing, the Cancel command, and the icon of the minimised window.
// Everything else on the dialog is done by the run from the worker thread.
#include "launcher/ui/quenlow_sfx_dlg.h"

#include "launcher/state/run_state.h"
#include "launcher/ui/progress_dialog_run.h"
#include "launcher/ui/resource.h"
#include "platform/windowing.h"

ProgressDialogRecord dialogState;

CQuenlowSFXDlg::CQuenlowSFXDlg(CWnd* parent) : CDialog(IDD_QUENLOWSFX_DIALOG, parent) {
    m_hDialogIcon = loadIconResource(IDR_MAINFRAME);
}

void CQuenlowSFXDlg::DoDataExchange() {
    BindControl(IDC_PICTURE, m_ctlBitmap);
    BindControl(IDC_STATUS, m_ctlStatus);
    BindControl(IDC_PROGRESS, m_ctlProgress);
}

bool CQuenlowSFXDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hDialogIcon, IconSize::Big);
    SetIcon(m_hDialogIcon, IconSize::Small);

    // A bitmap static takes the size of its bitmap, not the template's: centre it
    // horizontally at that size, keeping the template's top edge.
    WindowRect client;
    GetClientRect(client);
    WindowRect picture;
    m_ctlBitmap.GetWindowRect(picture);
    ScreenToClient(picture);
    m_ctlBitmap.MoveWindow((client.width() - picture.width()) / 2, picture.top, picture.width(),
                           picture.height(), false);

    // Start-up made this dialog the application's main window: from now on it owns the
    // message boxes of either thread.
    platform::setMainWindow(GetSafeHwnd());
    return true; // the focus goes to the first tab stop, the Cancel button
}

intptr_t CQuenlowSFXDlg::WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case MessagePaint:
        if (!IsIconic())
            return CDialog::WindowProc(message, wParam, lParam);
        OnPaint();
        return 1;
    case MessageQueryDragIcon:
        return reinterpret_cast<intptr_t>(m_hDialogIcon);
    case MessageShowWindow: {
        intptr_t result = CDialog::WindowProc(message, wParam, lParam);
        OnShowWindow(wParam == 1, static_cast<int>(lParam));
        return result;
    }
    default:
        return CDialog::WindowProc(message, wParam, lParam);
    }
}

void CQuenlowSFXDlg::OnPaint() {
    CPaintDC paint(*this);
    Send(MessageIconEraseBackground, paint.GetSafeHdc(), 0);
    WindowRect client;
    GetClientRect(client);
    int x = (client.width() - systemMetric(SystemMetric::IconWidth) + 1) / 2;
    int y = (client.height() - systemMetric(SystemMetric::IconHeight) + 1) / 2;
    paint.DrawIcon(x, y, m_hDialogIcon);
}

void CQuenlowSFXDlg::OnShowWindow(bool shown, int status) {
    // Only an explicit showing counts (status 0), and only the first: the dialog is shown
    // again after the installer has run, and that must not start a second run.
    if (dialogState.workerStarted || !shown || status != 0)
        return;
    dialogState.workerStarted = true;
    m_pWorkerThread = startWorkerThread(runDialogWorker, this);
}

void CQuenlowSFXDlg::OnCancel() {
    // The Escape key gives this command too, without looking at the button: once the
    // button is disabled (pressed before) or hidden (cleaning up), the command is ignored
    // as a click on the button would be.
    CWnd cancel = GetDlgItem(IdCancel);
    if (!cancel.IsEnabled() || !cancel.IsVisible())
        return;
    m_ctlStatus.SetText("Canceling the installer . . .");
    cancel.Enable(false);
    if (m_pWorkerThread != nullptr)
        requestCancel(); // the worker ends the dialog once the run has stopped
    else
        EndDialog(IdCancel);
}

void dialogProgressSink(const char*, int32_t percent) {
    if (dialogState.progressBar != nullptr)
        dialogState.progressBar->SetPos(percent);
}
