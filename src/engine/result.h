// The one rule for combining results: the more serious code stays.
#pragma once

inline void raiseResult(int* result, int code) {
    if (code > *result) *result = code;
}
