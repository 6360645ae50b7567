// The progress dialog: a picture, a status line, a progress bar and a Cancel button, shown
// while the archive is unpacked. The dialog itself does little: it binds its controls, sets
// its icon, centres its picture, starts the run on a worker thread the first time it is
// shown, turns Cancel into a request to the worker, and carries the run's result back to
// start-up. Its worker (runDialogWorker) shows the run sequence on the controls.
#pragma once

#include <cstdint>

#include "platform/dialog.h"

class CQuenlowSFXDlg : public CDialog {
  public:
    explicit CQuenlowSFXDlg(CWnd* parent = nullptr);
    ~CQuenlowSFXDlg() override = default;

    intptr_t WindowProc(unsigned message, uintptr_t wParam, intptr_t lParam) override;

    // Written by the worker before it ends the dialog, read by start-up after the modal
    // run has returned; the end of the modal loop orders the two accesses.
    int32_t m_nRunResult = 0;
    CStatic m_ctlBitmap;
    CStatic m_ctlStatus;
    CProgressCtrl m_ctlProgress;
    IconHandle m_hDialogIcon = nullptr;
    CWinThread* m_pWorkerThread = nullptr;

  protected:
    void DoDataExchange() override;
    bool OnInitDialog() override;
    void OnCancel() override;

  private:
    void OnPaint();
    void OnShowWindow(bool shown, int status);
};

struct ProgressDialogRecord {
    // Set the first time the dialog starts its worker; never cleared, so a process runs at
    // most one worker even when the dialog is shown again after the installer ran.
    bool workerStarted = false;
    // The bar the run moves; set by the worker before the run starts.
    CProgressCtrl* progressBar = nullptr;
};
extern ProgressDialogRecord dialogState;

// The dialog's progress sink: moves the bar to the percentage and waits until it moved.
void dialogProgressSink(const char* entryName, int32_t percent);
