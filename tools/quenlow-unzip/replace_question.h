// The question `--overwrite ask` puts on the terminal when a file exists.
#pragma once

// The engine's askReplace: asks about the file named in `nameBuffer` and answers one of
// the REPLACE_ codes; for "rename" the new name is written into the buffer.
int askOnTerminal(char* nameBuffer, int bufferSize);
