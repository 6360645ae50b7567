// The dialog variant of a run: the worker thread's entry function.
#pragma once

// Runs the whole installation on the worker thread for the progress dialog given as the
// argument (a CQuenlowSFXDlg), stores the run's result in the dialog's m_nRunResult and
// ends the dialog. Returns 1, the thread's exit code, which nobody reads.
unsigned runDialogWorker(void* dialog);
