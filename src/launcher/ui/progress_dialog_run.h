/*
 * The run with the progress dialog (no -silent): shows the dialog modally, lets its worker
 * thread carry out the run and returns the run's result.
 */
#pragma once

#include <cstdint>

int32_t runWithProgressDialog();

// The worker thread's entry: runs the installation for the dialog given as the argument
// (a CQuenlowSFXDlg), stores the result in its m_nRunResult and ends the dialog. Returns
// 1, the thread's exit code, which nobody reads.
unsigned runDialogWorker(void* dialog);
