/*
 * The run with the progress dialog (no -silent): shows the dialog modally, lets its worker
 * thread carry out the run and returns the run's result. The dialog has its own home in
 * ui/; until it exists, a placeholder runs the silent variant instead.
 */
#pragma once

#include <cstdint>

int32_t runWithProgressDialog();
