// The one rule for combining results: the more serious code stays. Answers the
// combined result.
#pragma once

inline int raiseResult(int* result, int code) {
    if (code > *result) *result = code;
    return *result;
}
