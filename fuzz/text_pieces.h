// Cuts a fuzz input into zero-terminated pieces at its zero bytes, for the targets whose
// inputs are several texts (argument vectors, command parts, version pairs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

inline std::vector<std::string> splitAtZeros(const uint8_t* data, size_t size) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            pieces.emplace_back();
        else
            pieces.back().push_back(char(data[i]));
    }
    return pieces;
}

} // namespace fuzz
