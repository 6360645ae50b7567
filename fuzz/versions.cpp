// compareVersions on random version names: the input's zero bytes separate up to three
// names. An ordering must be consistent whatever it orders: a name equals itself,
// swapping the names turns the sign, and the order is transitive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "launcher/launch/versions.h"
#include "text_pieces.h"

namespace {

int sign(int value) { return (value > 0) - (value < 0); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> names = fuzz::splitAtZeros(data, size);
    names.resize(3);
    const char* a = names[0].c_str();
    const char* b = names[1].c_str();
    const char* c = names[2].c_str();

    if (compareVersions(a, a) != 0 || compareVersions(a, nullptr) <= 0 ||
        compareVersions(nullptr, a) >= 0)
        std::abort();
    const int ab = sign(compareVersions(a, b));
    if (ab != -sign(compareVersions(b, a))) std::abort();
    const int bc = sign(compareVersions(b, c));
    const int ac = sign(compareVersions(a, c));
    if (ab <= 0 && bc <= 0 && ac > 0) std::abort();
    if (ab >= 0 && bc >= 0 && ac < 0) std::abort();
    return 0;
}
