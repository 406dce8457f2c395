#pragma once
// What the fuzz targets share: the input as a list of texts, and a check that stops the
// run (libFuzzer keeps the input that stopped it).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Aborts with the failed condition when `condition` does not hold.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace tavel::fuzz {

// The bytes split at each NUL into texts, as a program's arguments arrive (none can hold
// a NUL). Empty input is no texts.
inline std::vector<std::string> splitAtNul(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> parts;
    if (size == 0) return parts;
    parts.emplace_back();
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back() += static_cast<char>(data[i]);
    }
    return parts;
}

}  // namespace tavel::fuzz
