// The detailed report: one block of text per central directory entry, for people
// inspecting an archive. The launcher never asks for it.
#pragma once

struct EngineState;

// Reports the entries of the central directory the reader is positioned at.
int reportEntries(EngineState* state);
