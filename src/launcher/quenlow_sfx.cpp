/*
 * The launcher program: its one application object. The framework's entry (WinMain or
 * main) finds it and runs it.
 */
#include "launcher/app/quenlow_sfx_app.h"

CQuenlowSFXApp theApp;
