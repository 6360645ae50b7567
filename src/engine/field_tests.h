// Test mode's look at the compressed blocks of an entry's local extra field.
#pragma once

struct EngineState;

// Unpacks every compressed block of the local extra field that holds system data (a
// Windows security descriptor, OS/2 extended attributes, an access control list) and
// checks its size and CRC, as test mode checks the entry's data. A fault is reported
// with the entry's name when no progress line shows it (message level above 0).
// Answers RC_OK, RC_ERROR, or RC_NOMEM3 when a block could not be unpacked for want of
// memory.
int testExtraFields(EngineState* state);
