// The steps of one engine call, from the state's creation to its release.
#pragma once

#include "quenlow/unzip.h"

struct EngineState;

EngineState* createEngineState();
// RC_OK, or RC_FATAL when printText or askReplace is missing.
int bindCallbacks(EngineState* state, UnzipCallbacks* callbacks);
// RC_OK, or RC_NOMEM when the option record is refused.
int applyOptions(EngineState* state, const UnzipOptions* options);
int runEngine(EngineState* state, int includeCount, char** includeList, int excludeCount,
              char** excludeList);
// Frees everything the state holds (not the state itself).
void releaseEngineState(EngineState* state);
